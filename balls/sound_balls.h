// A track's sound balls and the queue that carries their moves to the audio
// thread. Positions may be written from any thread; the targets are always
// set on the audio thread when the track drains the queue at the start of its
// block, so modules never see setParameter from the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "balls/sound_ball.h"
#include "common/bounded_queue.h"
#include "modules/dsp_tables.h"

class SoundBalls {
public:
    // Every track has exactly this many balls once its section is loaded.
    static constexpr int kBallsPerTrack = 4;
    static constexpr size_t kQueueCapacity = 256;

    // Loader thread, inside the owner's edit section: the list itself.
    void clear() { balls_.clear(); }
    // Appends a default ball; false once the track has kBallsPerTrack.
    bool appendLimited();
    void padToDefaultCount();
    std::vector<SoundBall>& list() { return balls_; }
    const std::vector<SoundBall>& list() const { return balls_; }
    SoundBall* last() { return balls_.empty() ? nullptr : &balls_.back(); }

    int count() const { return static_cast<int>(balls_.size()); }
    SoundBall& ball(int i) { return balls_[static_cast<size_t>(i)]; }
    const SoundBall& ball(int i) const { return balls_[static_cast<size_t>(i)]; }

    // Any thread: store a position and queue the change; or queue a change
    // for values already stored. Out-of-range ball numbers are ignored.
    void move(int ball, float x, float y, bool flagA, bool flagB);
    void notify(int ball, bool flagA, bool flagB);

    // Audio thread. Applies every queued change, oldest first.
    void applyPending(BallTargetSink& sink, const PadState& pad);
    // Maps one ball's position onto its targets.
    void applyBall(int ball, bool flagA, bool flagB, BallTargetSink& sink, const PadState& pad);
    // Moves every flying ball by one block; true when any moved.
    bool fly(int frames, double sampleRateHz, const PadState& pad);
    // Random mode on one sequencer step. stepPosition is the track's step
    // position, synchro whether the track or the master synchronises, and
    // ownerStep the owner's step counter. True when any ball jumped.
    bool randomJumps(int stepPosition, bool synchro, int ownerStep, BallTargetSink& sink, const PadState& pad);
    // MIDI assignment: a controller moves every ball listening to it.
    void applyController(int channelCode, int controller, int value);
    // Modulation-wheel takeover: full range on, fly and random off.
    void takeOver();

    void seedRandom(uint32_t seed) { random_.seed(seed); }

private:
    bool valid(int ball) const { return ball >= 0 && ball < count(); }
    void applyAxis(const std::vector<ParameterDescriptor>& targets, float position, bool fullRange, bool flagA,
                   bool flagB, BallTargetSink& sink);

    std::vector<SoundBall> balls_;
    BoundedQueue<BallChange, kQueueCapacity> changes_;
    // Balls whose change did not fit the queue; drained with it so a burst
    // of moves never leaves targets behind.
    std::atomic<uint32_t> overflow_{0};
    dsp::Random15 random_{1};
};
