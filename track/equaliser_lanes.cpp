// The equaliser's passes in four SSE2 lanes, the baseline of every build.
#include "track/equaliser_lanes.h"

#include <emmintrin.h>

#include <bit>
#include <cstdint>

namespace {

#define EQ_LANE_FN
using F = __m128;

inline F set1(float x) { return _mm_set1_ps(x); }
inline F zero() { return _mm_setzero_ps(); }
inline F add(F a, F b) { return _mm_add_ps(a, b); }
inline F sub(F a, F b) { return _mm_sub_ps(a, b); }
inline F mul(F a, F b) { return _mm_mul_ps(a, b); }
inline F fand(F a, F b) { return _mm_and_ps(a, b); }
inline F cmpeq(F a, F b) { return _mm_cmpeq_ps(a, b); }
inline F cmple(F a, F b) { return _mm_cmple_ps(a, b); }
inline F select(F mask, F a, F b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline F magnitude(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline bool allTrue(F mask) { return _mm_movemask_ps(mask) == 0xf; }
template <int kLane>
inline F broadcast(F v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(kLane, kLane, kLane, kLane)); }
inline F loadColumn(const float* c) { return _mm_loadu_ps(c); }

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
    alignas(16) float v[10][4] = {};
    alignas(16) float on[4] = {};
    for (int k = 0; k < kBands; ++k) {
        const EqBandState& b = bands[k];
        v[0][k] = b.b0, v[1][k] = b.b1, v[2][k] = b.b2, v[3][k] = b.a1, v[4][k] = b.a2;
        v[5][k] = b.x1[ch], v[6][k] = b.x2[ch], v[7][k] = b.y1[ch], v[8][k] = b.y2[ch];
        v[9][k] = b.wet[ch];
        on[k] = running[k] ? std::bit_cast<float>(0xffffffffu) : 0.0f;
    }
    FrameLanes s{_mm_load_ps(v[0]), _mm_load_ps(v[1]), _mm_load_ps(v[2]), _mm_load_ps(v[3]), _mm_load_ps(v[4]),
                 _mm_load_ps(v[5]), _mm_load_ps(v[6]), _mm_load_ps(v[7]), _mm_load_ps(v[8]), _mm_load_ps(v[9]),
                 zero()};
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
    _mm_store_ps(v[5], s.x1);
    _mm_store_ps(v[6], s.x2);
    _mm_store_ps(v[7], s.y1);
    _mm_store_ps(v[8], s.y2);
    _mm_store_ps(v[9], s.wet);
    for (int k = 0; k < kBands; ++k) {
        if (!running[k]) continue;
        EqBandState& b = bands[k];
        b.x1[ch] = v[5][k], b.x2[ch] = v[6][k], b.y1[ch] = v[7][k], b.y2[ch] = v[8][k];
        b.wet[ch] = v[9][k];
    }
}

void runEqBlocks(EqBandState* bands, const EqBlockColumns* columns, float* io, int ch, int frames, bool skipFlat) {
    runBlocks(bands, columns, Channels{io, ch}, frames, skipFlat);
}
