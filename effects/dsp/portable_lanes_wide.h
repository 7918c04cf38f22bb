// portable::exp2 and portable::log2 on four doubles, and on eight floats
// each worked out in double and rounded once, in the four lanes of AVX2
// registers: the steps of the two-lane SSE2 versions (portable_lanes.h) in
// the same order, so each lane gives the scalar function's bits. x86_64
// only; call them only where the processor has AVX2.
#pragma once

#if defined(__x86_64__)

#include <immintrin.h>

#include "common/portable_math.h"

#define TALVEX_LANES_AVX2 __attribute__((target("avx2")))

namespace fxdsp::wide {

// portable::exp2 on four doubles, |x| <= 512: the steps of the two-lane
// SSE2 version in the same order.
TALVEX_LANES_AVX2 inline __m256d exp2Four(__m256d x) {
    namespace d = portable::detail;
    const __m256d t = _mm256_mul_pd(x, _mm256_set1_pd(64.0));
    const __m256d half = _mm256_or_pd(_mm256_set1_pd(0.5), _mm256_and_pd(t, _mm256_set1_pd(-0.0)));
    const __m128i n = _mm256_cvttpd_epi32(_mm256_add_pd(t, half));
    const __m256d nd = _mm256_cvtepi32_pd(n);
    const __m256d r =
        _mm256_mul_pd(_mm256_sub_pd(x, _mm256_mul_pd(nd, _mm256_set1_pd(1.0 / 64))), _mm256_set1_pd(d::kLn2));
    const __m128i j = _mm_and_si128(n, _mm_set1_epi32(63));
    const __m128i k = _mm_srai_epi32(_mm_sub_epi32(n, j), 6);
    const __m256d table = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), d::kExp2Table, j,
                                                   _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
    __m256d p = _mm256_add_pd(_mm256_set1_pd(1.0 / 120), _mm256_mul_pd(r, _mm256_set1_pd(1.0 / 720)));
    p = _mm256_add_pd(_mm256_set1_pd(1.0 / 24), _mm256_mul_pd(r, p));
    p = _mm256_add_pd(_mm256_set1_pd(1.0 / 6), _mm256_mul_pd(r, p));
    p = _mm256_add_pd(_mm256_set1_pd(1.0 / 2), _mm256_mul_pd(r, p));
    const __m256d em1 = _mm256_add_pd(r, _mm256_mul_pd(_mm256_mul_pd(r, r), p));
    const __m256d m = _mm256_add_pd(table, _mm256_mul_pd(table, em1));
    // k + 1023 is positive here: widened to 64 bits and moved into the exponent.
    const __m256i biased = _mm256_cvtepi32_epi64(_mm_add_epi32(k, _mm_set1_epi32(1023)));
    return _mm256_mul_pd(m, _mm256_castsi256_pd(_mm256_slli_epi64(biased, 52)));
}

// portable::log2 on four positive normal finite doubles.
TALVEX_LANES_AVX2 inline __m256d log2Four(__m256d x) {
    namespace d = portable::detail;
    const __m256i bits = _mm256_castpd_si256(x);
    const __m256i exponent64 = _mm256_srli_epi64(bits, 52);
    const __m128i exponent =
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(exponent64, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    __m256d e = _mm256_cvtepi32_pd(_mm_sub_epi32(exponent, _mm_set1_epi32(1023)));
    const __m256i mantissaBits = _mm256_set1_epi64x(0x000fffffffffffffLL);
    const __m256i oneBits = _mm256_set1_epi64x(0x3ff0000000000000LL);
    __m256d m = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, mantissaBits), oneBits));
    const __m256d above = _mm256_cmp_pd(m, _mm256_set1_pd(d::kSqrt2), _CMP_GT_OQ);
    m = _mm256_or_pd(_mm256_and_pd(above, _mm256_mul_pd(m, _mm256_set1_pd(0.5))), _mm256_andnot_pd(above, m));
    e = _mm256_add_pd(e, _mm256_and_pd(above, _mm256_set1_pd(1.0)));
    const __m256d f = _mm256_sub_pd(m, _mm256_set1_pd(1.0));
    const __m256d s = _mm256_div_pd(f, _mm256_add_pd(_mm256_set1_pd(2.0), f));
    const __m256d z = _mm256_mul_pd(s, s);
    __m256d p = _mm256_add_pd(_mm256_set1_pd(2.0 / 19), _mm256_mul_pd(z, _mm256_set1_pd(2.0 / 21)));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 17), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 15), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 13), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 11), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 9), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 7), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 5), _mm256_mul_pd(z, p));
    p = _mm256_add_pd(_mm256_set1_pd(2.0 / 3), _mm256_mul_pd(z, p));
    const __m256d r = _mm256_mul_pd(z, p);
    const __m256d halfSquare = _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(0.5), f), f);
    const __m256d logOnePlus =
        _mm256_sub_pd(f, _mm256_sub_pd(halfSquare, _mm256_mul_pd(s, _mm256_add_pd(halfSquare, r))));
    return _mm256_add_pd(e, _mm256_mul_pd(logOnePlus, _mm256_set1_pd(d::kInvLn2)));
}

// Eight floats, each computed in double and rounded once, as the scalar
// functions do.
TALVEX_LANES_AVX2 inline __m256 exp2Eight(__m256 x) {
    const __m128 low = _mm256_cvtpd_ps(exp2Four(_mm256_cvtps_pd(_mm256_castps256_ps128(x))));
    const __m128 high = _mm256_cvtpd_ps(exp2Four(_mm256_cvtps_pd(_mm256_extractf128_ps(x, 1))));
    return _mm256_set_m128(high, low);
}
TALVEX_LANES_AVX2 inline __m256 log2Eight(__m256 x) {
    const __m128 low = _mm256_cvtpd_ps(log2Four(_mm256_cvtps_pd(_mm256_castps256_ps128(x))));
    const __m128 high = _mm256_cvtpd_ps(log2Four(_mm256_cvtps_pd(_mm256_extractf128_ps(x, 1))));
    return _mm256_set_m128(high, low);
}

}  // namespace fxdsp::wide

#endif
