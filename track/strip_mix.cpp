#include "track/strip_mix.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

// The block goes through in chunks, pass by pass: the gliding gains into
// small arrays first (a gain that has settled is one value for the chunk),
// then the strip gains four frames at a time with the master and the peaks,
// the meter along the peaks, and each loaded send bus in a loop of its own.
// Every frame gets the arithmetic the frame-by-frame mix gives it, in the
// same order, so the result is the same to the bit.

namespace {

constexpr int kChunk = 256;

// A glide step that leaves a gain where it is leaves it there for good.
bool settled(float gain, float target, float smoothing) { return gain + (target - gain) * smoothing == gain; }

// The gain of every frame of a chunk: one value, or one per frame.
struct ChunkGain {
    const float* perFrame = nullptr;
    float value = 0.0f;
};

template <bool kPerFrame>
inline __m128 fourGains(const ChunkGain& g, int i) {
    if constexpr (kPerFrame)
        return _mm_load_ps(g.perFrame + i);
    else
        return _mm_set1_ps(g.value);
}

template <bool kPerFrame>
inline float gainAt(const ChunkGain& g, int i) {
    if constexpr (kPerFrame)
        return g.perFrame[i];
    else
        return g.value;
}

void glideStripGain(float& gain, float target, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        gain += (target - gain) * kStripSmoothing;
        out[i] = gain;
    }
}

void glideSendGain(float& gain, float target, bool drumFloor, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        gain += (target - gain) * kSendSmoothing;
        if (drumFloor && gain < kDrumSendFloor) gain = kDrumSendFloor;
        out[i] = gain;
    }
}

// The strip: l = in * gain per channel, kept for the sends and added to the
// master, and per frame the larger of |l| and |r| (a NaN counting as 0,
// which the meter ignores as it ignores a NaN) for the meter.
template <bool kPerFrame>
void stripPass(const StripMixBuffers& io, int start, int n, const ChunkGain& gainL, const ChunkGain& gainR, float* l,
               float* r, float* peak) {
    const float* inL = io.in[0] + start;
    const float* inR = io.in[1] + start;
    float* masterL = io.master[0] + start;
    float* masterR = io.master[1] + start;
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 zero = _mm_setzero_ps();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 lv = _mm_mul_ps(_mm_loadu_ps(inL + i), fourGains<kPerFrame>(gainL, i));
        const __m128 rv = _mm_mul_ps(_mm_loadu_ps(inR + i), fourGains<kPerFrame>(gainR, i));
        _mm_store_ps(l + i, lv);
        _mm_store_ps(r + i, rv);
        _mm_storeu_ps(masterL + i, _mm_add_ps(_mm_loadu_ps(masterL + i), lv));
        _mm_storeu_ps(masterR + i, _mm_add_ps(_mm_loadu_ps(masterR + i), rv));
        // max(a, b) gives a where a > b, else b: a NaN in a gives b.
        const __m128 ar = _mm_max_ps(_mm_and_ps(rv, magnitude), zero);
        _mm_store_ps(peak + i, _mm_max_ps(_mm_and_ps(lv, magnitude), ar));
    }
    for (; i < n; ++i) {
        const float lv = inL[i] * gainAt<kPerFrame>(gainL, i);
        const float rv = inR[i] * gainAt<kPerFrame>(gainR, i);
        l[i] = lv;
        r[i] = rv;
        masterL[i] += lv;
        masterR[i] += rv;
        const float al = std::fabs(lv), ar = std::fabs(rv);
        float p = 0.0f;
        if (al > p) p = al;
        if (ar > p) p = ar;
        peak[i] = p;
    }
}

// busL += gain * xL and busR += gain * xR, frame by frame.
template <bool kPerFrame>
void addScaledPair(float* busL, float* busR, const float* xL, const float* xR, const ChunkGain& gain, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 g = fourGains<kPerFrame>(gain, i);
        _mm_storeu_ps(busL + i, _mm_add_ps(_mm_loadu_ps(busL + i), _mm_mul_ps(g, _mm_loadu_ps(xL + i))));
        _mm_storeu_ps(busR + i, _mm_add_ps(_mm_loadu_ps(busR + i), _mm_mul_ps(g, _mm_loadu_ps(xR + i))));
    }
    for (; i < n; ++i) {
        busL[i] += gainAt<kPerFrame>(gain, i) * xL[i];
        busR[i] += gainAt<kPerFrame>(gain, i) * xR[i];
    }
}

void addScaledPair(float* busL, float* busR, const float* xL, const float* xR, const ChunkGain& gain, int n) {
    if (gain.perFrame != nullptr)
        addScaledPair<true>(busL, busR, xL, xR, gain, n);
    else
        addScaledPair<false>(busL, busR, xL, xR, gain, n);
}

// The pads: busL += gainL * padL and busR += gainR * padR.
template <bool kPerFrame>
void addPads(float* busL, float* busR, const float* padL, const float* padR, const ChunkGain& gainL,
             const ChunkGain& gainR, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(busL + i, _mm_add_ps(_mm_loadu_ps(busL + i),
                                           _mm_mul_ps(_mm_loadu_ps(padL + i), fourGains<kPerFrame>(gainL, i))));
        _mm_storeu_ps(busR + i, _mm_add_ps(_mm_loadu_ps(busR + i),
                                           _mm_mul_ps(_mm_loadu_ps(padR + i), fourGains<kPerFrame>(gainR, i))));
    }
    for (; i < n; ++i) {
        busL[i] += padL[i] * gainAt<kPerFrame>(gainL, i);
        busR[i] += padR[i] * gainAt<kPerFrame>(gainR, i);
    }
}

}  // namespace

void mixStrip(const StripMixBuffers& io, const StripMixTargets& targets, StripMixState& state) {
    alignas(16) float stripLeft[kChunk], stripRight[kChunk], sendGain[kChunk];
    alignas(16) float l[kChunk], r[kChunk], peak[kChunk];
    for (int start = 0; start < io.frames; start += kChunk) {
        const int n = std::min(kChunk, io.frames - start);
        if (io.own[0] != nullptr) {
            std::memcpy(io.own[0] + start, io.in[0] + start, sizeof(float) * static_cast<size_t>(n));
            std::memcpy(io.own[1] + start, io.in[1] + start, sizeof(float) * static_cast<size_t>(n));
        }

        ChunkGain gainL{nullptr, state.gainLeft}, gainR{nullptr, state.gainRight};
        if (settled(state.gainLeft, targets.left, kStripSmoothing) &&
            settled(state.gainRight, targets.right, kStripSmoothing)) {
            stripPass<false>(io, start, n, gainL, gainR, l, r, peak);
        } else {
            glideStripGain(state.gainLeft, targets.left, stripLeft, n);
            glideStripGain(state.gainRight, targets.right, stripRight, n);
            gainL.perFrame = stripLeft;
            gainR.perFrame = stripRight;
            stripPass<true>(io, start, n, gainL, gainR, l, r, peak);
        }

        // Per frame: the largest of the meter and the frame's peak, decayed.
        float meter = state.meter;
        for (int i = 0; i < n; ++i) meter = std::max(meter, peak[i]) * kStripMeterDecay;
        state.meter = meter;

        for (int s = 0; s < kNumSends; ++s) {
            if (io.send[s][0] == nullptr) continue;
            float& gain = state.sendGain[s];
            ChunkGain g{nullptr, gain};
            if (!settled(gain, targets.send[s], kSendSmoothing) || (targets.drumFloor[s] && gain < kDrumSendFloor)) {
                glideSendGain(gain, targets.send[s], targets.drumFloor[s], sendGain, n);
                g.perFrame = sendGain;
            }
            float* busL = io.send[s][0] + start;
            float* busR = io.send[s][1] + start;
            addScaledPair(busL, busR, l, r, g, n);
            if (s < 2 && io.pads[s][0] != nullptr) {
                if (gainL.perFrame != nullptr)
                    addPads<true>(busL, busR, io.pads[s][0] + start, io.pads[s][1] + start, gainL, gainR, n);
                else
                    addPads<false>(busL, busR, io.pads[s][0] + start, io.pads[s][1] + start, gainL, gainR, n);
            }
        }
    }
}
