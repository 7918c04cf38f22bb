// Small constants that keep the effects' signal paths away from denormal
// numbers. x87-free targets flush nothing by default, and a tail that decays
// into the denormal range costs hundreds of cycles per operation, so every
// effect lifts its inputs by a constant that is inaudible (-100 dB) but keeps
// recursive states in the normal range.
#pragma once

#include <emmintrin.h>

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

// fedSample on four lanes, with the same results: within the bound a sample
// passes, NaN becomes 0, anything larger is held at the bound.
inline __m128 fedLanes(__m128 x) {
    const __m128 largest = _mm_set1_ps(kLargestFedSample);
    const __m128 magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 inside = _mm_cmple_ps(magnitude, largest);
    const __m128 held = _mm_min_ps(_mm_max_ps(x, _mm_sub_ps(_mm_setzero_ps(), largest)), largest);
    const __m128 ordered = _mm_cmpord_ps(x, x);
    return _mm_or_ps(_mm_and_ps(inside, x), _mm_andnot_ps(inside, _mm_and_ps(ordered, held)));
}

// Frames a line has taken since it last held silence, up to its length: an
// owner that writes its lines from slot 0 onwards knows from it how much of
// them a clear has to touch (nothing, for a line that has not run).
class WrittenSpan {
public:
    explicit WrittenSpan(int length) : length_(length) {}
    void add(int frames) {
        if (frames > 0) frames_ = frames >= length_ - frames_ ? length_ : frames_ + frames;
    }
    int frames() const { return frames_; }
    void reset() { frames_ = 0; }

private:
    int length_;
    int frames_ = 0;
};

}  // namespace fxdsp
