// portable::exp2 and portable::log2 on four doubles, and on eight floats
// each worked out in double and rounded once, in the four lanes of AVX2
// registers: the kernel of the two-lane SSE2 versions (portable_lanes.h)
// built at this width, so each lane gives the scalar function's bits. x86_64
// only; call them only where the processor has AVX2.
#pragma once

#if defined(__x86_64__)

#include <immintrin.h>

#include "common/portable_math.h"

#define TALVEX_LANES_AVX2 __attribute__((target("avx2")))

namespace fxdsp::wide {

namespace four_lanes {

// The operations the kernel uses, on the four double lanes of an AVX2
// register and their 32-bit integers in an SSE register.
using D = __m256d;
using N = __m128i;
TALVEX_LANES_AVX2 inline D set1(double v) { return _mm256_set1_pd(v); }
TALVEX_LANES_AVX2 inline D add(D a, D b) { return _mm256_add_pd(a, b); }
TALVEX_LANES_AVX2 inline D sub(D a, D b) { return _mm256_sub_pd(a, b); }
TALVEX_LANES_AVX2 inline D mul(D a, D b) { return _mm256_mul_pd(a, b); }
TALVEX_LANES_AVX2 inline D div(D a, D b) { return _mm256_div_pd(a, b); }
TALVEX_LANES_AVX2 inline D bitOr(D a, D b) { return _mm256_or_pd(a, b); }
TALVEX_LANES_AVX2 inline D bitAnd(D a, D b) { return _mm256_and_pd(a, b); }
TALVEX_LANES_AVX2 inline D bitAndNot(D a, D b) { return _mm256_andnot_pd(a, b); }
TALVEX_LANES_AVX2 inline D greater(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
TALVEX_LANES_AVX2 inline N truncate(D a) { return _mm256_cvttpd_epi32(a); }
TALVEX_LANES_AVX2 inline D toDouble(N a) { return _mm256_cvtepi32_pd(a); }
TALVEX_LANES_AVX2 inline N iset1(int v) { return _mm_set1_epi32(v); }
TALVEX_LANES_AVX2 inline N iand(N a, N b) { return _mm_and_si128(a, b); }
TALVEX_LANES_AVX2 inline N isub(N a, N b) { return _mm_sub_epi32(a, b); }
TALVEX_LANES_AVX2 inline N shiftDown6(N a) { return _mm_srai_epi32(a, 6); }
TALVEX_LANES_AVX2 inline D exp2TableAt(N j) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), portable::detail::kExp2Table, j,
                                    _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}
// 2^k: k + 1023 is positive here, widened to 64 bits and moved into the
// exponent.
TALVEX_LANES_AVX2 inline D powerOfTwo(N k) {
    const __m256i biased = _mm256_cvtepi32_epi64(_mm_add_epi32(k, _mm_set1_epi32(1023)));
    return _mm256_castsi256_pd(_mm256_slli_epi64(biased, 52));
}
TALVEX_LANES_AVX2 inline D unbiasedExponent(D x) {
    const __m256i exponent64 = _mm256_srli_epi64(_mm256_castpd_si256(x), 52);
    const N exponent =
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(exponent64, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    return _mm256_cvtepi32_pd(_mm_sub_epi32(exponent, _mm_set1_epi32(1023)));
}
// The mantissa with the exponent of 1: a value in [1, 2).
TALVEX_LANES_AVX2 inline D mantissaOfOne(D x) {
    const __m256i mantissaBits = _mm256_set1_epi64x(0x000fffffffffffffLL);
    const __m256i oneBits = _mm256_set1_epi64x(0x3ff0000000000000LL);
    return _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(_mm256_castpd_si256(x), mantissaBits), oneBits));
}

#define LANES_FN TALVEX_LANES_AVX2
#include "effects/dsp/portable_lanes_kernel.inc"
#undef LANES_FN

}  // namespace four_lanes

// portable::exp2 on four doubles, |x| <= 512, and portable::log2 on four
// positive normal finite doubles.
TALVEX_LANES_AVX2 inline __m256d exp2Four(__m256d x) { return four_lanes::exp2Steps(x); }
TALVEX_LANES_AVX2 inline __m256d log2Four(__m256d x) { return four_lanes::log2Steps(x); }

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
