// Signal path of the stereo echo: two long delay lines with one write index,
// read at a delay that glides towards its target every sample, feedback that
// optionally crosses between the lines (ping-pong), and a band-limiting
// filter (one-pole low-pass at HiCut, then one-pole high-pass at LowCut) on
// the echoes that leave the module. The feedback path takes the unfiltered
// taps, so repeats are not darkened once per round trip.
//
// DSP state only; EffectDelay maps its parameters to EchoTargets.
#pragma once

#include "effects/dsp/delay_ring.h"
#include "effects/dsp/one_pole.h"
#include "effects/dsp/signal_floor.h"

#include <algorithm>
#include <cstddef>

struct EchoTargets {
    double delaySamples = 0.0;
    float feedback = 0.0001f;
    fxdsp::OnePoleCoefficients hiCut;   // first filter stage, a low-pass
    fxdsp::OnePoleCoefficients lowCut;  // second stage, subtracted: a high-pass
    float mix = 0.5f;                   // Mix parameter 0..1
    float pan = 0.5f;                   // Pan parameter 0..1
    double level = 1.0;                 // output gain e
};

// The switches are read once per run of samples.
struct EchoSwitches {
    bool mono = false;
    bool pingPong = false;
    bool filter = false;
};

class EchoEngine {
public:
    // 2^19 floats per line: 2.5 s up to 209 kHz, and the longest tempo step.
    static constexpr int kLineBits = 19;
    using Line = fxdsp::DelayRing<kLineBits>;
    static constexpr double kLongestDelaySamples = Line::kSize - 1;  // 524,287
    // Shortest read: one sample back, the newest slot.
    static constexpr double kShortestDelaySamples = 1.0;
    // The delay time glides 0.1 % of the distance per sample (time constant
    // of about 1,000 samples), so a new time bends the pitch of the echoes
    // instead of clicking.
    static constexpr double kDelayGlidePerSample = 0.001;

    // Lines taken back from earlier echoes keep what those left in them:
    // they start as stale as after a clear of lines written all round, and
    // the first runs clear them, so a new echo costs no zeroing of its own.
    EchoEngine()
        : left_(fxdsp::KeepOldSignal{}),
          right_(fxdsp::KeepOldSignal{}),
          staleEnd_(left_.heldOldSignal() || right_.heldOldSignal() ? Line::kSize : 0) {}

    // Smoothing step: feedback, filter coefficients (only while the filter
    // is on), dry/wet and output gains; not the delay, which glides per sample.
    void smooth(const EchoTargets& t, bool filterOn, float factor);

    void render(const float* inL, const float* inR, float* outL, float* outR, int count, double targetDelay,
                const EchoSwitches& switches);

    double smoothedDelay() const { return delay_; }

    // Silence in the lines and filters, and the delay time back at 0, from
    // where it glides to its target: the state of a new echo. The lines are
    // not cleared here: the slots written since they last held silence read
    // as silence from now on, and each run clears a stretch of them
    // (kClearSlotsPerFrame a frame) until its writes and the clears meet, so
    // no block pays for whole lines and an echo that has not run since it
    // was made or cleared costs nothing at all. Returns the bytes cleared
    // here: none.
    std::size_t clearSignal() {
        staleEnd_ = std::max(staleEnd_, written_.frames());
        written_.reset();
        write_ = 0;
        delay_ = 0.0;
        hiState_[0] = hiState_[1] = lowState_[0] = lowState_[1] = 0.0f;
        return 0;
    }

    // Slots of each line still holding what they took before the last clear.
    int staleSlots() const { return std::max(0, staleEnd_ - written_.frames()); }

    // Slots of each line a run clears for every frame it renders: two
    // 2 MB lines are clean again within 8,066 frames of a clear.
    static constexpr int kClearSlotsPerFrame = 64;

private:
    // Runs of a delay that has landed on its target, four frames at a time;
    // false (nothing done) when the run does not qualify.
    static constexpr int kMaxLandedRun = 64;
    template <bool kPingPong, bool kFilter>
    bool renderLanded(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono);
    template <bool kPingPong, bool kFilter, bool kStale>
    void renderRun(const float* inL, const float* inR, float* outL, float* outR, int count, double target, bool mono);

    Line left_, right_;
    // Both lines are written from slot 0 on after a clear, one slot a frame.
    int write_ = 0;
    fxdsp::WrittenSpan written_{Line::kSize};
    // Slots from written_.frames() up to here hold what the lines took before
    // their last clear and read as silence (0: none).
    int staleEnd_ = 0;
    // The glide is held in double precision: in single precision it stalls
    // short of the target (about 15 samples short at 524,287), which would
    // put tempo-locked echoes off the beat and smear every repeat over two
    // samples.
    double delay_ = 0.0;
    float feedback_ = 0.0f;
    fxdsp::OnePoleCoefficients hiCut_, lowCut_;
    float hiState_[2] = {0.0f, 0.0f};
    float lowState_[2] = {0.0f, 0.0f};
    float dry_ = 0.0f, wet_ = 0.0f, leftGain_ = 0.0f, rightGain_ = 0.0f;
};
