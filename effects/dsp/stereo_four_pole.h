// The four-pole filter (two identical Direct Form I biquads in series, the
// synthesizer's design) for a stereo pair, with left and right in the lanes
// of one SSE register: one instruction stream for both channels and no
// branches. Each lane does exactly the arithmetic of dsp::BiquadSection, in
// the same order, with the effects' flush-to-zero guard, so the results are
// bit for bit those of two scalar filters.
//
// Usage in an inner loop: copy the state into a StereoFourPoleLanes (which
// keeps it in registers), run process() per frame, store it back at the end.
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

class StereoFourPoleLanes {
public:
    StereoFourPoleLanes(const dsp::BiquadCoefficients& k, const dsp::FourPoleFilter& left,
                        const dsp::FourPoleFilter& right)
        : b0_(_mm_set1_ps(k.b0)),
          b1_(_mm_set1_ps(k.b1)),
          b2_(_mm_set1_ps(k.b2)),
          a1_(_mm_set1_ps(k.a1)),
          a2_(_mm_set1_ps(k.a2)),
          tiny_(_mm_set1_ps(1e-10f)) {
        load(first_, left.first, right.first);
        load(second_, left.second, right.second);
    }

    // Both sections, the first feeding the second.
    __m128 process(__m128 x) { return step(second_, step(first_, x)); }

    void store(dsp::FourPoleFilter& left, dsp::FourPoleFilter& right) const {
        save(first_, left.first, right.first);
        save(second_, left.second, right.second);
    }

private:
    struct History {
        __m128 x1, x2, y1, y2;
    };

    static void load(History& h, const dsp::BiquadSection& l, const dsp::BiquadSection& r) {
        h.x1 = stereoPair(l.x1, r.x1);
        h.x2 = stereoPair(l.x2, r.x2);
        h.y1 = stereoPair(l.y1, r.y1);
        h.y2 = stereoPair(l.y2, r.y2);
    }
    static void save(const History& h, dsp::BiquadSection& l, dsp::BiquadSection& r) {
        storeStereo(h.x1, &l.x1, &r.x1);
        storeStereo(h.x2, &l.x2, &r.x2);
        storeStereo(h.y1, &l.y1, &r.y1);
        storeStereo(h.y2, &l.y2, &r.y2);
    }

    __m128 step(History& h, __m128 x) const {
        // b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, left to right as in C++.
        __m128 y = _mm_add_ps(_mm_mul_ps(b0_, x), _mm_mul_ps(b1_, h.x1));
        y = _mm_add_ps(y, _mm_mul_ps(b2_, h.x2));
        y = _mm_sub_ps(y, _mm_mul_ps(a1_, h.y1));
        y = _mm_sub_ps(y, _mm_mul_ps(a2_, h.y2));
        // dsp::flushTiny: magnitude at most 1e-10 becomes 0 ("not <=" keeps NaN).
        y = _mm_and_ps(_mm_cmpnle_ps(absLanes(y), tiny_), y);
        h.x2 = h.x1;
        h.x1 = x;
        h.y2 = h.y1;
        h.y1 = y;
        return y;
    }

    __m128 b0_, b1_, b2_, a1_, a2_, tiny_;
    History first_, second_;
};

}  // namespace fxdsp
