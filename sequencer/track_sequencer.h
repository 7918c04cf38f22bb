// The step sequencer of one track: which pattern plays, where it is, what
// comes next (queue, chain, random), restart requests and the lock to the
// owner's step counter, and the arpeggiator that shares its step.
//
// Threads: step, lockToStep and transportStarted run on the audio thread.
// select comes from the editor, host parameters, MIDI or the loader and
// writes the pattern fields as single relaxed stores, without a lock.
#pragma once

#include "common/relaxed_atomic.h"
#include "modules/dsp_tables.h"
#include "sequencer/arpeggiator.h"
#include "sequencer/pattern.h"
#include "sequencer/step_sink.h"

class TrackSequencer {
public:
    static constexpr int kNone = -1;

    TrackSequencer();

    // Loader: stopped, pattern 0 current and selected, nothing queued.
    void reset();

    // Audio thread: one step of stepFrames samples beginning offsetFrames
    // into the current block.
    void step(PatternStore& patterns, const StepEnvironment& env, double stepFrames, int offsetFrames,
              StepSink& sink);
    // Audio thread: a step while the sequencer stands (host transport
    // stopped). Patterns wait for the transport, but an arpeggio is played
    // from the keyboard and runs on the plug-in's own steps; with no key
    // held it starts again from its first key.
    void arpeggiateWhileStopped(const StepEnvironment& env, double stepFrames, int offsetFrames, StepSink& sink);
    // Audio thread, before the block's steps: a synchronised track takes its
    // position from the owner's step counter.
    void lockToStep(const PatternStore& patterns, int ownerStep);
    // Audio thread, host transport start.
    void transportStarted(const PatternStore& patterns, bool synchro);

    // Any thread. False (nothing changed) for a number outside 0..15.
    bool select(int pattern, bool ownerPlaying);

    int currentPattern() const { return current_.load(); }
    int selectedPattern() const { return selected_.load(); }
    int queuedPattern() const { return queued_.load(); }
    int restartRequest() const { return restart_.load(); }
    int stepPosition() const { return position_.load(); }
    const Arpeggiator& arpeggiator() const { return arpeggiator_; }
    void seedRandom(uint32_t seed) { random_.seed(seed); }

    // Steps in a pattern: its length rounded up, so a position (an integer)
    // reaches the end exactly when it reaches the length.
    static int patternSteps(const Pattern& pattern);

private:
    void advancePosition(const PatternStore& patterns, const StepEnvironment& env);
    void endOfPattern(PatternStore& patterns, const StepEnvironment& env, StepSink& sink);
    int nextPattern(const PatternStore& patterns, int current);

    Relaxed<int> current_{0};
    Relaxed<int> selected_{0};
    Relaxed<int> queued_{kNone};
    Relaxed<int> restart_{kNone};
    Relaxed<int> position_{kNone};
    // The last lock of this block, so a step that begins at the block's first
    // frame is not counted twice.
    int lockedStep_ = 0;
    bool lockPending_ = false;
    Arpeggiator arpeggiator_;
    dsp::Random15 random_;
};
