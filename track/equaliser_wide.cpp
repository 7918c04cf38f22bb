// The equaliser's two-channel pass: both channels' three bands in the eight
// lanes of one AVX2 register, lanes 2k and 2k + 1 holding band k of the left
// and the right channel (lanes 6 and 7 idle). As in the four-lane pass the
// bands run as a pipeline: at step t band 0 takes frame t and band k what
// band k - 1 gave at step t - 1, so that band 2 gives frame t - 2. Every lane
// does its band's per-frame arithmetic in the four-lane pass's order, which
// keeps the output the same to the bit. Built for x86_64 only; process()
// comes here only where the processor has AVX2.
#include "track/equaliser.h"

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
// and a band that is off passes its input on. kWetHeld: every wet mix has
// settled (its step leaves it where it is), so it is not stepped and dry is
// 1 - wet; otherwise dry is worked out here.
template <bool kAllMove, bool kWetHeld>
TALVEX_AVX2 inline __m256 stepWide(WideLanes& s, __m256 in, __m256 target, __m256 dry, __m256 on, __m256 active) {
    __m256 wet = s.wet;
    if constexpr (!kWetHeld) {
        wet = _mm256_add_ps(wet, _mm256_mul_ps(_mm256_sub_ps(target, wet), _mm256_set1_ps(TrackEqualiser::kWetSmoothing)));
        dry = _mm256_sub_ps(_mm256_set1_ps(1.0f), wet);
    }
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
template <bool kAllMove, bool kWetHeld>
TALVEX_AVX2 void innerSteps(WideLanes& s, float* left, float* right, int from, int to, __m256 target, __m256 dry,
                            __m256 on) {
    for (int t = from; t < to; ++t) {
        const __m256 in = stepInput(s.last, left, right, t, true);
        emit(stepWide<kAllMove, kWetHeld>(s, in, target, dry, on, on), left, right, t - 2);
    }
}

// Steps where a band lies outside the block (the first two and the last
// two), lanes masked.
template <bool kWetHeld>
TALVEX_AVX2 void edgeStep(WideLanes& s, float* left, float* right, int t, int frames, __m256 target, __m256 dry,
                          __m256 on) {
    alignas(32) int32_t active[8] = {};
    for (int k = 0; k < kBands; ++k)
        if (t - k >= 0 && t - k < frames) active[2 * k] = active[2 * k + 1] = -1;
    const __m256 in = stepInput(s.last, left, right, t, t < frames);
    const __m256 out = stepWide<false, kWetHeld>(s, in, target, dry, on,
                                                 _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(active))));
    if (t >= kBands - 1) emit(out, left, right, t - (kBands - 1));
}

template <bool kWetHeld>
TALVEX_AVX2 void runSteps(WideLanes& s, float* left, float* right, int frames, bool allOn, __m256 target, __m256 dry,
                          __m256 on) {
    const int steps = frames + kBands - 1;
    const int innerFrom = kBands - 1;
    const int innerTo = frames > innerFrom ? frames : innerFrom;
    for (int t = 0; t < innerFrom; ++t) edgeStep<kWetHeld>(s, left, right, t, frames, target, dry, on);
    if (allOn)
        innerSteps<true, kWetHeld>(s, left, right, innerFrom, innerTo, target, dry, on);
    else
        innerSteps<false, kWetHeld>(s, left, right, innerFrom, innerTo, target, dry, on);
    for (int t = innerTo; t < steps; ++t) edgeStep<kWetHeld>(s, left, right, t, frames, target, dry, on);
}

TALVEX_AVX2 void processBandsWide(EqBandState* bands, const bool* running, float* left, float* right, int frames,
                                  float equaliserOn) {
    alignas(32) float v[10][8] = {};
    alignas(32) int32_t on[8] = {};
    bool held = true;
    for (int k = 0; k < kBands; ++k) {
        const EqBandState& b = bands[k];
        for (int ch = 0; ch < 2; ++ch) {
            const int lane = 2 * k + ch;
            v[0][lane] = b.b0, v[1][lane] = b.b1, v[2][lane] = b.b2, v[3][lane] = b.a1, v[4][lane] = b.a2;
            v[5][lane] = b.x1[ch], v[6][lane] = b.x2[ch], v[7][lane] = b.y1[ch], v[8][lane] = b.y2[ch];
            v[9][lane] = b.wet[ch];
            if (!running[k]) continue;
            on[lane] = -1;
            const float wet = b.wet[ch];
            if (wet + (equaliserOn - wet) * TrackEqualiser::kWetSmoothing != wet) held = false;
        }
    }
    WideLanes s{_mm256_load_ps(v[0]), _mm256_load_ps(v[1]), _mm256_load_ps(v[2]), _mm256_load_ps(v[3]),
                _mm256_load_ps(v[4]), _mm256_load_ps(v[5]), _mm256_load_ps(v[6]), _mm256_load_ps(v[7]),
                _mm256_load_ps(v[8]), _mm256_load_ps(v[9]), _mm256_setzero_ps()};
    const __m256 onMask = _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(on)));
    const __m256 target = _mm256_set1_ps(equaliserOn);
    const bool allOn = running[0] && running[1] && running[2];
    if (held)
        runSteps<true>(s, left, right, frames, allOn, target, _mm256_sub_ps(_mm256_set1_ps(1.0f), s.wet), onMask);
    else
        runSteps<false>(s, left, right, frames, allOn, target, _mm256_setzero_ps(), onMask);
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

}  // namespace

void TrackEqualiser::processWide(float* left, float* right, int frames, float equaliserOn, const bool* running) {
    processBandsWide(bands_, running, left, right, frames, equaliserOn);
}

#else

void TrackEqualiser::processWide(float*, float*, int, float, const bool*) {}

#endif
