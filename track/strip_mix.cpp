#include "track/strip_mix.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "common/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The block goes through in chunks: the gliding gains into small arrays
// first (a gain that has settled is one value for the chunk), then one pass
// for the strip gains, the master, the own pair and the meter, and one pass
// per loaded send bus (its pads included). The passes run four frames at a
// time in SSE2 or eight in AVX2. Every bus sample gets the arithmetic the
// frame-by-frame mix gives it, in the same order, so the buses are the same
// to the bit at either width.
//
// The meter is only looked at (the planet glow). Frame by frame it is
// m = max(m, peak) · d; over a chunk of n frames that is the largest of
// m · d^n and of each frame's peak times the decay left after it, d^(n - i).
// Those products do not depend on each other, so the meter costs a multiply
// and a maximum per vector instead of a chain of two operations per frame.
// The powers are rounded once each where the frame-by-frame meter rounds
// after every step: the two differ by a few roundings per frame of decay
// since the peak that sets the meter (the test states the bound).

namespace {

constexpr int kChunk = 256;

// kMeterDecay[j] = d^(kChunk - j), worked out in double and rounded once: a
// chunk of n frames takes its frame i's decay from kMeterDecay[kChunk - n + i]
// and the meter's from kMeterDecay[kChunk - n].
constexpr std::array<float, kChunk + 1> kMeterDecay = [] {
    std::array<float, kChunk + 1> t{};
    double power = 1.0;
    for (int j = kChunk; j >= 0; --j) {
        t[static_cast<size_t>(j)] = static_cast<float>(power);
        power *= static_cast<double>(kStripMeterDecay);
    }
    return t;
}();

// A glide step that leaves a gain where it is leaves it there for good.
bool settled(float gain, float target, float smoothing) { return gain + (target - gain) * smoothing == gain; }

// The gain of every frame of a chunk: one value, or one per frame.
struct ChunkGain {
    const float* perFrame = nullptr;
    float value = 0.0f;
};

template <bool kPerFrame>
inline float gainAt(const ChunkGain& g, int i) {
    if constexpr (kPerFrame)
        return g.perFrame[i];
    else
        return g.value;
}

// The strip's buffers moved to the chunk's first frame.
struct ChunkIo {
    const float* inL;
    const float* inR;
    float* masterL;
    float* masterR;
    float* ownL;
    float* ownR;
};

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

}  // namespace

namespace sse2 {
namespace {

#define LANE_FN
using V = __m128;
constexpr int kLanes = 4;
inline V splat(float x) { return _mm_set1_ps(x); }
inline V load(const float* x) { return _mm_loadu_ps(x); }
inline void store(float* x, V v) { _mm_storeu_ps(x, v); }
inline V add(V a, V b) { return _mm_add_ps(a, b); }
inline V mul(V a, V b) { return _mm_mul_ps(a, b); }
inline V vmax(V a, V b) { return _mm_max_ps(a, b); }
inline V absolute(V a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
// The lanes hold no NaN: the largest is the same in any order.
inline float largestLane(V a) {
    const V pairs = _mm_max_ps(a, _mm_movehl_ps(a, a));
    return _mm_cvtss_f32(_mm_max_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

#include "track/strip_mix_kernel.inc"
#undef LANE_FN

}  // namespace
}  // namespace sse2

#if defined(__x86_64__)
namespace avx2 {
namespace {

// Memory is addressed unaligned throughout (Windows builds cannot align the
// stack to 32 bytes).
#define LANE_FN __attribute__((target("avx2")))
using V = __m256;
constexpr int kLanes = 8;
LANE_FN inline V splat(float x) { return _mm256_set1_ps(x); }
LANE_FN inline V load(const float* x) { return _mm256_loadu_ps(x); }
LANE_FN inline void store(float* x, V v) { _mm256_storeu_ps(x, v); }
LANE_FN inline V add(V a, V b) { return _mm256_add_ps(a, b); }
LANE_FN inline V mul(V a, V b) { return _mm256_mul_ps(a, b); }
LANE_FN inline V vmax(V a, V b) { return _mm256_max_ps(a, b); }
LANE_FN inline V absolute(V a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))); }
LANE_FN inline float largestLane(V a) {
    const __m128 half = _mm_max_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));
    const __m128 pairs = _mm_max_ps(half, _mm_movehl_ps(half, half));
    return _mm_cvtss_f32(_mm_max_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

#include "track/strip_mix_kernel.inc"
#undef LANE_FN

}  // namespace
}  // namespace avx2
#endif

// Asked once, before any block runs.
const bool kWideLanes = cpuHasAvx2();

bool stripMixWideLanesAvailable() { return kWideLanes; }

void mixStrip(const StripMixBuffers& io, const StripMixTargets& targets, StripMixState& state, bool wide) {
    wide = wide && kWideLanes;
    alignas(32) float stripLeft[kChunk], stripRight[kChunk], sendGain[kChunk];
    alignas(32) float l[kChunk], r[kChunk];
    for (int start = 0; start < io.frames; start += kChunk) {
        const int n = std::min(kChunk, io.frames - start);
        const ChunkIo chunk{io.in[0] + start,     io.in[1] + start,
                            io.master[0] + start, io.master[1] + start,
                            io.own[0] != nullptr ? io.own[0] + start : nullptr,
                            io.own[1] != nullptr ? io.own[1] + start : nullptr};

        ChunkGain gainL{nullptr, state.gainLeft}, gainR{nullptr, state.gainRight};
        if (!settled(state.gainLeft, targets.left, kStripSmoothing) ||
            !settled(state.gainRight, targets.right, kStripSmoothing)) {
            glideStripGain(state.gainLeft, targets.left, stripLeft, n);
            glideStripGain(state.gainRight, targets.right, stripRight, n);
            gainL.perFrame = stripLeft;
            gainR.perFrame = stripRight;
        }

        const float* decay = kMeterDecay.data() + (kChunk - n);
        float candidate;
#if defined(__x86_64__)
        if (wide)
            candidate = avx2::stripPass(chunk, gainL, gainR, l, r, decay, n);
        else
#endif
            candidate = sse2::stripPass(chunk, gainL, gainR, l, r, decay, n);
        state.meter = std::max(state.meter * decay[0], candidate);

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
            const bool pads = s < 2 && io.pads[s][0] != nullptr;
            const float* padL = pads ? io.pads[s][0] + start : nullptr;
            const float* padR = pads ? io.pads[s][1] + start : nullptr;
#if defined(__x86_64__)
            if (wide)
                avx2::sendPass(busL, busR, l, r, g, padL, padR, gainL, gainR, n);
            else
#endif
                sse2::sendPass(busL, busR, l, r, g, padL, padR, gainL, gainR, n);
        }
    }
}
