// The compressor's gain pass eight frames at a time in AVX2 lanes: the
// arithmetic of the four-frame SSE2 pass lane by lane, so both give the
// same bits; only where compressorWideGainsAvailable().
#pragma once

struct CompressorGainCurve {
    float thresholdUnits, kneeUnits, kneeSlope, oneMinusInverseRatio, makeUpGain;
    float quietBound;  // envelopes below it lie surely below the knee
};

namespace fxdsp {

// False, having written nothing, where an envelope or an exponent lies
// outside the range of the lanes (only for samples that are not finite).
bool compressorGainsEight(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                          float* outL, float* outR);
bool compressorWideGainsAvailable();

}  // namespace fxdsp
