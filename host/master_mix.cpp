#include "host/master_mix.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace {

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

// out = limit(gain · in) for one chunk of both channels, the magnitudes
// kept for the meters. Both inputs of a frame are read before its outputs
// are written, as the frame-by-frame loop did.
template <bool kPerFrame>
void limitPass(const float* const in[2], float* const out[2], const float* gains, float gain, float* magnitudeLeft,
               float* magnitudeRight, int n) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
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
        _mm_store_ps(magnitudeLeft + i, _mm_and_ps(l, magnitudeMask));
        _mm_store_ps(magnitudeRight + i, _mm_and_ps(r, magnitudeMask));
    }
    for (; i < n; ++i) {
        float g = gain;
        if constexpr (kPerFrame) g = gains[i];
        const float l = limitOne(g * in[0][i]);
        const float r = limitOne(g * in[1][i]);
        out[0][i] = l;
        out[1][i] = r;
        magnitudeLeft[i] = std::fabs(l);
        magnitudeRight[i] = std::fabs(r);
    }
}

// The meter over a chunk, m = max(m, p) · decay frame by frame, to the bit.
// For d > 0, max(x, y) · d == max(x · d, y · d) exactly, as rounding keeps
// order; so four frames fold into max(m · d · d · d · d, c), where c is the
// same recursion over the four magnitudes started from 0. Only the four
// multiplications stay on the serial path; the c's of later frames overlap
// them. The magnitudes are never NaN (the limit made them finite).
float meterPass(float m, const float* p, int n) {
    constexpr float d = kMasterMeterDecay;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        float c = p[i] * d;
        c = std::max(c, p[i + 1]) * d;
        c = std::max(c, p[i + 2]) * d;
        c = std::max(c, p[i + 3]) * d;
        m = std::max(m * d * d * d * d, c);
    }
    for (; i < n; ++i) m = std::max(m, p[i]) * d;
    return m;
}

}  // namespace

float addSendBus(float* const out[2], float* const extra[2], const float* const bus[2], int frames) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    // max_ps(a, b) is a > b ? a : b; the frame's peak is max_ps(|r|, |l|)
    // (NaN in l gives l, which the running peak then passes over as
    // max_ps(peak candidate, peak) keeps the peak).
    __m128 peak4 = _mm_setzero_ps();
    float peak = 0.0f;
    int i = 0;
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

    alignas(16) float gains[kChunk], magnitudesLeft[kChunk], magnitudesRight[kChunk];
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
            limitPass<true>(chunkIn, chunkOut, gains, 0.0f, magnitudesLeft, magnitudesRight, n);
        else
            limitPass<false>(chunkIn, chunkOut, gains, state.gain, magnitudesLeft, magnitudesRight, n);
        state.meterLeft = meterPass(state.meterLeft, magnitudesLeft, n);
        state.meterRight = meterPass(state.meterRight, magnitudesRight, n);
    }
}
