// The equaliser's two-channel pass: both channels' three bands in the eight
// lanes of one AVX2 register, lanes 2k and 2k + 1 holding band k of the left
// and the right channel (lanes 6 and 7 idle). As in the four-lane pass the
// bands run as a pipeline: at step t band 0 takes frame t and band k what
// band k - 1 gave at step t - 1, so that band 2 gives frame t - 2. Every lane
// does its band's per-frame arithmetic in the four-lane pass's order, which
// keeps the output the same to the bit. Built for x86_64 only; process()
// comes here only where the processor has AVX2.
#include "track/equaliser.h"
#include "track/equaliser_blocks.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#define TALVEX_AVX2 __attribute__((target("avx2")))

namespace {

constexpr int kBands = TrackEqualiser::kBands;

struct WideLanes {
    __m256 b0, b1, b2, a1, a2;
    __m256 x1, x2, y1, y2, wet;
    __m256 last;  // the bands' outputs of the step before
};

// One step. kAllMove: every band on and inside the block, so every lane
// moves; otherwise the lanes in both masks move, the others keep their state,
// and a band that is off passes its input on.
template <bool kAllMove>
TALVEX_AVX2 inline __m256 stepWide(WideLanes& s, __m256 in, __m256 target, __m256 on, __m256 active) {
    const __m256 wet =
        _mm256_add_ps(s.wet, _mm256_mul_ps(_mm256_sub_ps(target, s.wet), _mm256_set1_ps(TrackEqualiser::kWetSmoothing)));
    const __m256 dry = _mm256_sub_ps(_mm256_set1_ps(1.0f), wet);
    const __m256 zero = _mm256_cmp_ps(in, _mm256_setzero_ps(), _CMP_EQ_OQ);
    const __m256 x = _mm256_blendv_ps(in, _mm256_set1_ps(TrackEqualiser::kZeroInput), zero);
    __m256 y = _mm256_add_ps(_mm256_mul_ps(s.b0, x), _mm256_mul_ps(s.b1, s.x1));
    y = _mm256_add_ps(y, _mm256_mul_ps(s.b2, s.x2));
    y = _mm256_sub_ps(y, _mm256_mul_ps(s.a1, s.y1));
    y = _mm256_sub_ps(y, _mm256_mul_ps(s.a2, s.y2));
    const __m256 magnitude = _mm256_and_ps(y, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    y = _mm256_andnot_ps(_mm256_cmp_ps(magnitude, _mm256_set1_ps(TrackEqualiser::kOutputFloor), _CMP_LE_OQ), y);
    const __m256 mixed = _mm256_add_ps(_mm256_mul_ps(x, dry), _mm256_mul_ps(y, wet));
    if constexpr (kAllMove) {
        s.wet = wet;
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = y;
        s.last = mixed;
        return mixed;
    }
    const __m256 out = _mm256_blendv_ps(in, mixed, on);
    const __m256 move = _mm256_and_ps(active, on);
    s.wet = _mm256_blendv_ps(s.wet, wet, move);
    s.x2 = _mm256_blendv_ps(s.x2, s.x1, move);
    s.x1 = _mm256_blendv_ps(s.x1, x, move);
    s.y2 = _mm256_blendv_ps(s.y2, s.y1, move);
    s.y1 = _mm256_blendv_ps(s.y1, y, move);
    s.last = out;
    return out;
}

// The step's input: each band takes what the band before gave, band 0 the
// frame (both channels), or nothing past the block's end.
TALVEX_AVX2 inline __m256 stepInput(__m256 last, const float* left, const float* right, int t, bool inBlock) {
    const __m256 shifted = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(last), _MM_SHUFFLE(2, 1, 0, 0)));
    if (!inBlock) return _mm256_blend_ps(shifted, _mm256_setzero_ps(), 0x03);
    const __m128 frame = _mm_unpacklo_ps(_mm_load_ss(left + t), _mm_load_ss(right + t));
    return _mm256_blend_ps(shifted, _mm256_castps128_ps256(frame), 0x03);
}

// Band 2's output (lanes 4 and 5) to frame `frame` of both channels.
TALVEX_AVX2 inline void emit(__m256 out, float* left, float* right, int frame) {
    const __m128 high = _mm256_extractf128_ps(out, 1);
    _mm_store_ss(left + frame, high);
    _mm_store_ss(right + frame, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Steps from .. to - 1, every band inside the block.
template <bool kAllMove>
TALVEX_AVX2 void innerSteps(WideLanes& s, float* left, float* right, int from, int to, __m256 target, __m256 on) {
    for (int t = from; t < to; ++t) {
        const __m256 in = stepInput(s.last, left, right, t, true);
        emit(stepWide<kAllMove>(s, in, target, on, on), left, right, t - 2);
    }
}

// Steps where a band lies outside the block (the first two and the last
// two), lanes masked.
TALVEX_AVX2 void edgeStep(WideLanes& s, float* left, float* right, int t, int frames, __m256 target, __m256 on) {
    alignas(32) int32_t active[8] = {};
    for (int k = 0; k < kBands; ++k)
        if (t - k >= 0 && t - k < frames) active[2 * k] = active[2 * k + 1] = -1;
    const __m256 in = stepInput(s.last, left, right, t, t < frames);
    const __m256 out = stepWide<false>(s, in, target, on,
                                                 _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(active))));
    if (t >= kBands - 1) emit(out, left, right, t - (kBands - 1));
}

TALVEX_AVX2 void runSteps(WideLanes& s, float* left, float* right, int frames, bool allOn, __m256 target, __m256 on) {
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

TALVEX_AVX2 void processBandsWide(EqBandState* bands, const bool* running, float* left, float* right, int frames,
                                  float equaliserOn) {
    alignas(32) float v[10][8] = {};
    alignas(32) int32_t on[8] = {};
    for (int k = 0; k < kBands; ++k) {
        const EqBandState& b = bands[k];
        for (int ch = 0; ch < 2; ++ch) {
            const int lane = 2 * k + ch;
            v[0][lane] = b.b0, v[1][lane] = b.b1, v[2][lane] = b.b2, v[3][lane] = b.a1, v[4][lane] = b.a2;
            v[5][lane] = b.x1[ch], v[6][lane] = b.x2[ch], v[7][lane] = b.y1[ch], v[8][lane] = b.y2[ch];
            v[9][lane] = b.wet[ch];
            if (!running[k]) continue;
            on[lane] = -1;
        }
    }
    WideLanes s{_mm256_load_ps(v[0]), _mm256_load_ps(v[1]), _mm256_load_ps(v[2]), _mm256_load_ps(v[3]),
                _mm256_load_ps(v[4]), _mm256_load_ps(v[5]), _mm256_load_ps(v[6]), _mm256_load_ps(v[7]),
                _mm256_load_ps(v[8]), _mm256_load_ps(v[9]), _mm256_setzero_ps()};
    const __m256 onMask = _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(on)));
    const __m256 target = _mm256_set1_ps(equaliserOn);
    const bool allOn = running[0] && running[1] && running[2];
    // Settled mixes go through the held pass (equaliser_blocks.h) instead.
    runSteps(s, left, right, frames, allOn, target, onMask);
    _mm256_store_ps(v[5], s.x1);
    _mm256_store_ps(v[6], s.x2);
    _mm256_store_ps(v[7], s.y1);
    _mm256_store_ps(v[8], s.y2);
    _mm256_store_ps(v[9], s.wet);
    for (int k = 0; k < kBands; ++k) {
        if (!running[k]) continue;
        EqBandState& b = bands[k];
        for (int ch = 0; ch < 2; ++ch) {
            const int lane = 2 * k + ch;
            b.x1[ch] = v[5][lane], b.x2[ch] = v[6][lane], b.y1[ch] = v[7][lane], b.y2[ch] = v[8][lane];
            b.wet[ch] = v[9][lane];
        }
    }
}


// The held pass (see equaliser_blocks.h) with the left channel in lanes 0-3
// and the right in lanes 4-7: every operation is the four-lane pass's, in its
// order, on each half.
struct Band8 {
    __m256 c[8];
    __m256 xm1, xm2, ym1, ym2;
    __m256 wet, dry;
};

template <int kLane>
TALVEX_AVX2 inline __m256 lane8(__m256 v) {
    return _mm256_permute_ps(v, _MM_SHUFFLE(kLane, kLane, kLane, kLane));
}

template <int kValid>
TALVEX_AVX2 inline __m256 bandEight(Band8& s, __m256 in) {
    const __m256 zero = _mm256_cmp_ps(in, _mm256_setzero_ps(), _CMP_EQ_OQ);
    const __m256 x = _mm256_blendv_ps(in, _mm256_set1_ps(TrackEqualiser::kZeroInput), zero);
    const __m256 now =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(s.c[0], lane8<0>(x)), _mm256_mul_ps(s.c[1], lane8<1>(x))),
                      _mm256_add_ps(_mm256_mul_ps(s.c[2], lane8<2>(x)), _mm256_mul_ps(s.c[3], lane8<3>(x))));
    const __m256 before = _mm256_add_ps(_mm256_mul_ps(s.c[4], s.xm1), _mm256_mul_ps(s.c[5], s.xm2));
    const __m256 fed = _mm256_add_ps(_mm256_mul_ps(s.c[6], s.ym1), _mm256_mul_ps(s.c[7], s.ym2));
    __m256 y = _mm256_add_ps(_mm256_add_ps(now, before), fed);
    const __m256 magnitude = _mm256_and_ps(y, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    y = _mm256_andnot_ps(_mm256_cmp_ps(magnitude, _mm256_set1_ps(TrackEqualiser::kOutputFloor), _CMP_LE_OQ), y);
    const __m256 out = _mm256_add_ps(_mm256_mul_ps(x, s.dry), _mm256_mul_ps(y, s.wet));
    if constexpr (kValid == 1) {
        s.xm2 = s.xm1, s.ym2 = s.ym1;
        s.xm1 = lane8<0>(x), s.ym1 = lane8<0>(y);
    } else {
        s.xm1 = lane8<kValid - 1>(x), s.ym1 = lane8<kValid - 1>(y);
        s.xm2 = lane8<kValid - 2>(x), s.ym2 = lane8<kValid - 2>(y);
    }
    return out;
}

template <int kValid>
TALVEX_AVX2 inline __m256 bandsEight(Band8* s, __m256 in) {
    for (int k = 0; k < kBands; ++k) in = bandEight<kValid>(s[k], in);
    return in;
}

TALVEX_AVX2 inline __m256 halves(float left, float right) {
    return _mm256_setr_ps(left, left, left, left, right, right, right, right);
}

TALVEX_AVX2 void runBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right,
                               int frames) {
    Band8 s[kBands];
    for (int k = 0; k < kBands; ++k) {
        const EqBandState& b = bands[k];
        for (int j = 0; j < 8; ++j) s[k].c[j] = _mm256_loadu_ps(columns[k].c[j]);
        s[k].xm1 = halves(b.x1[0], b.x1[1]), s[k].xm2 = halves(b.x2[0], b.x2[1]);
        s[k].ym1 = halves(b.y1[0], b.y1[1]), s[k].ym2 = halves(b.y2[0], b.y2[1]);
        s[k].wet = halves(b.wet[0], b.wet[1]), s[k].dry = halves(1.0f - b.wet[0], 1.0f - b.wet[1]);
    }
    int n = 0;
    for (; n + 4 <= frames; n += 4) {
        const __m256 in = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(left + n)), _mm_loadu_ps(right + n), 1);
        const __m256 out = bandsEight<4>(s, in);
        _mm_storeu_ps(left + n, _mm256_castps256_ps128(out));
        _mm_storeu_ps(right + n, _mm256_extractf128_ps(out, 1));
    }
    const int tail = frames - n;
    if (tail > 0) {
        alignas(32) float part[8] = {};
        for (int i = 0; i < tail; ++i) part[i] = left[n + i], part[4 + i] = right[n + i];
        __m256 v = _mm256_load_ps(part);
        v = tail == 1 ? bandsEight<1>(s, v) : tail == 2 ? bandsEight<2>(s, v) : bandsEight<3>(s, v);
        _mm256_store_ps(part, v);
        for (int i = 0; i < tail; ++i) left[n + i] = part[i], right[n + i] = part[4 + i];
    }
    for (int k = 0; k < kBands; ++k) {
        EqBandState& b = bands[k];
        alignas(32) float v[4][8];
        _mm256_store_ps(v[0], s[k].xm1);
        _mm256_store_ps(v[1], s[k].xm2);
        _mm256_store_ps(v[2], s[k].ym1);
        _mm256_store_ps(v[3], s[k].ym2);
        for (int ch = 0; ch < 2; ++ch)
            b.x1[ch] = v[0][4 * ch], b.x2[ch] = v[1][4 * ch], b.y1[ch] = v[2][4 * ch], b.y2[ch] = v[3][4 * ch];
    }
}

}  // namespace

void runEqBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right, int frames) {
    runBlocksWide(bands, columns, left, right, frames);
}

void TrackEqualiser::processWide(float* left, float* right, int frames, float equaliserOn, const bool* running) {
    processBandsWide(bands_, running, left, right, frames, equaliserOn);
}

#else

void runEqBlocksWide(EqBandState*, const EqBlockColumns*, float*, float*, int) {}
void TrackEqualiser::processWide(float*, float*, int, float, const bool*) {}

#endif
