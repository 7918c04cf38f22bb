// The equaliser's passes in four SSE2 lanes, the baseline of every build.
#include "track/equaliser_lanes.h"

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "common/float_lanes.h"

namespace {

#define EQ_LANE_FN
using F = __m128;
constexpr int kWidth = 4;

using namespace float_lanes::sse2;
inline F magnitude(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
// mask ? a : b in each lane.
inline F pick(F mask, F a, F b) { return select(mask, a, b); }
inline bool allTrue(F mask) { return _mm_movemask_ps(mask) == 0xf; }
template <int kLane>
inline F broadcast(F v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(kLane, kLane, kLane, kLane)); }
inline F loadColumn(const float* c) { return _mm_loadu_ps(c); }
inline void storeLanes(float* to, F v) { _mm_storeu_ps(to, v); }

// One channel of a block, four frames to a vector.
struct Channels {
    float* io;
    int ch;
};
inline F loadFour(const Channels& c, int n) { return _mm_loadu_ps(c.io + n); }
inline void storeFour(const Channels& c, int n, F v) { _mm_storeu_ps(c.io + n, v); }
// The last count (< 4) frames, the lanes after them 0.
inline F loadTail(const Channels& c, int n, int count) {
    float part[4] = {};
    for (int i = 0; i < count; ++i) part[i] = c.io[n + i];
    return _mm_loadu_ps(part);
}
inline void storeTail(const Channels& c, int n, int count, F v) {
    float part[4];
    _mm_storeu_ps(part, v);
    for (int i = 0; i < count; ++i) c.io[n + i] = part[i];
}
// A band's value for this channel in every lane, and back.
inline F stateLanes(const Channels& c, const float (&v)[2]) { return _mm_set1_ps(v[c.ch]); }
inline void keepState(const Channels& c, F lanes, float (&v)[2]) { v[c.ch] = _mm_cvtss_f32(lanes); }

#include "track/equaliser_kernel.inc"
#undef EQ_LANE_FN

}  // namespace

// The three bands of one channel in lanes 0-2 (lane 3 idle), run as a
// pipeline: at step t band 0 takes frame t and bands 1 and 2 take what bands 0
// and 1 gave at step t - 1, so that band 2 gives frame t - 2 and one step of
// the lanes advances all three bands. Each lane does a band's per-frame
// arithmetic in its order, so the output is bit for bit that of running the
// bands one after another over the block.
void runEqFrames(EqBandState* bands, const bool* running, float* io, int ch, int frames, float equaliserOn) {
    const auto laneOf = [](int k, int) { return k; };
    FrameLanes s = frameLanes(bands, ch, ch + 1, laneOf);
    alignas(16) float on[4] = {};
    for (int k = 0; k < kBands; ++k) on[k] = running[k] ? std::bit_cast<float>(0xffffffffu) : 0.0f;
    const F onMask = _mm_load_ps(on);
    const F target = set1(equaliserOn);
    // Step t: band j works on frame t - j where that lies in the block.
    const auto input = [&](int t) {
        const F shifted = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(s.last), 4));
        return t < frames ? _mm_move_ss(shifted, _mm_load_ss(io + t)) : shifted;
    };
    const auto activeAt = [&](int t) {
        alignas(16) float m[4] = {};
        for (int j = 0; j < kBands; ++j) m[j] = t - j >= 0 && t - j < frames ? std::bit_cast<float>(0xffffffffu) : 0.0f;
        return _mm_load_ps(m);
    };
    const auto emit = [&](int t, F out) {
        if (t - 2 >= 0 && t - 2 < frames) _mm_store_ss(io + t - 2, broadcast<2>(out));
    };
    const int steps = frames + kBands - 1;
    // Steps 2 .. frames - 1 have every band inside the block.
    const bool allOn = running[0] && running[1] && running[2];
    for (int t = 0; t < steps; ++t) {
        const bool edge = t < kBands - 1 || t >= frames;
        const F in = input(t);
        if (edge) {
            emit(t, stepFrame<false>(s, in, target, onMask, activeAt(t)));
        } else if (allOn) {
            // Lanes 0 .. 2 hold frames t, t - 1 and t - 2; lane 3 is idle.
            _mm_store_ss(io + t - 2, broadcast<2>(stepFrame<true>(s, in, target, onMask, onMask)));
        } else {
            emit(t, stepFrame<false>(s, in, target, onMask, onMask));
        }
    }
    keepFrameLanes(s, bands, running, ch, ch + 1, laneOf);
}

void runEqBlocks(EqBandState* bands, const EqBlockColumns* columns, float* io, int ch, int frames, bool skipFlat,
                 bool chained) {
    runBlocks(bands, columns, Channels{io, ch}, frames, skipFlat, chained);
}
