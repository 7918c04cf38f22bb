// The room's two channels at once in the eight lanes of AVX2 registers: the
// low four lanes do what the four-lane pass does for the left channel, the
// high four what it does for the right (one comb's or all-pass's four frames
// as a row, or one frame of four combs as a column), each lane in the same
// order of arithmetic, so the output is the same to the bit. Both channels in
// one pass halve the shuffles of the comb transposes; the damping low-passes
// of both channels and the low cut recur side by side instead of one after
// another; and the queued runs of a block go through together, so the lines'
// state is taken up and put back once a flush rather than once a run. Built
// for x86_64 only; flush() comes here only where the processor has AVX2.
#include "effects/reverb_engine.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>

#include "effects/dsp/signal_floor.h"

#define TALVEX_AVX2 __attribute__((target("avx2")))

using namespace reverb_tuning;

namespace {

constexpr int kLines = kCombCount + kAllpassCount;

// Both channels' lines over a flush: line k of the left channel (combs,
// then all-passes) in slot k, of the right channel in slot kLines + k. The
// flush's frame n takes slot start[k] + n, running on past the line's end
// (end[k] frames on) into its guard slots, which hold a copy of the line's
// first slots for the flush and hand them back after it. A flush is shorter
// than every line, so the slots it takes past the end are not among those it
// takes before.
struct LineSet {
    float* base[2 * kLines];
    float* start[2 * kLines];
    int end[2 * kLines];
    int length[2 * kLines];
};

struct Gains {
    __m256 k1, k2, feedback;
};

// The queued frames' inputs, settings and outputs.
struct Frames {
    const float *xL, *xR, *uL, *uR;
    const float *lowCutInput, *lowCutFeedback, *early, *dry, *wet, *level;
    float *outL, *outR;
};

// Line k of both channels, four slots each from at[k] + o on:
// [left's four slots | right's four slots].
TALVEX_AVX2 inline __m256 pairRow(float* const* at, int k, int o) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(at[k] + o)), _mm_loadu_ps(at[kLines + k] + o), 1);
}

TALVEX_AVX2 inline void putPairRow(float* const* at, int k, int o, __m256 row) {
    _mm_storeu_ps(at[k] + o, _mm256_castps256_ps128(row));
    _mm_storeu_ps(at[kLines + k] + o, _mm256_extractf128_ps(row, 1));
}

TALVEX_AVX2 inline __m256 pairLoad(const float* left, const float* right) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(left)), _mm_loadu_ps(right), 1);
}

TALVEX_AVX2 inline void pairStore(float* left, float* right, __m256 v) {
    _mm_storeu_ps(left, _mm256_castps256_ps128(v));
    _mm_storeu_ps(right, _mm256_extractf128_ps(v, 1));
}

// Four frames' settings in both halves.
TALVEX_AVX2 inline __m256 framesOf(const float* settings) {
    return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(settings));
}

// Rows to columns (and back) within each half.
TALVEX_AVX2 inline void transposeHalves(__m256& r0, __m256& r1, __m256& r2, __m256& r3) {
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t2 = _mm256_unpackhi_ps(r0, r1), t3 = _mm256_unpackhi_ps(r2, r3);
    r0 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
    r1 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
    r2 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
    r3 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
}

// Four frames (n .. n + 3 of the queue) of both channels: low cut, combs,
// all-passes and mix, in the four-lane pass's order, each frame with its own
// settings. store holds the comb damping states ([left combs g .. g + 3 |
// right combs g .. g + 3] for g = 0, 4), lowCut the low cut's state (four
// copies per channel).
TALVEX_AVX2 __attribute__((always_inline)) inline void runFourWide(float* const* at, int n, const Frames& q, const Gains& c, __m256* store,
                                    __m256& lowCut) {
    // The low cut, frame after frame, every lane of a channel alike: h[t]
    // holds frame t's comb input in all four lanes of its channel.
    const __m256 u = pairLoad(q.uL + n, q.uR + n);
    __m256 h[4] = {_mm256_permute_ps(u, _MM_SHUFFLE(0, 0, 0, 0)), _mm256_permute_ps(u, _MM_SHUFFLE(1, 1, 1, 1)),
                   _mm256_permute_ps(u, _MM_SHUFFLE(2, 2, 2, 2)), _mm256_permute_ps(u, _MM_SHUFFLE(3, 3, 3, 3))};
    __m256 z = lowCut;
#pragma GCC unroll 4
    for (int t = 0; t < 4; ++t) {
        z = _mm256_add_ps(_mm256_mul_ps(_mm256_broadcast_ss(q.lowCutInput + n + t), h[t]),
                          _mm256_mul_ps(_mm256_broadcast_ss(q.lowCutFeedback + n + t), z));
        h[t] = _mm256_sub_ps(h[t], z);
    }
    lowCut = z;

    __m256 sum = _mm256_set1_ps(fxdsp::kAntiDenormalOffset);
    for (int g = 0; g < kCombCount; g += 4) {
        __m256 r0 = pairRow(at, g, n), r1 = pairRow(at, g + 1, n);
        __m256 r2 = pairRow(at, g + 2, n), r3 = pairRow(at, g + 3, n);
        sum = _mm256_add_ps(sum, r0);
        sum = _mm256_add_ps(sum, r1);
        sum = _mm256_add_ps(sum, r2);
        sum = _mm256_add_ps(sum, r3);
        transposeHalves(r0, r1, r2, r3);
        __m256 column[4] = {r0, r1, r2, r3};
        __m256 damped = store[g / 4];
#pragma GCC unroll 4
        for (int t = 0; t < 4; ++t) {
            damped = _mm256_add_ps(_mm256_mul_ps(column[t], c.k1), _mm256_mul_ps(damped, c.k2));
            column[t] = _mm256_add_ps(h[t], _mm256_mul_ps(damped, c.feedback));
        }
        store[g / 4] = damped;
        transposeHalves(column[0], column[1], column[2], column[3]);
        for (int k = 0; k < 4; ++k) putPairRow(at, g + k, n, column[k]);
    }

    const __m256 half = _mm256_set1_ps(kAllpassFeedback);
    __m256 a = sum;
    for (int p = 0; p < kAllpassCount; ++p) {
        const __m256 v = pairRow(at, kCombCount + p, n);
        putPairRow(at, kCombCount + p, n, _mm256_add_ps(a, _mm256_mul_ps(half, v)));
        a = _mm256_sub_ps(v, a);
    }

    // The mix, one frame a lane: each frame's gains in both halves.
    const __m256 t = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(kDiffusedGain), a), _mm256_mul_ps(framesOf(q.early + n), sum));
    const __m256 x = pairLoad(q.xL + n, q.xR + n);
    pairStore(q.outL + n, q.outR + n,
              _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(x, framesOf(q.dry + n)), _mm256_mul_ps(t, framesOf(q.wet + n))),
                            framesOf(q.level + n)));
}

}  // namespace

TALVEX_AVX2 void ReverbEngine::runQueueWide(Channel& left, Channel& right, Queue& q, float k1, float k2) {
    const int count = q.frames;
    const float feedback = q.feedback;
    LineSet s;
    Channel* channels[2] = {&left, &right};
    for (int ch = 0; ch < 2; ++ch) {
        Channel& line = *channels[ch];
        for (int k = 0; k < kCombCount; ++k) {
            const int slot = ch * kLines + k;
            s.base[slot] = line.comb[k];
            s.start[slot] = line.comb[k] + line.combIndex[k];
            s.end[slot] = line.combLength[k] - line.combIndex[k];
            s.length[slot] = line.combLength[k];
        }
        for (int k = 0; k < kAllpassCount; ++k) {
            const int slot = ch * kLines + kCombCount + k;
            s.base[slot] = line.allpass[k];
            s.start[slot] = line.allpass[k] + line.allpassIndex[k];
            s.end[slot] = line.allpassLength[k] - line.allpassIndex[k];
            s.length[slot] = line.allpassLength[k];
        }
    }
    const Gains c{_mm256_set1_ps(k1), _mm256_set1_ps(k2), _mm256_set1_ps(feedback)};
    const Frames frames{q.xL,    q.xR,  q.uL,  q.uR,    q.lowCutInput, q.lowCutFeedback,
                        q.early, q.dry, q.wet, q.level, q.outL,        q.outR};
    __m256 store[2] = {pairLoad(left.combStore, right.combStore), pairLoad(left.combStore + 4, right.combStore + 4)};
    __m256 z = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(left.lowCutState)),
                                    _mm_set1_ps(right.lowCutState), 1);

    // Every line runs straight through the flush: the first slots of a line
    // that ends inside it go out to its guard slots and come back after.
    for (int k = 0; k < 2 * kLines; ++k)
        if (s.end[k] < count) std::copy_n(s.base[k], count - s.end[k], s.base[k] + s.length[k]);
    int n = 0;
    for (; count - n >= 4; n += 4) runFourWide(s.start, n, frames, c, store, z);
    for (int k = 0; k < 2 * kLines; ++k)
        if (s.end[k] < count) std::copy_n(s.base[k] + s.length[k], count - s.end[k], s.base[k]);
    const int wide = n;

    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, store[0]);
    std::copy_n(lanes, 4, left.combStore);
    std::copy_n(lanes + 4, 4, right.combStore);
    _mm256_store_ps(lanes, store[1]);
    std::copy_n(lanes, 4, left.combStore + 4);
    std::copy_n(lanes + 4, 4, right.combStore + 4);
    _mm256_store_ps(lanes, z);
    left.lowCutState = lanes[0];
    right.lowCutState = lanes[4];
    for (Channel* line : channels) {
        int room = line->combLength[0];
        for (int cb = 0; cb < kCombCount; ++cb) {
            const int index = line->combIndex[cb] + wide, length = line->combLength[cb];
            line->combIndex[cb] = index >= length ? index - length : index;
            room = std::min(room, length - line->combIndex[cb]);
        }
        for (int p = 0; p < kAllpassCount; ++p) {
            const int index = line->allpassIndex[p] + wide, length = line->allpassLength[p];
            line->allpassIndex[p] = index >= length ? index - length : index;
            room = std::min(room, length - line->allpassIndex[p]);
        }
        // Exact here; the frames below take it down by one each, which may
        // leave it short, never over.
        line->room = room - (count - n);
    }

    // The last frames one at a time, as the four-lane pass ends a run.
    for (; n < count; ++n) {
        const fxdsp::OnePoleCoefficients lowCut{q.lowCutInput[n], q.lowCutFeedback[n]};
        const float hL = fxdsp::onePoleHighpassStep(left.lowCutState, q.uL[n], lowCut);
        const float hR = fxdsp::onePoleHighpassStep(right.lowCutState, q.uR[n], lowCut);
        float sumL, sumR, diffL, diffR;
        left.run(hL, feedback, k1, k2, sumL, diffL);
        right.run(hR, feedback, k1, k2, sumR, diffR);
        const float tL = kDiffusedGain * diffL - q.early[n] * sumL;
        const float tR = kDiffusedGain * diffR - q.early[n] * sumR;
        q.outL[n] = (q.xL[n] * q.dry[n] + tL * q.wet[n]) * q.level[n];
        q.outR[n] = (q.xR[n] * q.dry[n] + tR * q.wet[n]) * q.level[n];
    }
}

#else

void ReverbEngine::runQueueWide(Channel&, Channel&, Queue&, float, float) {}

#endif
