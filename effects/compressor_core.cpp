#include "effects/compressor_core.h"

#include <cmath>

#include "common/portable_math.h"
#include "effects/dsp/smoothing.h"

CompressorCore::CompressorCore() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    smoothCurve(1.0f);
}

void CompressorCore::clearSignal() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    writeIndex_ = 0;
    powerSum_ = 0.0;
    rebuildPower_ = true;
    envelope_ = 0.0f;
}

void CompressorCore::smoothCurve(float factor) {
    fxdsp::glide(smoothed_.thresholdUnits, target_.thresholdUnits, factor);
    fxdsp::glide(smoothed_.kneeUnits, target_.kneeUnits, factor);
    fxdsp::glide(smoothed_.kneeSlope, target_.kneeSlope, factor);
    fxdsp::glide(smoothed_.ratio, target_.ratio, factor);
    fxdsp::glide(smoothed_.makeUpGain, target_.makeUpGain, factor);
    oneMinusInverseRatio_ = smoothed_.ratio > 0.0f ? 1.0f - 1.0f / smoothed_.ratio : 0.0f;
}

void CompressorCore::setLookaheadSamples(int samples) {
    if (samples < 0) samples = 0;
    if (samples > kRingMask) samples = kRingMask;
    lookaheadSamples_ = samples;
}

float CompressorCore::reductionUnits(float v) const {
    const float t = smoothed_.thresholdUnits;
    const float e = smoothed_.kneeUnits;
    if (!(v > t - e)) return 0.0f;
    if (v < t + e) {
        // Inside the knee the ratio rises smoothly from 1 to R; this meets
        // the straight line above the knee at V = T + E.
        const float k = v - t + e;
        const float g = 1.0f + smoothed_.kneeSlope * k;
        return k * (1.0f - 1.0f / g);
    }
    return oneMinusInverseRatio_ * (v - t);
}

void CompressorCore::process(float inL, float inR, float& outL, float& outR) {
    const int w = writeIndex_;
    ringL_[w] = inL + kInputOffset;
    ringR_[w] = inR + kInputOffset;

    if (rebuildPower_) {
        rebuildPower_ = false;
        double sum = 0.0;
        for (int i = 0; i < kPowerWindow; ++i) {
            const double u = monoAt((w - i) & kRingMask);
            sum += u * u;
        }
        powerSum_ = sum;
    } else {
        const double oldest = monoAt((w - kPowerWindow) & kRingMask);
        const double newest = monoAt(w);
        powerSum_ = powerSum_ - oldest * oldest + newest * newest;
    }
    float meanSquare = static_cast<float>(powerSum_) / static_cast<float>(kPowerWindow);
    if (meanSquare < 0.0f) meanSquare = 0.0f;  // rounding of the running sum
    const float rms = std::sqrt(meanSquare);

    const float c = rms > envelope_ ? attackCoefficient_ : releaseCoefficient_;
    envelope_ = rms * (1.0f - c) + c * envelope_;
    if (envelope_ < kInputOffset) envelope_ = kInputOffset;

    const int j = (w - lookaheadSamples_) & kRingMask;
    float dL = ringL_[j];
    float dR = ringR_[j];

    const float levelUnits = 6.0f * portable::log2(envelope_);
    const float r = reductionUnits(levelUnits);
    if (r != 0.0f) {
        const float gain = portable::exp2(-r / 6.0f);
        dL *= gain;
        dR *= gain;
    }
    outL = smoothed_.makeUpGain * dL;
    outR = smoothed_.makeUpGain * dR;

    writeIndex_ = (w + 1) & kRingMask;
}
