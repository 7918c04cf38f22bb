#include "host/master_mix.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "common/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Asked once, before any block runs.
const bool kWideLanes = cpuHasAvx2();

constexpr int kChunk = 256;

// A glide step that leaves a gain where it is leaves it there for good.
bool settled(float gain, float target) { return gain + (target - gain) * kMasterSmoothing == gain; }

float glide(float gain, float target, int n) {
    for (int i = 0; i < n; ++i) gain += (target - gain) * kMasterSmoothing;
    return gain;
}

// The limit of four samples: x where |x| <= limit (a NaN fails that), the
// limit with x's sign where x is finite, else 0.
inline __m128 limitFour(__m128 x) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 limit = _mm_set1_ps(kMasterOutputLimit);
    const __m128 magnitude = _mm_and_ps(x, magnitudeMask);
    const __m128 within = _mm_cmple_ps(magnitude, limit);
    const __m128 finite = _mm_cmplt_ps(magnitude, _mm_set1_ps(INFINITY));
    const __m128 clipped = _mm_and_ps(finite, _mm_or_ps(limit, _mm_andnot_ps(magnitudeMask, x)));
    return _mm_or_ps(_mm_and_ps(within, x), _mm_andnot_ps(within, clipped));
}

float limitOne(float x) {
    if (std::fabs(x) <= kMasterOutputLimit) return x;
    if (!std::isfinite(x)) return 0.0f;
    return x > 0.0f ? kMasterOutputLimit : -kMasterOutputLimit;
}

// Both meters over four frames, the left in lane 0 and the right in lane 1
// of m: frame by frame m = max(m, p) · d, to the bit. For d > 0,
// max(x, y) · d == max(x · d, y · d) exactly, as rounding keeps order; so
// four frames fold into max(m · d · d · d · d, c), where c is the same
// recursion over the four magnitudes started from 0. Only the four
// multiplications stay on the serial path; c overlaps them. The magnitudes
// are never NaN (the limit made them finite), so the lanes' maximum is the
// frame loop's.
inline __m128 meterFour(__m128 m, __m128 magnitudeLeft, __m128 magnitudeRight) {
    const __m128 d = _mm_set1_ps(kMasterMeterDecay);
    const __m128 p01 = _mm_unpacklo_ps(magnitudeLeft, magnitudeRight);  // l0 r0 l1 r1
    const __m128 p23 = _mm_unpackhi_ps(magnitudeLeft, magnitudeRight);  // l2 r2 l3 r3
    __m128 c = _mm_mul_ps(p01, d);
    c = _mm_mul_ps(_mm_max_ps(c, _mm_movehl_ps(p01, p01)), d);
    c = _mm_mul_ps(_mm_max_ps(c, p23), d);
    c = _mm_mul_ps(_mm_max_ps(c, _mm_movehl_ps(p23, p23)), d);
    return _mm_max_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(m, d), d), d), d), c);
}

// out = limit(gain · in) for one chunk of both channels, and the meters
// moved on over it. Both inputs of a frame are read before its outputs are
// written, as the frame-by-frame loop did.
template <bool kPerFrame>
void limitPass(const float* const in[2], float* const out[2], const float* gains, float gain, float& meterLeft,
               float& meterRight, int n) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 meters = _mm_setr_ps(meterLeft, meterRight, 0.0f, 0.0f);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 g;
        if constexpr (kPerFrame)
            g = _mm_load_ps(gains + i);
        else
            g = _mm_set1_ps(gain);
        const __m128 l = limitFour(_mm_mul_ps(g, _mm_loadu_ps(in[0] + i)));
        const __m128 r = limitFour(_mm_mul_ps(g, _mm_loadu_ps(in[1] + i)));
        _mm_storeu_ps(out[0] + i, l);
        _mm_storeu_ps(out[1] + i, r);
        meters = meterFour(meters, _mm_and_ps(l, magnitudeMask), _mm_and_ps(r, magnitudeMask));
    }
    float ml = _mm_cvtss_f32(meters);
    float mr = _mm_cvtss_f32(_mm_shuffle_ps(meters, meters, _MM_SHUFFLE(1, 1, 1, 1)));
    for (; i < n; ++i) {
        float g = gain;
        if constexpr (kPerFrame) g = gains[i];
        const float l = limitOne(g * in[0][i]);
        const float r = limitOne(g * in[1][i]);
        out[0][i] = l;
        out[1][i] = r;
        ml = std::max(ml, std::fabs(l)) * kMasterMeterDecay;
        mr = std::max(mr, std::fabs(r)) * kMasterMeterDecay;
    }
    meterLeft = ml;
    meterRight = mr;
}

#if defined(__x86_64__)
// The eight-frame groups of addSendBus() in AVX2, the same operations in each
// lane; returns the frames done and leaves the groups' peak in peak4.
__attribute__((target("avx2"))) int addSendBusWide(float* const out[2], float* const extra[2],
                                                   const float* const bus[2], int frames, __m128& peak4) {
    const __m256 magnitudeMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    __m256 peak8 = _mm256_setzero_ps();
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m256 l = _mm256_loadu_ps(bus[0] + i);
        const __m256 r = _mm256_loadu_ps(bus[1] + i);
        _mm256_storeu_ps(out[0] + i, _mm256_add_ps(_mm256_loadu_ps(out[0] + i), l));
        _mm256_storeu_ps(out[1] + i, _mm256_add_ps(_mm256_loadu_ps(out[1] + i), r));
        if (extra != nullptr) {
            _mm256_storeu_ps(extra[0] + i, _mm256_add_ps(_mm256_loadu_ps(extra[0] + i), l));
            _mm256_storeu_ps(extra[1] + i, _mm256_add_ps(_mm256_loadu_ps(extra[1] + i), r));
        }
        const __m256 framePeak = _mm256_max_ps(_mm256_and_ps(r, magnitudeMask), _mm256_and_ps(l, magnitudeMask));
        peak8 = _mm256_max_ps(framePeak, peak8);
    }
    peak4 = _mm_max_ps(_mm256_castps256_ps128(peak8), _mm256_extractf128_ps(peak8, 1));
    return i;
}
#endif

}  // namespace

float addSendBus(float* const out[2], float* const extra[2], const float* const bus[2], int frames) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    // max_ps(a, b) is a > b ? a : b; the frame's peak is max_ps(|r|, |l|)
    // (NaN in l gives l, which the running peak then passes over as
    // max_ps(peak candidate, peak) keeps the peak). Eight frames at a time
    // where the processor has AVX2, then four, then one: the same frames
    // take the one-frame arithmetic at either width.
    __m128 peak4 = _mm_setzero_ps();
    float peak = 0.0f;
    int i = 0;
#if defined(__x86_64__)
    if (kWideLanes) i = addSendBusWide(out, extra, bus, frames, peak4);
#endif
    for (; i + 4 <= frames; i += 4) {
        const __m128 l = _mm_loadu_ps(bus[0] + i);
        const __m128 r = _mm_loadu_ps(bus[1] + i);
        _mm_storeu_ps(out[0] + i, _mm_add_ps(_mm_loadu_ps(out[0] + i), l));
        _mm_storeu_ps(out[1] + i, _mm_add_ps(_mm_loadu_ps(out[1] + i), r));
        if (extra != nullptr) {
            _mm_storeu_ps(extra[0] + i, _mm_add_ps(_mm_loadu_ps(extra[0] + i), l));
            _mm_storeu_ps(extra[1] + i, _mm_add_ps(_mm_loadu_ps(extra[1] + i), r));
        }
        const __m128 framePeak = _mm_max_ps(_mm_and_ps(r, magnitudeMask), _mm_and_ps(l, magnitudeMask));
        peak4 = _mm_max_ps(framePeak, peak4);
    }
    for (; i < frames; ++i) {
        out[0][i] += bus[0][i];
        out[1][i] += bus[1][i];
        if (extra != nullptr) {
            extra[0][i] += bus[0][i];
            extra[1][i] += bus[1][i];
        }
        peak = std::max(peak, std::max(std::fabs(bus[0][i]), std::fabs(bus[1][i])));
    }
    // The lanes hold no NaN: the largest is the same whatever the order.
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, peak4);
    return std::max({peak, lanes[0], lanes[1], lanes[2], lanes[3]});
}

void mixMaster(const float* const in[2], float* const out[2], int frames, const MasterMixTargets& targets,
               MasterMixState& state) {
    // The crossfade gains are the tracks' (they take them at the start of
    // the next block); here they only glide on.
    if (!settled(state.crossfadeA, targets.crossfadeA))
        state.crossfadeA = glide(state.crossfadeA, targets.crossfadeA, frames);
    if (!settled(state.crossfadeB, targets.crossfadeB))
        state.crossfadeB = glide(state.crossfadeB, targets.crossfadeB, frames);

    alignas(16) float gains[kChunk];
    for (int start = 0; start < frames; start += kChunk) {
        const int n = std::min(kChunk, frames - start);
        const bool perFrame = !settled(state.gain, targets.gain);
        if (perFrame) {
            float g = state.gain;
            for (int i = 0; i < n; ++i) {
                g += (targets.gain - g) * kMasterSmoothing;
                gains[i] = g;
            }
            state.gain = g;
        }
        const float* const chunkIn[2] = {in[0] + start, in[1] + start};
        float* const chunkOut[2] = {out[0] + start, out[1] + start};
        if (perFrame)
            limitPass<true>(chunkIn, chunkOut, gains, 0.0f, state.meterLeft, state.meterRight, n);
        else
            limitPass<false>(chunkIn, chunkOut, gains, state.gain, state.meterLeft, state.meterRight, n);
    }
}
