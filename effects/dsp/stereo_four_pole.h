// The four-pole filter (two identical Direct Form I biquads in series, the
// synthesizer's design) for a stereo pair, left and right in the lanes of
// one SSE register: one instruction stream for both channels. Each lane does
// exactly the arithmetic of dsp::BiquadSection, in the same order, with the
// effects' flush-to-zero guard, so the results are bit for bit those of two
// scalar filters.
#pragma once

#include <emmintrin.h>

#include "modules/synth_filter.h"

namespace fxdsp {

// Lane 0 is the left channel, lane 1 the right; lanes 2 and 3 carry zeros.
inline __m128 loadStereo(const float* left, const float* right) {
    return _mm_unpacklo_ps(_mm_load_ss(left), _mm_load_ss(right));
}
inline void storeStereo(__m128 v, float* left, float* right) {
    _mm_store_ss(left, v);
    _mm_store_ss(right, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}
inline __m128 stereoPair(float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); }
inline __m128 absLanes(__m128 v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline __m128 signLanes(__m128 v) {
    return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(0x80000000u))));
}
// Per lane: mask ? a : b.
inline __m128 selectLanes(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// Histories of both channels' four-pole filters, kept interleaved (left,
// right) so that a run loads and stores each pair with one instruction.
struct StereoFourPoleState {
    struct Section {
        alignas(8) float x1[2] = {0.0f, 0.0f};
        alignas(8) float x2[2] = {0.0f, 0.0f};
        alignas(8) float y1[2] = {0.0f, 0.0f};
        alignas(8) float y2[2] = {0.0f, 0.0f};
    };
    Section first;
    Section second;
};

// Filters count frames of interleaved stereo (left, right, left, ...) in
// place through both channels' four-pole filters, all with coefficients k.
// Each section's recursion (a multiply and two subtractions per frame) is
// the dependency chain that bounds the speed; the two sections overlap.
inline void fourPoleStereoRun(const dsp::BiquadCoefficients& k, StereoFourPoleState& state, float* interleaved,
                              int count) {
    const __m128 b0 = _mm_set1_ps(k.b0), b1 = _mm_set1_ps(k.b1), b2 = _mm_set1_ps(k.b2);
    const __m128 a1 = _mm_set1_ps(k.a1), a2 = _mm_set1_ps(k.a2);
    const __m128 tiny = _mm_set1_ps(1e-10f);
    const auto loadPair = [](const float* p) {
        return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
    };
    const auto storePair = [](float* p, __m128 v) { _mm_storel_pi(reinterpret_cast<__m64*>(p), v); };
    struct History {
        __m128 x1, x2, y1, y2;
    };
    const auto load = [&](const StereoFourPoleState::Section& s) {
        return History{loadPair(s.x1), loadPair(s.x2), loadPair(s.y1), loadPair(s.y2)};
    };
    const auto save = [&](const History& h, StereoFourPoleState::Section& s) {
        storePair(s.x1, h.x1);
        storePair(s.x2, h.x2);
        storePair(s.y1, h.y1);
        storePair(s.y2, h.y2);
    };
    const auto step = [&](History& h, __m128 x) {
        // b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, left to right as in C++.
        __m128 y = _mm_add_ps(_mm_mul_ps(b0, x), _mm_mul_ps(b1, h.x1));
        y = _mm_add_ps(y, _mm_mul_ps(b2, h.x2));
        y = _mm_sub_ps(y, _mm_mul_ps(a1, h.y1));
        y = _mm_sub_ps(y, _mm_mul_ps(a2, h.y2));
        // dsp::flushTiny: magnitude at most 1e-10 becomes 0 ("not <=" keeps
        // NaN). Such values come only where the signal dies away into
        // silence, so the test is a branch that is almost always predicted
        // right: the mask then stays off the recursion's dependency chain,
        // which is what bounds the filter's speed (applying the mask on
        // every frame costs about a third more time).
        const __m128 keep = _mm_cmpnle_ps(absLanes(y), tiny);
        if ((_mm_movemask_ps(keep) & 3) != 3) y = _mm_and_ps(keep, y);
        h.x2 = h.x1;
        h.x1 = x;
        h.y2 = h.y1;
        h.y1 = y;
        return y;
    };
    History first = load(state.first);
    History second = load(state.second);
    for (int t = 0; t < count; ++t) {
        float* frame = interleaved + 2 * t;
        storePair(frame, step(second, step(first, loadPair(frame))));
    }
    save(first, state.first);
    save(second, state.second);
}

}  // namespace fxdsp
