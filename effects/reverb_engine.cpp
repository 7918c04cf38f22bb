#include "effects/reverb_engine.h"

#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

using namespace reverb_tuning;

ReverbEngine::Channel::Channel(int extraSamples) {
    size_t total = 0;
    for (int c = 0; c < kCombCount; ++c) total += static_cast<size_t>(kCombLengthsLeft[c] + extraSamples);
    for (int a = 0; a < kAllpassCount; ++a) total += static_cast<size_t>(kAllpassLengthsLeft[a] + extraSamples);
    pool.assign(total, 0.0f);
    float* next = pool.data();
    for (int c = 0; c < kCombCount; ++c) {
        comb[c] = next;
        combLength[c] = kCombLengthsLeft[c] + extraSamples;
        combIndex[c] = 0;
        combStore[c] = 0.0f;
        next += combLength[c];
    }
    for (int a = 0; a < kAllpassCount; ++a) {
        allpass[a] = next;
        allpassLength[a] = kAllpassLengthsLeft[a] + extraSamples;
        allpassIndex[a] = 0;
        next += allpassLength[a];
    }
}

void ReverbEngine::Channel::run(float h, float feedback, float k1, float k2, float& combSum, float& diffused) {
    float sum = fxdsp::kAntiDenormalOffset;
    for (int c = 0; c < kCombCount; ++c) {
        float* line = comb[c];
        const int i = combIndex[c];
        const float y = line[i];
        const float store = y * k1 + combStore[c] * k2;
        combStore[c] = store;
        line[i] = h + store * feedback;
        combIndex[c] = i + 1 == combLength[c] ? 0 : i + 1;
        sum += y;
    }
    float a = sum;
    for (int p = 0; p < kAllpassCount; ++p) {
        float* line = allpass[p];
        const int i = allpassIndex[p];
        const float v = line[i];
        line[i] = a + kAllpassFeedback * v;
        allpassIndex[p] = i + 1 == allpassLength[p] ? 0 : i + 1;
        a = v - a;
    }
    combSum = sum;
    diffused = a;
}

ReverbEngine::ReverbEngine() : left_(0), right_(kStereoSpreadSamples) {}

void ReverbEngine::smooth(const ReverbTargets& t, float factor) {
    fxdsp::glide(preDelay_, t.preDelaySamples, factor);
    feedback_ = t.roomFeedback;
    fxdsp::glide(damping_, t.damping, factor);
    fxdsp::glide(early_, t.earlyGain, factor);
    fxdsp::glide(lowCut_, t.lowCut, factor);
    const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
    fxdsp::glide(dry_, mix.dry, factor);
    fxdsp::glide(wet_, mix.wet, factor);
    fxdsp::glide(level_, t.level, factor);
}

void ReverbEngine::clearSignal() {
    preLeft_.clear();
    preRight_.clear();
    preWrite_ = 0;
    for (Channel* c : {&left_, &right_}) {
        std::fill(c->pool.begin(), c->pool.end(), 0.0f);
        for (int i = 0; i < kCombCount; ++i) {
            c->combIndex[i] = 0;
            c->combStore[i] = 0.0f;
        }
        for (int i = 0; i < kAllpassCount; ++i) c->allpassIndex[i] = 0;
        c->lowCutState = 0.0f;
    }
}

void ReverbEngine::beginBlock() {
    // Damp 1 leaves the combs undamped (k1 = 1); Damp 0 averages the new and
    // the stored value.
    k1_ = 0.5f + 0.5f * damping_;
    k2_ = 1.0f - k1_;
}

void ReverbEngine::render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    // Whole samples, no interpolation; held inside the line.
    int p = static_cast<int>(preDelay_);
    if (p < 0) p = 0;
    if (p > PreDelayLine::kMask) p = PreDelayLine::kMask;
    const float feedback = feedback_, k1 = k1_, k2 = k2_;
    const float early = early_, dry = dry_, wet = wet_, level = level_;
    const fxdsp::OnePoleCoefficients lowCut = lowCut_;
    int w = preWrite_;
    for (int n = 0; n < count; ++n) {
        float xL, xR;
        // The combs decay (feedback below 1), so a bounded, finite input
        // keeps every line finite.
        if (mono) {
            xL = xR = fxdsp::fedSample(0.5f * inL[n] + 0.5f * inR[n]) + fxdsp::kAntiDenormalOffset;
        } else {
            xL = fxdsp::fedSample(inL[n]) + fxdsp::kAntiDenormalOffset;
            xR = fxdsp::fedSample(inR[n]) + fxdsp::kAntiDenormalOffset;
        }
        preLeft_.store(w, xL);
        preRight_.store(w, xR);
        const float uL = preLeft_.at(w - p);
        const float uR = preRight_.at(w - p);
        w = (w + 1) & PreDelayLine::kMask;

        const float hL = fxdsp::onePoleHighpassStep(left_.lowCutState, uL, lowCut);
        const float hR = fxdsp::onePoleHighpassStep(right_.lowCutState, uR, lowCut);
        float sumL, sumR, diffL, diffR;
        left_.run(hL, feedback, k1, k2, sumL, diffL);
        right_.run(hR, feedback, k1, k2, sumR, diffR);
        const float tL = kDiffusedGain * diffL - early * sumL;
        const float tR = kDiffusedGain * diffR - early * sumR;
        outL[n] = (xL * dry + tL * wet) * level;
        outR[n] = (xR * dry + tR * wet) * level;
    }
    preWrite_ = w;
}
