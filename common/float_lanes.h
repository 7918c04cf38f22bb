// The float arithmetic of lane kernels written once for any width (the
// synth's voices, the track equaliser): four lanes in SSE2 (every build) and
// eight in AVX2 (x86_64, in functions compiled for it and run only where the
// processor has it). A kernel's namespace takes one of these with a using
// directive and adds what it needs beyond them. No fused multiply-add: every
// product is rounded before its sum at either width.
#pragma once

#include <emmintrin.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace float_lanes {

namespace sse2 {

inline __m128 set1(float x) { return _mm_set1_ps(x); }
inline __m128 zero() { return _mm_setzero_ps(); }
inline __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
inline __m128 sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m128 mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m128 min(__m128 a, __m128 b) { return _mm_min_ps(a, b); }
inline __m128 max(__m128 a, __m128 b) { return _mm_max_ps(a, b); }
inline __m128 fand(__m128 a, __m128 b) { return _mm_and_ps(a, b); }
inline __m128 cmpeq(__m128 a, __m128 b) { return _mm_cmpeq_ps(a, b); }
inline __m128 cmpge(__m128 a, __m128 b) { return _mm_cmpge_ps(a, b); }
inline __m128 cmple(__m128 a, __m128 b) { return _mm_cmple_ps(a, b); }
inline __m128 cmplt(__m128 a, __m128 b) { return _mm_cmplt_ps(a, b); }
// Lanes of a where the mask is set, of b elsewhere.
inline __m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

}  // namespace sse2

#if defined(__x86_64__) && defined(__GNUC__)
namespace avx2 {

#define FLOAT_LANES_AVX2 __attribute__((target("avx2")))
FLOAT_LANES_AVX2 inline __m256 set1(float x) { return _mm256_set1_ps(x); }
FLOAT_LANES_AVX2 inline __m256 zero() { return _mm256_setzero_ps(); }
FLOAT_LANES_AVX2 inline __m256 add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 min(__m256 a, __m256 b) { return _mm256_min_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 max(__m256 a, __m256 b) { return _mm256_max_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 fand(__m256 a, __m256 b) { return _mm256_and_ps(a, b); }
FLOAT_LANES_AVX2 inline __m256 cmpeq(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
FLOAT_LANES_AVX2 inline __m256 cmpge(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_GE_OS); }
FLOAT_LANES_AVX2 inline __m256 cmple(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LE_OS); }
FLOAT_LANES_AVX2 inline __m256 cmplt(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LT_OS); }
FLOAT_LANES_AVX2 inline __m256 select(__m256 mask, __m256 a, __m256 b) {
    return _mm256_or_ps(_mm256_and_ps(mask, a), _mm256_andnot_ps(mask, b));
}
#undef FLOAT_LANES_AVX2

}  // namespace avx2
#endif

}  // namespace float_lanes
