// Thin wrappers over the vector instructions that the lane kernels (the
// synth's voices, the track equaliser, the overdrive) are written with, at
// two widths: four lanes in SSE2 (every build) and eight in
// AVX2 (x86_64 builds by gcc or clang, run only where the processor has it).
// A kernel written once against these names, in a namespace that brings in
// one width (using namespace float_lanes::sse2 or ::avx2), is built at both
// widths; every operation here is exact (moves, masks, compares) or a single
// IEEE rounding of the same operation at both widths, so the lanes of both
// give the same bits. No fused multiply-add: every product is rounded before
// its sum.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
#define TALVEX_AVX2_LANES 1
#include <immintrin.h>
#else
#define TALVEX_AVX2_LANES 0
#endif

#define TALVEX_LANES_AVX2 __attribute__((target("avx2")))

namespace float_lanes {

namespace sse2 {

constexpr int W = 4;
using F = __m128;
using I = __m128i;

inline F set1(float x) { return _mm_set1_ps(x); }
inline I set1i(int32_t x) { return _mm_set1_epi32(x); }
inline F zero() { return _mm_setzero_ps(); }
inline F add(F a, F b) { return _mm_add_ps(a, b); }
inline F sub(F a, F b) { return _mm_sub_ps(a, b); }
inline F mul(F a, F b) { return _mm_mul_ps(a, b); }
// Either operand NaN: b.
inline F min(F a, F b) { return _mm_min_ps(a, b); }
inline F max(F a, F b) { return _mm_max_ps(a, b); }
inline F root(F a) { return _mm_sqrt_ps(a); }
inline F fand(F a, F b) { return _mm_and_ps(a, b); }
inline F fior(F a, F b) { return _mm_or_ps(a, b); }
inline F fxor(F a, F b) { return _mm_xor_ps(a, b); }
inline F absolute(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline F cmpeq(F a, F b) { return _mm_cmpeq_ps(a, b); }
inline F cmpge(F a, F b) { return _mm_cmpge_ps(a, b); }
inline F cmple(F a, F b) { return _mm_cmple_ps(a, b); }
inline F cmplt(F a, F b) { return _mm_cmplt_ps(a, b); }
// Not (a <= b): true where either is NaN.
inline F cmpnle(F a, F b) { return _mm_cmpnle_ps(a, b); }
inline F select(F mask, F a, F b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline I iselect(I mask, I a, I b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
inline I iand(I a, I b) { return _mm_and_si128(a, b); }
inline I ior(I a, I b) { return _mm_or_si128(a, b); }
inline I iadd(I a, I b) { return _mm_add_epi32(a, b); }
inline I icmpeq(I a, I b) { return _mm_cmpeq_epi32(a, b); }
inline I icmplt(I a, I b) { return _mm_cmplt_epi32(a, b); }
inline I asInt(F a) { return _mm_castps_si128(a); }
inline F asFloat(I a) { return _mm_castsi128_ps(a); }
inline I truncate(F a) { return _mm_cvttps_epi32(a); }
template <int Bits>
inline I shiftLeft(I a) {
    return _mm_slli_epi32(a, Bits);
}
inline bool allTrue(I mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
inline bool anyTrue(I mask) { return _mm_movemask_epi8(mask) != 0; }
// Bit l set where lane l's sign bit is.
inline int laneBits(F mask) { return _mm_movemask_ps(mask); }
inline F loadLanes(const float* p) { return _mm_loadu_ps(p); }
inline I loadLanesI(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void storeLanes(F v, float* p) { _mm_storeu_ps(p, v); }
// std::floor for |x| < 2^31, where truncation is exact: one down from the
// truncated value where that lies above x.
inline F floorLanes(F x) {
    const F t = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
    return _mm_sub_ps(t, _mm_and_ps(_mm_cmplt_ps(x, t), _mm_set1_ps(1.0f)));
}
inline F gatherF(const float* table, I indices) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), indices);
    return _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
}
inline I gatherI(const int32_t* table, I indices) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), indices);
    return _mm_setr_epi32(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
}

}  // namespace sse2

#if TALVEX_AVX2_LANES
// Memory is addressed unaligned throughout (Windows builds cannot align the
// stack to 32 bytes).
namespace avx2 {

constexpr int W = 8;
using F = __m256;
using I = __m256i;

TALVEX_LANES_AVX2 inline F set1(float x) { return _mm256_set1_ps(x); }
TALVEX_LANES_AVX2 inline I set1i(int32_t x) { return _mm256_set1_epi32(x); }
TALVEX_LANES_AVX2 inline F zero() { return _mm256_setzero_ps(); }
TALVEX_LANES_AVX2 inline F add(F a, F b) { return _mm256_add_ps(a, b); }
TALVEX_LANES_AVX2 inline F sub(F a, F b) { return _mm256_sub_ps(a, b); }
TALVEX_LANES_AVX2 inline F mul(F a, F b) { return _mm256_mul_ps(a, b); }
TALVEX_LANES_AVX2 inline F min(F a, F b) { return _mm256_min_ps(a, b); }
TALVEX_LANES_AVX2 inline F max(F a, F b) { return _mm256_max_ps(a, b); }
TALVEX_LANES_AVX2 inline F root(F a) { return _mm256_sqrt_ps(a); }
TALVEX_LANES_AVX2 inline F fand(F a, F b) { return _mm256_and_ps(a, b); }
TALVEX_LANES_AVX2 inline F fior(F a, F b) { return _mm256_or_ps(a, b); }
TALVEX_LANES_AVX2 inline F fxor(F a, F b) { return _mm256_xor_ps(a, b); }
TALVEX_LANES_AVX2 inline F absolute(F a) {
    return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}
// The predicates of the SSE2 compares, NaN included.
TALVEX_LANES_AVX2 inline F cmpeq(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
TALVEX_LANES_AVX2 inline F cmpge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OS); }
TALVEX_LANES_AVX2 inline F cmple(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OS); }
TALVEX_LANES_AVX2 inline F cmplt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OS); }
TALVEX_LANES_AVX2 inline F cmpnle(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_NLE_US); }
TALVEX_LANES_AVX2 inline F select(F mask, F a, F b) {
    return _mm256_or_ps(_mm256_and_ps(mask, a), _mm256_andnot_ps(mask, b));
}
TALVEX_LANES_AVX2 inline I iselect(I mask, I a, I b) {
    return _mm256_or_si256(_mm256_and_si256(mask, a), _mm256_andnot_si256(mask, b));
}
TALVEX_LANES_AVX2 inline I iand(I a, I b) { return _mm256_and_si256(a, b); }
TALVEX_LANES_AVX2 inline I ior(I a, I b) { return _mm256_or_si256(a, b); }
TALVEX_LANES_AVX2 inline I iadd(I a, I b) { return _mm256_add_epi32(a, b); }
TALVEX_LANES_AVX2 inline I icmpeq(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
TALVEX_LANES_AVX2 inline I icmplt(I a, I b) { return _mm256_cmpgt_epi32(b, a); }
TALVEX_LANES_AVX2 inline I asInt(F a) { return _mm256_castps_si256(a); }
TALVEX_LANES_AVX2 inline F asFloat(I a) { return _mm256_castsi256_ps(a); }
TALVEX_LANES_AVX2 inline I truncate(F a) { return _mm256_cvttps_epi32(a); }
template <int Bits>
TALVEX_LANES_AVX2 inline I shiftLeft(I a) {
    return _mm256_slli_epi32(a, Bits);
}
TALVEX_LANES_AVX2 inline bool allTrue(I mask) { return _mm256_movemask_epi8(mask) == -1; }
TALVEX_LANES_AVX2 inline bool anyTrue(I mask) { return _mm256_movemask_epi8(mask) != 0; }
TALVEX_LANES_AVX2 inline int laneBits(F mask) { return _mm256_movemask_ps(mask); }
TALVEX_LANES_AVX2 inline F loadLanes(const float* p) { return _mm256_loadu_ps(p); }
TALVEX_LANES_AVX2 inline I loadLanesI(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
TALVEX_LANES_AVX2 inline void storeLanes(F v, float* p) { _mm256_storeu_ps(p, v); }
// Rounding toward minus infinity: std::floor exactly.
TALVEX_LANES_AVX2 inline F floorLanes(F x) { return _mm256_round_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
TALVEX_LANES_AVX2 inline F gatherF(const float* table, I indices) { return _mm256_i32gather_ps(table, indices, 4); }
TALVEX_LANES_AVX2 inline I gatherI(const int32_t* table, I indices) {
    static_assert(sizeof(int) == sizeof(int32_t));
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), indices, 4);
}

}  // namespace avx2
#endif

}  // namespace float_lanes
