// The lane helpers of the effects that hold a stereo pair in one SSE
// register.
#pragma once

#include <emmintrin.h>

namespace fxdsp {

// Lane 0 is the left channel, lane 1 the right; lanes 2 and 3 carry zeros.
inline __m128 loadStereo(const float* left, const float* right) {
    return _mm_unpacklo_ps(_mm_load_ss(left), _mm_load_ss(right));
}
inline void storeStereo(__m128 v, float* left, float* right) {
    _mm_store_ss(left, v);
    _mm_store_ss(right, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}
inline __m128 stereoPair(float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); }
inline __m128 absLanes(__m128 v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline __m128 signLanes(__m128 v) {
    return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(0x80000000u))));
}
// Per lane: mask ? a : b.
inline __m128 selectLanes(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

}  // namespace fxdsp
