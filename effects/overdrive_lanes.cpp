#include "effects/overdrive_lanes.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdint>

#include "common/cpu_features.h"
#include "effects/dsp/signal_floor.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace fxdsp {

BlockBiquad blockBiquad(const dsp::BiquadCoefficients& c) {
    // The homogeneous recursion y[j] = -a1 y[j-1] - a2 y[j-2] started from
    // (y[-2], y[-1]) = (0, 1) gives the weights of the last output, from
    // (1, 0) those of the one before; the first is also the recursion's
    // impulse response one step late. Worked out in double and rounded once.
    const double a1 = c.a1, a2 = c.a2;
    double last[6] = {0.0, 1.0}, beforeLast[6] = {1.0, 0.0};
    for (int j = 2; j < 6; ++j) {
        last[j] = -a1 * last[j - 1] - a2 * last[j - 2];
        beforeLast[j] = -a1 * beforeLast[j - 1] - a2 * beforeLast[j - 2];
    }
    BlockBiquad b;
    b.b0 = c.b0;
    b.b1 = c.b1;
    b.b2 = c.b2;
    for (int j = 0; j < 3; ++j) b.impulse[j] = static_cast<float>(last[j + 2]);
    // last y[-1] + beforeLast y[-2] = y[-1] + (last + beforeLast - 1) y[-1]
    // - beforeLast (y[-1] - y[-2]).
    for (int j = 0; j < 4; ++j) {
        b.excess[j] = static_cast<float>(last[j + 2] + beforeLast[j + 2] - 1.0);
        b.rise[j] = static_cast<float>(-beforeLast[j + 2]);
    }
    return b;
}

// Each channel in four SSE2 lanes.
namespace sse2 {

#define LANE_FN
struct V {
    __m128 l, r;
};
inline __m128 bits(int32_t b) { return _mm_castsi128_ps(_mm_set1_epi32(b)); }
inline V splat(float x) { return {_mm_set1_ps(x), _mm_set1_ps(x)}; }
inline V perFrame(const float* x) { return {_mm_loadu_ps(x), _mm_loadu_ps(x)}; }
inline V perChannel(float left, float right) { return {_mm_set1_ps(left), _mm_set1_ps(right)}; }
inline V load(const float* left, const float* right) { return {_mm_loadu_ps(left), _mm_loadu_ps(right)}; }
inline void store(V v, float* left, float* right) {
    _mm_storeu_ps(left, v.l);
    _mm_storeu_ps(right, v.r);
}
inline V add(V a, V b) { return {_mm_add_ps(a.l, b.l), _mm_add_ps(a.r, b.r)}; }
inline V sub(V a, V b) { return {_mm_sub_ps(a.l, b.l), _mm_sub_ps(a.r, b.r)}; }
inline V mul(V a, V b) { return {_mm_mul_ps(a.l, b.l), _mm_mul_ps(a.r, b.r)}; }
inline V vmin(V a, V b) { return {_mm_min_ps(a.l, b.l), _mm_min_ps(a.r, b.r)}; }
inline V vmax(V a, V b) { return {_mm_max_ps(a.l, b.l), _mm_max_ps(a.r, b.r)}; }
inline V vand(V a, V b) { return {_mm_and_ps(a.l, b.l), _mm_and_ps(a.r, b.r)}; }
inline V vor(V a, V b) { return {_mm_or_ps(a.l, b.l), _mm_or_ps(a.r, b.r)}; }
inline V vxor(V a, V b) { return {_mm_xor_ps(a.l, b.l), _mm_xor_ps(a.r, b.r)}; }
inline V root(V a) { return {_mm_sqrt_ps(a.l), _mm_sqrt_ps(a.r)}; }
inline V absolute(V a) { return {_mm_and_ps(a.l, bits(0x7fffffff)), _mm_and_ps(a.r, bits(0x7fffffff))}; }
inline V ordered(V a) { return {_mm_cmpord_ps(a.l, a.l), _mm_cmpord_ps(a.r, a.r)}; }
inline V greater(V a, V b) { return {_mm_cmpnle_ps(a.l, b.l), _mm_cmpnle_ps(a.r, b.r)}; }
inline bool allSet(V m) { return (_mm_movemask_ps(m.l) & _mm_movemask_ps(m.r)) == 15; }
// Frames moved k lanes up within each channel, zeros coming in.
template <int k>
inline __m128 upLanes(__m128 a) {
    return _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(a), 4 * k));
}
inline V up1(V a) { return {upLanes<1>(a.l), upLanes<1>(a.r)}; }
inline V up2(V a) { return {upLanes<2>(a.l), upLanes<2>(a.r)}; }
inline V up3(V a) { return {upLanes<3>(a.l), upLanes<3>(a.r)}; }
inline V lane2(V a) { return {_mm_shuffle_ps(a.l, a.l, 0xaa), _mm_shuffle_ps(a.r, a.r, 0xaa)}; }
inline V lane3(V a) { return {_mm_shuffle_ps(a.l, a.l, 0xff), _mm_shuffle_ps(a.r, a.r, 0xff)}; }
// The block one frame earlier: the last frame of `before`, then frames 0 to
// 2 of `now`.
inline __m128 oneEarlier(__m128 before, __m128 now) {
    const __m128 t = _mm_shuffle_ps(before, now, _MM_SHUFFLE(0, 0, 3, 3));  // b3 b3 n0 n0
    return _mm_shuffle_ps(t, now, _MM_SHUFFLE(2, 1, 2, 0));
}
inline V followOn1(V before, V now) { return {oneEarlier(before.l, now.l), oneEarlier(before.r, now.r)}; }
// Two frames earlier: the last two of `before`, then frames 0 and 1 of `now`.
inline V followOn2(V before, V now) {
    return {_mm_shuffle_ps(before.l, now.l, _MM_SHUFFLE(1, 0, 3, 2)),
            _mm_shuffle_ps(before.r, now.r, _MM_SHUFFLE(1, 0, 3, 2))};
}

#include "effects/overdrive_lanes_kernel.inc"
#undef LANE_FN

}  // namespace sse2

void renderOverdriveNarrow(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                           float* outL, float* outR, int frames) {
    sse2::renderFrames(run, history, inL, inR, outL, outR, frames);
}

#if defined(__x86_64__)
// Both channels in the eight AVX2 lanes: the left channel's four frames in
// the low half, the right channel's in the high half, so that every
// shuffle stays within a half. Memory is addressed unaligned throughout
// (Windows builds cannot align the stack to 32 bytes).
namespace avx2 {

#define LANE_FN __attribute__((target("avx2")))
using V = __m256;
LANE_FN inline V splat(float x) { return _mm256_set1_ps(x); }
LANE_FN inline V perFrame(const float* x) { return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(x)); }
LANE_FN inline V perChannel(float left, float right) {
    return _mm256_setr_m128(_mm_set1_ps(left), _mm_set1_ps(right));
}
LANE_FN inline V load(const float* left, const float* right) { return _mm256_loadu2_m128(right, left); }
LANE_FN inline void store(V v, float* left, float* right) { _mm256_storeu2_m128(right, left, v); }
LANE_FN inline V add(V a, V b) { return _mm256_add_ps(a, b); }
LANE_FN inline V sub(V a, V b) { return _mm256_sub_ps(a, b); }
LANE_FN inline V mul(V a, V b) { return _mm256_mul_ps(a, b); }
LANE_FN inline V vmin(V a, V b) { return _mm256_min_ps(a, b); }
LANE_FN inline V vmax(V a, V b) { return _mm256_max_ps(a, b); }
LANE_FN inline V vand(V a, V b) { return _mm256_and_ps(a, b); }
LANE_FN inline V vor(V a, V b) { return _mm256_or_ps(a, b); }
LANE_FN inline V vxor(V a, V b) { return _mm256_xor_ps(a, b); }
LANE_FN inline V root(V a) { return _mm256_sqrt_ps(a); }
LANE_FN inline V absolute(V a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))); }
LANE_FN inline V ordered(V a) { return _mm256_cmp_ps(a, a, _CMP_ORD_Q); }
// cmpnle of SSE2: true when not (a <= b), NaN included.
LANE_FN inline V greater(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_NLE_US); }
LANE_FN inline bool allSet(V m) { return _mm256_movemask_ps(m) == 255; }
LANE_FN inline V up1(V a) { return _mm256_castsi256_ps(_mm256_slli_si256(_mm256_castps_si256(a), 4)); }
LANE_FN inline V up2(V a) { return _mm256_castsi256_ps(_mm256_slli_si256(_mm256_castps_si256(a), 8)); }
LANE_FN inline V up3(V a) { return _mm256_castsi256_ps(_mm256_slli_si256(_mm256_castps_si256(a), 12)); }
LANE_FN inline V lane2(V a) { return _mm256_shuffle_ps(a, a, 0xaa); }
LANE_FN inline V lane3(V a) { return _mm256_shuffle_ps(a, a, 0xff); }
LANE_FN inline V followOn1(V before, V now) {
    return _mm256_castsi256_ps(_mm256_alignr_epi8(_mm256_castps_si256(now), _mm256_castps_si256(before), 12));
}
LANE_FN inline V followOn2(V before, V now) { return _mm256_shuffle_ps(before, now, _MM_SHUFFLE(1, 0, 3, 2)); }

#include "effects/overdrive_lanes_kernel.inc"
#undef LANE_FN

}  // namespace avx2

void renderOverdriveWide(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                         float* outL, float* outR, int frames) {
    avx2::renderFrames(run, history, inL, inR, outL, outR, frames);
}
bool overdriveWideLanesAvailable() { return cpuHasAvx2(); }
#else
void renderOverdriveWide(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                         float* outL, float* outR, int frames) {
    renderOverdriveNarrow(run, history, inL, inR, outL, outR, frames);
}
bool overdriveWideLanesAvailable() { return false; }
#endif

}  // namespace fxdsp
