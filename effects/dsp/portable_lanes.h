// portable::exp2 and portable::log2 on the lanes of SSE2 registers: the
// same operations in the same order as the scalar functions, so each lane
// gives their bits exactly. Each covers a stated range only (no NaN, no
// infinity, no subnormal); callers check their arguments and take the scalar
// function otherwise.
#pragma once

#include <emmintrin.h>

#include "common/portable_math.h"

namespace fxdsp {

inline constexpr double kExp2LanesLimit = 512.0;

// 2^x for |x| <= kExp2LanesLimit.
inline __m128d exp2Lanes(__m128d x) {
    namespace d = portable::detail;
    // nearest(64 x): halves away from zero (the half takes the sign of the
    // product; a product of -0 gives 0 either way), then truncated.
    const __m128d t = _mm_mul_pd(x, _mm_set1_pd(64.0));
    const __m128d signBit = _mm_castsi128_pd(_mm_set_epi32(static_cast<int>(0x80000000u), 0,
                                                           static_cast<int>(0x80000000u), 0));
    const __m128d half = _mm_or_pd(_mm_set1_pd(0.5), _mm_and_pd(t, signBit));
    const __m128i n = _mm_cvttpd_epi32(_mm_add_pd(t, half));  // lanes 0 and 1
    const __m128d nd = _mm_cvtepi32_pd(n);
    const __m128d r = _mm_mul_pd(_mm_sub_pd(x, _mm_mul_pd(nd, _mm_set1_pd(1.0 / 64))), _mm_set1_pd(d::kLn2));
    const __m128i j = _mm_and_si128(n, _mm_set1_epi32(63));
    // (n - j) / 64 is exact: n - j is a multiple of 64.
    const __m128i k = _mm_srai_epi32(_mm_sub_epi32(n, j), 6);
    const __m128d table = _mm_loadh_pd(_mm_load_sd(&d::kExp2Table[_mm_cvtsi128_si32(j)]),
                                       &d::kExp2Table[_mm_cvtsi128_si32(_mm_srli_si128(j, 4))]);
    // expMinusOneSmall(r) = r + r r (1/2 + r (1/6 + r (1/24 + r (1/120 + r / 720)))).
    __m128d p = _mm_add_pd(_mm_set1_pd(1.0 / 120), _mm_mul_pd(r, _mm_set1_pd(1.0 / 720)));
    p = _mm_add_pd(_mm_set1_pd(1.0 / 24), _mm_mul_pd(r, p));
    p = _mm_add_pd(_mm_set1_pd(1.0 / 6), _mm_mul_pd(r, p));
    p = _mm_add_pd(_mm_set1_pd(1.0 / 2), _mm_mul_pd(r, p));
    const __m128d em1 = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, r), p));
    const __m128d m = _mm_add_pd(table, _mm_mul_pd(table, em1));
    // 2^k: the biased exponent moved into place, one 64-bit lane per k.
    const __m128i biased = _mm_unpacklo_epi32(_mm_add_epi32(k, _mm_set1_epi32(1023)), _mm_setzero_si128());
    return _mm_mul_pd(m, _mm_castsi128_pd(_mm_slli_epi64(biased, 52)));
}

// Four float arguments: portable::exp2(float) on each (computed in double,
// rounded once to float).
inline __m128 exp2Lanes(__m128 x) {
    const __m128 low = _mm_cvtpd_ps(exp2Lanes(_mm_cvtps_pd(x)));
    const __m128 high = _mm_cvtpd_ps(exp2Lanes(_mm_cvtps_pd(_mm_movehl_ps(x, x))));
    return _mm_movelh_ps(low, high);
}

// True when every lane lies within the range exp2Lanes covers (false for NaN).
inline bool insideExp2Lanes(__m128 x) {
    const __m128 magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    return _mm_movemask_ps(_mm_cmple_ps(magnitude, _mm_set1_ps(static_cast<float>(kExp2LanesLimit)))) == 15;
}

// log2 x for positive normal finite x.
inline __m128d log2Lanes(__m128d x) {
    namespace d = portable::detail;
    // x = 2^e m, m in [1, 2); above sqrt 2 the mantissa is halved and e
    // raised, so that f = m - 1 lies in [sqrt(1/2) - 1, sqrt(2) - 1].
    const __m128i bits = _mm_castpd_si128(x);
    const __m128i exponent = _mm_shuffle_epi32(_mm_srli_epi64(bits, 52), _MM_SHUFFLE(2, 0, 2, 0));
    __m128d e = _mm_cvtepi32_pd(_mm_sub_epi32(exponent, _mm_set1_epi32(1023)));
    const __m128i mantissaBits = _mm_set_epi32(0x000fffff, static_cast<int>(0xffffffffu), 0x000fffff,
                                               static_cast<int>(0xffffffffu));
    const __m128i oneBits = _mm_set_epi32(0x3ff00000, 0, 0x3ff00000, 0);
    __m128d m = _mm_castsi128_pd(_mm_or_si128(_mm_and_si128(bits, mantissaBits), oneBits));
    const __m128d above = _mm_cmpgt_pd(m, _mm_set1_pd(d::kSqrt2));
    m = _mm_or_pd(_mm_and_pd(above, _mm_mul_pd(m, _mm_set1_pd(0.5))), _mm_andnot_pd(above, m));
    e = _mm_add_pd(e, _mm_and_pd(above, _mm_set1_pd(1.0)));
    const __m128d f = _mm_sub_pd(m, _mm_set1_pd(1.0));
    // log(1 + f) through 2 atanh(s), s = f / (2 + f).
    const __m128d s = _mm_div_pd(f, _mm_add_pd(_mm_set1_pd(2.0), f));
    const __m128d z = _mm_mul_pd(s, s);
    __m128d p = _mm_add_pd(_mm_set1_pd(2.0 / 19), _mm_mul_pd(z, _mm_set1_pd(2.0 / 21)));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 17), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 15), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 13), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 11), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 9), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 7), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 5), _mm_mul_pd(z, p));
    p = _mm_add_pd(_mm_set1_pd(2.0 / 3), _mm_mul_pd(z, p));
    const __m128d r = _mm_mul_pd(z, p);
    const __m128d halfSquare = _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(0.5), f), f);
    const __m128d logOnePlus = _mm_sub_pd(f, _mm_sub_pd(halfSquare, _mm_mul_pd(s, _mm_add_pd(halfSquare, r))));
    return _mm_add_pd(e, _mm_mul_pd(logOnePlus, _mm_set1_pd(d::kInvLn2)));
}

// Four float arguments: portable::log2(float) on each.
inline __m128 log2Lanes(__m128 x) {
    const __m128 low = _mm_cvtpd_ps(log2Lanes(_mm_cvtps_pd(x)));
    const __m128 high = _mm_cvtpd_ps(log2Lanes(_mm_cvtps_pd(_mm_movehl_ps(x, x))));
    return _mm_movelh_ps(low, high);
}

// True when every lane is a positive normal finite float (false for NaN).
inline bool insideLog2Lanes(__m128 x) {
    const __m128 inside = _mm_and_ps(_mm_cmpge_ps(x, _mm_set1_ps(0x1p-126f)),
                                     _mm_cmple_ps(x, _mm_set1_ps(0x1.fffffep127f)));
    return _mm_movemask_ps(inside) == 15;
}

}  // namespace fxdsp
