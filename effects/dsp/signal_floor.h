// Small constants that keep the effects' signal paths away from denormal
// numbers. x87-free targets flush nothing by default, and a tail that decays
// into the denormal range costs hundreds of cycles per operation, so every
// effect lifts its inputs by a constant that is inaudible (-100 dB) but keeps
// recursive states in the normal range.
#pragma once

#include <cmath>

namespace fxdsp {

// Added to every effect input sample; it also travels the dry path.
constexpr float kAntiDenormalOffset = 0.00001f;

// "Silence" on a smoothed gain path: a gain that glides to exactly 0 would
// leave the smoothed value creeping through the denormal range.
constexpr float kSilentGain = 0.000001f;

// What a recirculating path (delay lines, reverb combs) may take in. A NaN or
// an infinity would circulate there for good, so it enters as silence; any
// other value is held within +-kLargestFedSample, far above a real signal,
// so that the loop cannot overflow into infinity either.
constexpr float kLargestFedSample = 1.0e6f;
inline float fedSample(float x) {
    if (std::fabs(x) <= kLargestFedSample) return x;
    if (std::isnan(x)) return 0.0f;
    return x > 0.0f ? kLargestFedSample : -kLargestFedSample;
}

}  // namespace fxdsp
