// The effects' control-rate smoothing: every 16th sample each smoothed
// coefficient moves 1 % of the way to its target; a full recomputation (new
// program, new sample rate) uses the factor 1 and lands on the targets at once.
// At 44.1 kHz the 1 % step gives a time constant of about 1600 samples (36 ms),
// long enough to keep parameter moves free of clicks.
#pragma once

namespace fxdsp {

// Samples between two smoothing steps.
constexpr int kControlPeriodSamples = 16;
// Fraction of the remaining distance covered by one smoothing step.
constexpr float kControlGlideFactor = 0.01f;
// Factor of the full recomputation: the smoothed value becomes the target.
constexpr float kJumpFactor = 1.0f;

// smoothed += factor * (target - smoothed), in single precision. A factor of
// 1 or more assigns the target exactly (the float expression s + (t - s) can
// miss t by one unit in the last place).
inline void glide(float& smoothed, float target, float factor) {
    if (factor >= 1.0f)
        smoothed = target;
    else
        smoothed += factor * (target - smoothed);
}

// Same glide for a target computed in double precision: the target is first
// rounded to single precision, as every effect stores its targets.
inline void glide(float& smoothed, double target, float factor) { glide(smoothed, static_cast<float>(target), factor); }

}  // namespace fxdsp
