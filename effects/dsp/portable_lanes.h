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

namespace two_lanes {

// The operations the kernel uses, on the two double lanes of an SSE2
// register; the integers are in lanes 0 and 1 of N.
using D = __m128d;
using N = __m128i;
inline D set1(double v) { return _mm_set1_pd(v); }
inline D add(D a, D b) { return _mm_add_pd(a, b); }
inline D sub(D a, D b) { return _mm_sub_pd(a, b); }
inline D mul(D a, D b) { return _mm_mul_pd(a, b); }
inline D div(D a, D b) { return _mm_div_pd(a, b); }
inline D bitOr(D a, D b) { return _mm_or_pd(a, b); }
inline D bitAnd(D a, D b) { return _mm_and_pd(a, b); }
inline D bitAndNot(D a, D b) { return _mm_andnot_pd(a, b); }
inline D greater(D a, D b) { return _mm_cmpgt_pd(a, b); }
inline N truncate(D a) { return _mm_cvttpd_epi32(a); }
inline D toDouble(N a) { return _mm_cvtepi32_pd(a); }
inline N iset1(int v) { return _mm_set1_epi32(v); }
inline N iand(N a, N b) { return _mm_and_si128(a, b); }
inline N isub(N a, N b) { return _mm_sub_epi32(a, b); }
inline N shiftDown6(N a) { return _mm_srai_epi32(a, 6); }
inline D exp2TableAt(N j) {
    const double* table = portable::detail::kExp2Table;
    return _mm_loadh_pd(_mm_load_sd(&table[_mm_cvtsi128_si32(j)]), &table[_mm_cvtsi128_si32(_mm_srli_si128(j, 4))]);
}
// 2^k: the biased exponent moved into place, one 64-bit lane per k.
inline D powerOfTwo(N k) {
    const N biased = _mm_unpacklo_epi32(_mm_add_epi32(k, _mm_set1_epi32(1023)), _mm_setzero_si128());
    return _mm_castsi128_pd(_mm_slli_epi64(biased, 52));
}
inline D unbiasedExponent(D x) {
    const N exponent = _mm_shuffle_epi32(_mm_srli_epi64(_mm_castpd_si128(x), 52), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm_cvtepi32_pd(_mm_sub_epi32(exponent, _mm_set1_epi32(1023)));
}
// The mantissa with the exponent of 1: a value in [1, 2).
inline D mantissaOfOne(D x) {
    const N mantissaBits = _mm_set_epi32(0x000fffff, static_cast<int>(0xffffffffu), 0x000fffff,
                                         static_cast<int>(0xffffffffu));
    const N oneBits = _mm_set_epi32(0x3ff00000, 0, 0x3ff00000, 0);
    return _mm_castsi128_pd(_mm_or_si128(_mm_and_si128(_mm_castpd_si128(x), mantissaBits), oneBits));
}

#define LANES_FN
#include "effects/dsp/portable_lanes_kernel.inc"
#undef LANES_FN

}  // namespace two_lanes

// 2^x for |x| <= kExp2LanesLimit.
inline __m128d exp2Lanes(__m128d x) { return two_lanes::exp2Steps(x); }

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
inline __m128d log2Lanes(__m128d x) { return two_lanes::log2Steps(x); }

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
