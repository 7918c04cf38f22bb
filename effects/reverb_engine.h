// Signal path of the room: per channel a pre-delay, a one-pole high-pass,
// eight parallel feedback combs with a damping low-pass in each loop, and
// four all-passes in series. The wet signal mixes the diffused all-pass
// output with the negated comb sum (the "early reflections"), then a dry/wet
// crossfade and the output level follow.
//
// DSP state only; EffectReverb maps its parameters to ReverbTargets.
#pragma once

#include <cstddef>
#include <vector>

#include "common/cpu_features.h"
#include "effects/dsp/delay_ring.h"
#include "effects/dsp/one_pole.h"
#include "effects/dsp/signal_floor.h"
#include "effects/reverb_tuning.h"

struct ReverbTargets {
    double preDelaySamples = 0.0;
    float roomFeedback = reverb_tuning::kRoomFeedbackAtZero;
    float damping = 0.0f;
    float earlyGain = 0.0f;
    fxdsp::OnePoleCoefficients lowCut;
    float mix = 0.5f;
    double level = 1.0;
};

class ReverbEngine {
public:
    using PreDelayLine = fxdsp::DelayRing<reverb_tuning::kPreDelayBits>;

    ReverbEngine();

    // Smoothing step: pre-delay, damping, early gain, low cut, dry/wet and
    // level glide; the comb feedback is taken as it is.
    void smooth(const ReverbTargets& t, float factor);
    // Once per block: the damping coefficients follow the smoothed damping.
    void beginBlock();
    // Silence in every line and filter. Only the slots written since the
    // lines last held silence are cleared, so a room that has not run since
    // it was made or cleared costs nothing here; returns the bytes cleared.
    std::size_t clearSignal();
    void render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono);
    // render() for the module's runs: the inputs are read here, but in the
    // wide pass the frames wait for flush() (or for the queue to fill) and
    // run together with the frames queued after them, the outputs written
    // then. Every frame keeps its own smoothed settings, so the output is
    // render()'s to the bit. The four-lane pass renders at once.
    void queue(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono);
    void flush();
    // Both channels run together in eight lanes where the processor has
    // them (x86_64 with AVX2), each channel in four lanes otherwise; the
    // output is the same to the bit. false keeps the four-lane pass (tests
    // compare the two).
    void allowWideLanes(bool allowed) {
        flush();
        wide_ = allowed && cpuHasAvx2();
    }
    bool wideLanes() const { return wide_; }

private:
    // Frames a flush of the wide pass takes at most (see Queue).
    static constexpr int kQueueFrames = 192;
    // The lines of one channel, stored back to back, each followed by as
    // many guard slots as a flush has frames: the wide pass runs on into them
    // past the line's end.
    static constexpr int kGuardSlots = kQueueFrames;
    struct Channel {
        std::vector<float> pool;
        float* comb[reverb_tuning::kCombCount];
        int combLength[reverb_tuning::kCombCount];
        int combIndex[reverb_tuning::kCombCount];
        float combStore[reverb_tuning::kCombCount];
        float* allpass[reverb_tuning::kAllpassCount];
        int allpassLength[reverb_tuning::kAllpassCount];
        int allpassIndex[reverb_tuning::kAllpassCount];
        float lowCutState = 0.0f;
        // Frames every line can still take before its index wraps, or
        // fewer (never more): what runFrames needs to know before four
        // frames without a wrap.
        int room = 0;

        explicit Channel(int extraSamples);
        // Silence in the first `frames` slots of every line (every line is
        // written from its start on after a clear); returns the bytes
        // cleared.
        std::size_t clear(int frames);
        Channel(const Channel&) = delete;
        Channel& operator=(const Channel&) = delete;
        // Comb sum S and diffused output of one reverberator input sample.
        void run(float h, float feedback, float k1, float k2, float& combSum, float& diffused);
        // The same for count input samples, four frames at a time in SSE
        // lanes.
        void runFrames(const float* h, int count, float feedback, float k1, float k2, float* combSum,
                       float* diffused);

    private:
        // Frames every line can still take before its index wraps.
        int framesBeforeWrap() const;
        // kWrap: some line may reach its end within the four frames.
        template <bool kWrap>
        void runFour(const float* h, float feedback, float k1, float k2, float* combSum, float* diffused);
    };

    // Input gains and pre-delay for a piece of frames: x is what enters the
    // pre-delay, u what leaves it.
    static constexpr int kPiece = 64;
    void feedPiece(const float* inL, const float* inR, int count, bool mono, int preDelay, float* xL, float* xR,
                   float* uL, float* uR);
    // The low cut over a piece, u in, h out (in place allowed).
    void lowCutPiece(float* hL, float* hR, int count);
    // The four-lane pass over a run.
    void renderFour(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono);

    // Frames waiting for the wide pass: what entered the pre-delay (x) and
    // what left it (u), the settings of each frame, and the runs whose
    // outputs they become. Fewer frames than the shortest line holds, so a
    // line reaches its end at most once in a flush.
    struct Queue {
        float xL[kQueueFrames], xR[kQueueFrames], uL[kQueueFrames], uR[kQueueFrames];
        float outL[kQueueFrames], outR[kQueueFrames];
        // Settings are written four frames at a time, up to three past the
        // run (the next run writes over them).
        float lowCutInput[kQueueFrames + 3], lowCutFeedback[kQueueFrames + 3];
        float early[kQueueFrames + 3], dry[kQueueFrames + 3], wet[kQueueFrames + 3], level[kQueueFrames + 3];
        float* runLeft[kQueueFrames];
        float* runRight[kQueueFrames];
        int runStart[kQueueFrames], runFrames[kQueueFrames];
        int frames = 0, runs = 0;
        float feedback = 0.0f;
    };
    // Low cut, combs, all-passes and mix of both channels for the queued
    // frames, in AVX2 lanes, into the queue's outputs (reverb_lanes_wide.cpp).
    static void runQueueWide(Channel& left, Channel& right, Queue& q, float k1, float k2);

    PreDelayLine preLeft_, preRight_;
    // Every line is written from its start on after a clear, one slot a
    // frame; the pre-delay lines are the longest.
    int preWrite_ = 0;
    fxdsp::WrittenSpan written_{PreDelayLine::kSize};
    Channel left_, right_;
    float preDelay_ = 0.0f, feedback_ = 0.0f, damping_ = 0.0f, early_ = 0.0f;
    fxdsp::OnePoleCoefficients lowCut_;
    float dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
    float k1_ = 0.5f, k2_ = 0.5f;
    bool wide_ = cpuHasAvx2();
    Queue queue_;
};
