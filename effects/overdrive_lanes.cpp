#include "effects/overdrive_lanes.h"

#include <cmath>
#include <cstdint>

#include "common/cpu_features.h"
#include "common/float_lanes.h"
#include "effects/dsp/signal_floor.h"

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

// Each channel in four SSE2 lanes: V pairs the left channel's four frames
// with the right channel's.
namespace sse2 {

#define LANE_FN
namespace lanes = float_lanes::sse2;
using lanes::F;
struct V {
    F l, r;
};
inline V set1(float x) { return {lanes::set1(x), lanes::set1(x)}; }
inline V perFrame(const float* x) { return {lanes::loadLanes(x), lanes::loadLanes(x)}; }
inline V perChannel(float left, float right) { return {lanes::set1(left), lanes::set1(right)}; }
inline V load(const float* left, const float* right) { return {lanes::loadLanes(left), lanes::loadLanes(right)}; }
inline void store(V v, float* left, float* right) {
    lanes::storeLanes(v.l, left);
    lanes::storeLanes(v.r, right);
}
inline V add(V a, V b) { return {lanes::add(a.l, b.l), lanes::add(a.r, b.r)}; }
inline V sub(V a, V b) { return {lanes::sub(a.l, b.l), lanes::sub(a.r, b.r)}; }
inline V mul(V a, V b) { return {lanes::mul(a.l, b.l), lanes::mul(a.r, b.r)}; }
inline V min(V a, V b) { return {lanes::min(a.l, b.l), lanes::min(a.r, b.r)}; }
inline V max(V a, V b) { return {lanes::max(a.l, b.l), lanes::max(a.r, b.r)}; }
inline V fand(V a, V b) { return {lanes::fand(a.l, b.l), lanes::fand(a.r, b.r)}; }
inline V fior(V a, V b) { return {lanes::fior(a.l, b.l), lanes::fior(a.r, b.r)}; }
inline V fxor(V a, V b) { return {lanes::fxor(a.l, b.l), lanes::fxor(a.r, b.r)}; }
inline V root(V a) { return {lanes::root(a.l), lanes::root(a.r)}; }
inline V absolute(V a) { return {lanes::absolute(a.l), lanes::absolute(a.r)}; }
inline V cmpnle(V a, V b) { return {lanes::cmpnle(a.l, b.l), lanes::cmpnle(a.r, b.r)}; }
inline bool allSet(V m) { return (lanes::laneBits(m.l) & lanes::laneBits(m.r)) == 15; }
// Frames moved k lanes up within each channel, zeros coming in.
template <int k>
inline F upLanes(F a) {
    return _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(a), 4 * k));
}
inline V up1(V a) { return {upLanes<1>(a.l), upLanes<1>(a.r)}; }
inline V up2(V a) { return {upLanes<2>(a.l), upLanes<2>(a.r)}; }
inline V up3(V a) { return {upLanes<3>(a.l), upLanes<3>(a.r)}; }
inline V lane2(V a) { return {_mm_shuffle_ps(a.l, a.l, 0xaa), _mm_shuffle_ps(a.r, a.r, 0xaa)}; }
inline V lane3(V a) { return {_mm_shuffle_ps(a.l, a.l, 0xff), _mm_shuffle_ps(a.r, a.r, 0xff)}; }
// The block one frame earlier: the last frame of `before`, then frames 0 to
// 2 of `now`.
inline F oneEarlier(F before, F now) {
    const F t = _mm_shuffle_ps(before, now, _MM_SHUFFLE(0, 0, 3, 3));  // b3 b3 n0 n0
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

#if TALVEX_AVX2_LANES
// Both channels in the eight AVX2 lanes: the left channel's four frames in
// the low half, the right channel's in the high half, so that every
// shuffle stays within a half.
namespace avx2 {

#define LANE_FN TALVEX_LANES_AVX2
using namespace float_lanes::avx2;
using V = F;
LANE_FN inline V perFrame(const float* x) { return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(x)); }
LANE_FN inline V perChannel(float left, float right) {
    return _mm256_setr_m128(_mm_set1_ps(left), _mm_set1_ps(right));
}
LANE_FN inline V load(const float* left, const float* right) { return _mm256_loadu2_m128(right, left); }
LANE_FN inline void store(V v, float* left, float* right) { _mm256_storeu2_m128(right, left, v); }
LANE_FN inline bool allSet(V m) { return laneBits(m) == 255; }
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
void renderOverdriveBlockwise(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                              float* outL, float* outR, int frames, bool wide) {
    if (wide && overdriveWideLanesAvailable())
        avx2::renderFramesBlockwise(run, history, inL, inR, outL, outR, frames);
    else
        sse2::renderFramesBlockwise(run, history, inL, inR, outL, outR, frames);
}
#else
void renderOverdriveWide(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                         float* outL, float* outR, int frames) {
    renderOverdriveNarrow(run, history, inL, inR, outL, outR, frames);
}
bool overdriveWideLanesAvailable() { return false; }
void renderOverdriveBlockwise(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                              float* outL, float* outR, int frames, bool) {
    sse2::renderFramesBlockwise(run, history, inL, inR, outL, outR, frames);
}
#endif

}  // namespace fxdsp
