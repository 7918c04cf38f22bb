// The arpeggiator of a track: plays the keys held on the track's keyboard,
// one per (divided) step, up, down, up and down or at random, with
// extensions by an interval, random velocities, gate time and swing.
// Audio thread.
#pragma once

#include "modules/dsp_tables.h"
#include "sequencer/step_sink.h"

class Arpeggiator {
public:
    // Key index, extension and cycle counters back to the start, so the next
    // step plays the first key; the transport start uses it.
    void restart();

    // One sequencer step of stepFrames samples starting at offsetFrames.
    void step(const StepEnvironment& env, double stepFrames, int offsetFrames, dsp::Random15& random,
              StepSink& sink);

    int keyIndex() const { return keyIndex_; }
    int extension() const { return extension_; }

private:
    void scheduleKey(const StepEnvironment& env, int extension, double stepFrames, int offsetFrames,
                     dsp::Random15& random, StepSink& sink);
    void advanceKeyIndex(int mode, int hole, int heldCount, dsp::Random15& random);

    int keyIndex_ = 0;
    bool goingUp_ = true;
    int extension_ = 0;
    int cycle_ = 0;
    int divider_ = 0;
};
