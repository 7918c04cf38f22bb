// The equaliser's passes in eight AVX2 lanes, both channels at once. Built
// for x86_64 only; the equaliser comes here only where the processor has
// AVX2. No fused multiply-add: every product is rounded before its sum, as in
// the four-lane passes.
#include "track/equaliser_lanes.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "common/float_lanes.h"

namespace {

#define EQ_LANE_FN __attribute__((target("avx2")))
using F = __m256;
constexpr int kWidth = 8;

using namespace float_lanes::avx2;
EQ_LANE_FN inline F magnitude(F a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))); }
// mask ? a : b in each lane, in one instruction.
EQ_LANE_FN inline F pick(F mask, F a, F b) { return _mm256_blendv_ps(b, a, mask); }
// Lane k of each half in that half's four lanes.
EQ_LANE_FN inline bool allTrue(F mask) { return _mm256_movemask_ps(mask) == 0xff; }
template <int kLane>
EQ_LANE_FN inline F broadcast(F v) { return _mm256_permute_ps(v, _MM_SHUFFLE(kLane, kLane, kLane, kLane)); }
EQ_LANE_FN inline F loadColumn(const float* c) { return _mm256_loadu_ps(c); }
EQ_LANE_FN inline void storeLanes(float* to, F v) { _mm256_storeu_ps(to, v); }

// Four frames of both channels: the left in lanes 0-3, the right in 4-7.
struct Channels {
    float* left;
    float* right;
};
EQ_LANE_FN inline F loadFour(const Channels& c, int n) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(c.left + n)), _mm_loadu_ps(c.right + n), 1);
}
EQ_LANE_FN inline void storeFour(const Channels& c, int n, F v) {
    _mm_storeu_ps(c.left + n, _mm256_castps256_ps128(v));
    _mm_storeu_ps(c.right + n, _mm256_extractf128_ps(v, 1));
}
EQ_LANE_FN inline F loadTail(const Channels& c, int n, int count) {
    float part[8] = {};
    for (int i = 0; i < count; ++i) part[i] = c.left[n + i], part[4 + i] = c.right[n + i];
    return _mm256_loadu_ps(part);
}
EQ_LANE_FN inline void storeTail(const Channels& c, int n, int count, F v) {
    float part[8];
    _mm256_storeu_ps(part, v);
    for (int i = 0; i < count; ++i) c.left[n + i] = part[i], c.right[n + i] = part[4 + i];
}
EQ_LANE_FN inline F stateLanes(const Channels&, const float (&v)[2]) {
    return _mm256_setr_ps(v[0], v[0], v[0], v[0], v[1], v[1], v[1], v[1]);
}
EQ_LANE_FN inline void keepState(const Channels&, F lanes, float (&v)[2]) {
    v[0] = _mm256_cvtss_f32(lanes);
    v[1] = _mm_cvtss_f32(_mm256_extractf128_ps(lanes, 1));
}

#include "track/equaliser_kernel.inc"

// The per-frame pipeline with lanes 2k and 2k + 1 holding band k of the left
// and the right channel (lanes 6 and 7 idle). As in the four-lane pass, at
// step t band 0 takes frame t and band k what band k - 1 gave at step t - 1,
// so that band 2 gives frame t - 2.

// The step's input: each band takes what the band before gave, band 0 the
// frame (both channels), or nothing past the block's end.
EQ_LANE_FN inline F stepInput(F last, const float* left, const float* right, int t, bool inBlock) {
    const F shifted = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(last), _MM_SHUFFLE(2, 1, 0, 0)));
    if (!inBlock) return _mm256_blend_ps(shifted, zero(), 0x03);
    const __m128 frame = _mm_unpacklo_ps(_mm_load_ss(left + t), _mm_load_ss(right + t));
    return _mm256_blend_ps(shifted, _mm256_castps128_ps256(frame), 0x03);
}

// Band 2's output (lanes 4 and 5) to frame `frame` of both channels.
EQ_LANE_FN inline void emit(F out, float* left, float* right, int frame) {
    const __m128 high = _mm256_extractf128_ps(out, 1);
    _mm_store_ss(left + frame, high);
    _mm_store_ss(right + frame, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Steps from .. to - 1, every band inside the block.
template <bool kAllMove>
EQ_LANE_FN void innerSteps(FrameLanes& s, float* left, float* right, int from, int to, F target, F on) {
    for (int t = from; t < to; ++t) {
        const F in = stepInput(s.last, left, right, t, true);
        emit(stepFrame<kAllMove>(s, in, target, on, on), left, right, t - 2);
    }
}

// Steps where a band lies outside the block (the first two and the last
// two), lanes masked.
EQ_LANE_FN void edgeStep(FrameLanes& s, float* left, float* right, int t, int frames, F target, F on) {
    int32_t active[8] = {};
    for (int k = 0; k < kBands; ++k)
        if (t - k >= 0 && t - k < frames) active[2 * k] = active[2 * k + 1] = -1;
    const F in = stepInput(s.last, left, right, t, t < frames);
    const F out = stepFrame<false>(s, in, target, on,
                                   _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(active))));
    if (t >= kBands - 1) emit(out, left, right, t - (kBands - 1));
}

EQ_LANE_FN void runSteps(FrameLanes& s, float* left, float* right, int frames, bool allOn, F target, F on) {
    const int steps = frames + kBands - 1;
    const int innerFrom = kBands - 1;
    const int innerTo = frames > innerFrom ? frames : innerFrom;
    for (int t = 0; t < innerFrom; ++t) edgeStep(s, left, right, t, frames, target, on);
    if (allOn)
        innerSteps<true>(s, left, right, innerFrom, innerTo, target, on);
    else
        innerSteps<false>(s, left, right, innerFrom, innerTo, target, on);
    for (int t = innerTo; t < steps; ++t) edgeStep(s, left, right, t, frames, target, on);
}

EQ_LANE_FN void runFramesWide(EqBandState* bands, const bool* running, float* left, float* right, int frames,
                              float equaliserOn) {
    const auto laneOf = [](int k, int ch) { return 2 * k + ch; };
    FrameLanes s = frameLanes(bands, 0, 2, laneOf);
    int32_t on[8] = {};
    for (int k = 0; k < kBands; ++k) on[2 * k] = on[2 * k + 1] = running[k] ? -1 : 0;
    const F onMask = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(on)));
    const bool allOn = running[0] && running[1] && running[2];
    runSteps(s, left, right, frames, allOn, set1(equaliserOn), onMask);
    keepFrameLanes(s, bands, running, 0, 2, laneOf);
}

EQ_LANE_FN void runBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right,
                              int frames, bool skipFlat, bool chained) {
    runBlocks(bands, columns, Channels{left, right}, frames, skipFlat, chained);
}

#undef EQ_LANE_FN

}  // namespace

void runEqFramesWide(EqBandState* bands, const bool* running, float* left, float* right, int frames,
                     float equaliserOn) {
    runFramesWide(bands, running, left, right, frames, equaliserOn);
}

void runEqBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right, int frames,
                     bool skipFlat, bool chained) {
    runBlocksWide(bands, columns, left, right, frames, skipFlat, chained);
}

#endif
