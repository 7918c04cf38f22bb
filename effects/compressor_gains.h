// The compressor's gain pass on four frames in SSE2 lanes and on eight in
// AVX2 lanes, one kernel built at both widths: each lane gives the bits of
// the core's frame-by-frame gain, so the two widths agree with it and with
// each other. The eight-frame pass only where compressorWideGainsAvailable().
#pragma once

struct CompressorGainCurve {
    float thresholdUnits, kneeUnits, kneeSlope, oneMinusInverseRatio, makeUpGain;
    float quietBound;  // envelopes below it lie surely below the knee
};

namespace fxdsp {

// False, having written nothing, where an envelope or an exponent lies
// outside the range of the lanes (only for samples that are not finite).
bool compressorGainsFour(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                         float* outL, float* outR);
bool compressorGainsEight(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                          float* outL, float* outR);
bool compressorWideGainsAvailable();

}  // namespace fxdsp
