// The four-pole filter (two identical Direct Form I biquads in series, the
// synthesizer's design) for a stereo pair, and the lane helpers of the
// effects that hold a stereo pair in one SSE register.
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

// Coefficients per lane: lanes 0 and 1 (the first sections) from first,
// lanes 2 and 3 (the second sections) from second.
struct FourPoleLaneCoefficients {
    FourPoleLaneCoefficients(const dsp::BiquadCoefficients& first, const dsp::BiquadCoefficients& second)
        : b0(lanes(first.b0, second.b0)),
          b1(lanes(first.b1, second.b1)),
          b2(lanes(first.b2, second.b2)),
          a1(lanes(first.a1, second.a1)),
          a2(lanes(first.a2, second.a2)) {}
    __m128 b0, b1, b2, a1, a2;

private:
    static __m128 lanes(float first, float second) { return _mm_setr_ps(first, first, second, second); }
};

// Histories of StaggeredFourPole, lane by lane, and the coefficients of the
// two frames its second sections still owe.
struct StaggeredFourPoleState {
    alignas(16) float x1[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    alignas(16) float x2[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    alignas(16) float y1[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    alignas(16) float y2[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    dsp::BiquadCoefficients owed[2];
};

// Both channels' four-pole filters in one register, all four recursions
// moved by one step per frame: lanes 0 and 1 run the left and right first
// sections, lanes 2 and 3 the second sections two frames behind, fed with
// what the first sections gave two steps before (still in the register as
// the older output history, so the second sections' input is off the
// recursions' dependency chain). Each lane does exactly the arithmetic of
// dsp::BiquadSection, in the same order, with the effects' flush-to-zero
// guard, so the results are bit for bit those of four scalar sections.
//
// The state between runs keeps the second sections two frames behind; a run
// gets its last two frames from owedFrames(), a look ahead on copies, and the
// next run computes them again as its first two steps, with the coefficients
// they were filtered with (kept in the state), so both give the same bits.
class StaggeredFourPole {
public:
    explicit StaggeredFourPole(const StaggeredFourPoleState& s)
        : x1_(_mm_load_ps(s.x1)), x2_(_mm_load_ps(s.x2)), y1_(_mm_load_ps(s.y1)), y2_(_mm_load_ps(s.y2)) {}

    // A frame in lanes 0 (left) and 1 (right) of pair. Returns the step's
    // register: lanes 2 and 3 hold the filtered frame of two steps before.
    __m128 step(const FourPoleLaneCoefficients& k, __m128 pair) { return advance(k, _mm_movelh_ps(pair, y2_)); }
    // The same for a frame in lanes 2 and 3 of pairs.
    __m128 stepHigh(const FourPoleLaneCoefficients& k, __m128 pairs) {
        return advance(k, _mm_shuffle_ps(pairs, y2_, _MM_SHUFFLE(1, 0, 3, 2)));
    }
    // The filtered last two frames (left, right, left, right), computed on
    // copies: the second sections' steps still owed, with the coefficients
    // of the frame two before the last and of the last frame.
    __m128 owedFrames(const FourPoleLaneCoefficients& older, const FourPoleLaneCoefficients& last) const {
        StaggeredFourPole ahead = *this;
        const __m128 a = ahead.step(older, _mm_setzero_ps());
        const __m128 b = ahead.step(last, _mm_setzero_ps());
        return _mm_movehl_ps(b, a);
    }

    void save(StaggeredFourPoleState& s) const {
        _mm_store_ps(s.x1, x1_);
        _mm_store_ps(s.x2, x2_);
        _mm_store_ps(s.y1, y1_);
        _mm_store_ps(s.y2, y2_);
    }

private:
    __m128 advance(const FourPoleLaneCoefficients& k, __m128 x) {
        // b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, left to right as in C++.
        __m128 y = _mm_add_ps(_mm_mul_ps(k.b0, x), _mm_mul_ps(k.b1, x1_));
        y = _mm_add_ps(y, _mm_mul_ps(k.b2, x2_));
        y = _mm_sub_ps(y, _mm_mul_ps(k.a1, y1_));
        y = _mm_sub_ps(y, _mm_mul_ps(k.a2, y2_));
        // dsp::flushTiny: magnitude at most 1e-10 becomes 0 ("not <=" keeps
        // NaN). Such values come only where the signal dies away into
        // silence, so the test is a branch that is almost always predicted
        // right: the mask then stays off the recursion's dependency chain,
        // which is what bounds the filter's speed.
        const __m128 keep = _mm_cmpnle_ps(absLanes(y), _mm_set1_ps(1e-10f));
        if (_mm_movemask_ps(keep) != 15) y = _mm_and_ps(keep, y);
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    __m128 x1_, x2_, y1_, y2_;
};

}  // namespace fxdsp
