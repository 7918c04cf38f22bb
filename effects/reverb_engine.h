// Signal path of the room: per channel a pre-delay, a one-pole high-pass,
// eight parallel feedback combs with a damping low-pass in each loop, and
// four all-passes in series. The wet signal mixes the diffused all-pass
// output with the negated comb sum (the "early reflections"), then a dry/wet
// crossfade and the output level follow.
//
// DSP state only; EffectReverb maps its parameters to ReverbTargets.
#pragma once

#include <vector>

#include "effects/dsp/delay_ring.h"
#include "effects/dsp/one_pole.h"
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
    // Silence in every line and filter.
    void clearSignal();
    void render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono);

private:
    // The lines of one channel, stored back to back.
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

        explicit Channel(int extraSamples);
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

    PreDelayLine preLeft_, preRight_;
    int preWrite_ = 0;
    Channel left_, right_;
    float preDelay_ = 0.0f, feedback_ = 0.0f, damping_ = 0.0f, early_ = 0.0f;
    fxdsp::OnePoleCoefficients lowCut_;
    float dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
    float k1_ = 0.5f, k2_ = 0.5f;
};
