// The resonant stereo stage shared by the filter and overdrive effects: the
// synthesizer's four-pole section (two identical biquads in series, designed
// from the shared tables) per channel, a dry/wet crossfade and left and right
// output gains. Everything is set at the control rate; process() is the
// per-sample part, processRun() the same arithmetic over a run of frames with
// both channels in SSE lanes.
#pragma once

#include <emmintrin.h>

#include "common/cpu_features.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"
#include "modules/dsp_tables.h"
#include "modules/synth_filter.h"

// Cutoff and resonance glide 5 % of the way per control step: faster than
// the gains' 1 %, slow enough to keep sweeps free of zipper noise.
constexpr float kCutoffGlideFactor = 0.05f;

// The cutoff value counts 128 semitones per unit above the tables' lowest
// frequency (index 0, about 33.5 Hz at 44.1 kHz).
constexpr float kCutoffSemitonesPerUnit = 128.0f;

// trunc(2x): 0 low pass, 1 band pass, 2 (only at 1.0) high pass.
inline dsp::FilterMode filterModeFor(float x) {
    const float t = 2.0f * x;
    if (!(t >= 1.0f)) return dsp::FilterMode::LowPass;  // NaN too
    if (t < 2.0f) return dsp::FilterMode::BandPass;
    return dsp::FilterMode::HighPass;
}

// The display boundaries do not match the truncation: 0.9 still filters as
// a band pass while it reads "High Pass", as it always has.
inline const char* filterModeText(float x) {
    if (x < 0.33f) return "Low Pass";
    if (x < 0.66f) return "Band Pass";
    return "High Pass";
}

// The four sections' histories while a block runs, held in registers: in
// each value lane 0 is the left channel, lane 1 the right; lanes 2 and 3
// stay 0.
struct StereoSectionLanes {
    __m128 x1, x2, y1, y2;
};
struct StereoFourPoleLanes {
    StereoSectionLanes first, second;
};

class StereoFilterStage {
public:
    explicit StereoFilterStage(const dsp::DspTables& tables) : tables_(tables) {}

    // Dry/wet crossfade by the balance law, and the output gains.
    void glideGains(float mix, float levelLeft, float levelRight, float factor) {
        const fxdsp::MixGains g = fxdsp::mixGains(mix);
        fxdsp::glide(dry_, g.dry, factor);
        fxdsp::glide(wet_, g.wet, factor);
        fxdsp::glide(levelLeft_, levelLeft, factor);
        fxdsp::glide(levelRight_, levelRight, factor);
    }
    // Smoothing on: 5 % of the way; off: jump.
    void glideCutoff(float cutoffValue, float q, bool smoothing) {
        const float factor = smoothing ? kCutoffGlideFactor : fxdsp::kJumpFactor;
        fxdsp::glide(cutoff_, cutoffValue, factor);
        fxdsp::glide(q_, q, factor);
    }
    // Designs the biquad for the smoothed cutoff plus offset (in cutoff
    // units) and the smoothed q.
    void design(float cutoffOffset, dsp::FilterMode mode) {
        const int k = dsp::cutoffTableIndex((cutoffOffset + cutoff_) * kCutoffSemitonesPerUnit);
        const int h = dsp::qTableIndex(q_);
        coefficients_ = dsp::designBiquad(tables_, k, h, mode);
    }

    // x is the signal to filter (the input itself, or the driven input); the
    // dry path takes the unprocessed input.
    void process(float dryL, float dryR, float xL, float xR, float& outL, float& outR) {
        using Guard = dsp::DenormalGuard;
        const float yL = left_.processFourPole<Guard::FlushToZero>(coefficients_, xL);
        const float yR = right_.processFourPole<Guard::FlushToZero>(coefficients_, xR);
        outL = (dryL * dry_ + yL * wet_) * levelLeft_;
        outR = (dryR * dry_ + yR * wet_) * levelRight_;
    }

    // The sections' histories in lanes for a block of processRun() calls,
    // and back; between the two the stage's own histories are stale. Setting
    // coefficients and gains does not touch the histories.
    StereoFourPoleLanes loadHistories() const;
    void storeHistories(const StereoFourPoleLanes& lanes);

    // A run of frames with unchanged coefficients and gains. Each input
    // sample is first held as fxdsp::fedSample holds it, and that sample
    // takes both the dry path and the filter. Per frame and channel the
    // arithmetic is process()'s, operation for operation, so the output is
    // the same to the bit. The outputs may be the inputs, and both inputs
    // may be one buffer.
    void processRun(StereoFourPoleLanes& lanes, const float* inL, const float* inR, float* outL, float* outR,
                    int frames) const;

    // processRun() in AVX2 code where the processor has it (on by default
    // there; the same bits as without).
    void useWideLanes(bool on);
    bool wideLanes() const { return wide_; }

    const dsp::BiquadCoefficients& coefficients() const { return coefficients_; }
    void clearSignal() {
        left_ = dsp::FourPoleFilter{};
        right_ = dsp::FourPoleFilter{};
    }

private:
    const dsp::DspTables& tables_;
    dsp::BiquadCoefficients coefficients_;
    dsp::FourPoleFilter left_;
    dsp::FourPoleFilter right_;
    float cutoff_ = 0.0f;
    float q_ = 0.0f;
    float dry_ = 0.0f;
    float wet_ = 0.0f;
    float levelLeft_ = 0.0f;
    float levelRight_ = 0.0f;
    bool wide_ = cpuHasAvx2();
};
