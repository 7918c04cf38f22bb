// One-pole low-pass sections. The coefficient pair (1 - a, a) with
// a = exp(-2 pi f / sampleRate) gives unit gain at DC and the -3 dB point near
// f for f well below Nyquist; a high-pass is formed as the input minus its
// low-pass, which keeps the two corners exactly complementary.
#pragma once

#include <cmath>

#include "common/portable_math.h"
#include "effects/dsp/smoothing.h"

namespace fxdsp {

struct OnePoleCoefficients {
    float input = 0.0f;     // 1 - a
    float feedback = 0.0f;  // a
};

inline OnePoleCoefficients onePoleLowpass(double cutoffHz, double sampleRate) {
    constexpr double kTwoPi = 6.283185307179586;
    const double a = portable::exp(-kTwoPi * cutoffHz / sampleRate);
    return {static_cast<float>(1.0 - a), static_cast<float>(a)};
}

inline void glide(OnePoleCoefficients& smoothed, const OnePoleCoefficients& target, float factor) {
    glide(smoothed.input, target.input, factor);
    glide(smoothed.feedback, target.feedback, factor);
}

// state = input * x + feedback * state; the new state is the low-passed sample.
inline float onePoleStep(float& state, float x, const OnePoleCoefficients& c) {
    state = c.input * x + c.feedback * state;
    return state;
}

// x minus its one-pole low-pass.
inline float onePoleHighpassStep(float& lowpassState, float x, const OnePoleCoefficients& c) {
    return x - onePoleStep(lowpassState, x, c);
}

}  // namespace fxdsp
