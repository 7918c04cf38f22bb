#include "effects/filter_stage.h"

#include "effects/dsp/stereo_four_pole.h"

namespace {

// One section's histories: the left channel's in lane 0, the right's in lane 1.
inline StereoSectionLanes sectionLanes(const dsp::BiquadSection& left, const dsp::BiquadSection& right) {
    using fxdsp::stereoPair;
    return {stereoPair(left.x1, right.x1), stereoPair(left.x2, right.x2), stereoPair(left.y1, right.y1),
            stereoPair(left.y2, right.y2)};
}

inline void storeSection(const StereoSectionLanes& lanes, dsp::BiquadSection& left, dsp::BiquadSection& right) {
    fxdsp::storeStereo(lanes.x1, &left.x1, &right.x1);
    fxdsp::storeStereo(lanes.x2, &left.x2, &right.x2);
    fxdsp::storeStereo(lanes.y1, &left.y1, &right.y1);
    fxdsp::storeStereo(lanes.y2, &left.y2, &right.y2);
}

struct Lanes {
    __m128 b0, b1, b2, a1, a2, floor;
};

struct RunGains {
    float dry, wet, levelLeft, levelRight;
};

// BiquadSection::process with FlushToZero on both channels: the sum in the
// same order, then a magnitude of at most 1e-10 becomes 0 ("not greater"
// keeps NaN, as the bit-pattern test does). The branch is taken only where
// the signal dies away, so it stays off the recursion's dependency chain.
__attribute__((always_inline)) inline __m128 section(const Lanes& k, StereoSectionLanes& s, __m128 x) {
    __m128 y = _mm_add_ps(_mm_mul_ps(k.b0, x), _mm_mul_ps(k.b1, s.x1));
    y = _mm_add_ps(y, _mm_mul_ps(k.b2, s.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a1, s.y1));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a2, s.y2));
    const __m128 keep = _mm_cmpnle_ps(fxdsp::absLanes(y), k.floor);
    // Lanes 2 and 3 hold 0 and never pass the test; only the channels count.
    if ((_mm_movemask_ps(keep) & 3) != 3) [[unlikely]]
        y = _mm_and_ps(y, keep);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

__attribute__((always_inline)) inline __m128 fourPole(const Lanes& k, StereoFourPoleLanes& h, __m128 x) {
    return section(k, h.second, section(k, h.first, x));
}

}  // namespace

StereoFourPoleLanes StereoFilterStage::loadHistories() const {
    return {sectionLanes(left_.first, right_.first), sectionLanes(left_.second, right_.second)};
}

void StereoFilterStage::storeHistories(const StereoFourPoleLanes& lanes) {
    storeSection(lanes.first, left_.first, right_.first);
    storeSection(lanes.second, left_.second, right_.second);
}

namespace {

// processRun()'s arithmetic, compiled twice: for the SSE2 every build
// assumes and, where the processor has AVX2, for it. The AVX2 copy is the
// same sequence of single-precision operations on the same 128-bit lanes
// (no fused multiply-adds, no wider lanes), so both give the same bits; the
// VEX encoding's three operands spare the copies of registers that SSE2's
// two-operand forms need, and the recursion's many live values fit the
// registers better.
__attribute__((always_inline)) inline void runLanes(const dsp::BiquadCoefficients& c, const RunGains& gains,
                                                    StereoFourPoleLanes& lanes, const float* inL, const float* inR,
                                                    float* outL, float* outR, int frames) {
    const Lanes k{_mm_set1_ps(c.b0), _mm_set1_ps(c.b1), _mm_set1_ps(c.b2),
                  _mm_set1_ps(c.a1), _mm_set1_ps(c.a2), _mm_set1_ps(1e-10f)};
    StereoFourPoleLanes h = lanes;
    const __m128 zero = _mm_setzero_ps();
    int n = 0;
    if (frames >= 4) {
        // Four frames at a time: loaded and stored per channel, filtered a
        // frame at a time with the channels side by side, crossfaded per
        // channel again.
        const __m128 dry = _mm_set1_ps(gains.dry), wet = _mm_set1_ps(gains.wet);
        const __m128 levelL = _mm_set1_ps(gains.levelLeft), levelR = _mm_set1_ps(gains.levelRight);
        for (; n + 4 <= frames; n += 4) {
            const __m128 l = fxdsp::fedLanes(_mm_loadu_ps(inL + n));
            const __m128 r = fxdsp::fedLanes(_mm_loadu_ps(inR + n));
            const __m128 frames01 = _mm_unpacklo_ps(l, r);  // l0 r0 l1 r1
            const __m128 frames23 = _mm_unpackhi_ps(l, r);  // l2 r2 l3 r3
            const __m128 y0 = fourPole(k, h, _mm_movelh_ps(frames01, zero));
            const __m128 y1 = fourPole(k, h, _mm_movehl_ps(zero, frames01));
            const __m128 y2 = fourPole(k, h, _mm_movelh_ps(frames23, zero));
            const __m128 y3 = fourPole(k, h, _mm_movehl_ps(zero, frames23));
            const __m128 t01 = _mm_unpacklo_ps(y0, y1);  // l0 l1 r0 r1
            const __m128 t23 = _mm_unpacklo_ps(y2, y3);  // l2 l3 r2 r3
            const __m128 yL = _mm_movelh_ps(t01, t23);
            const __m128 yR = _mm_movehl_ps(t23, t01);
            _mm_storeu_ps(outL + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(l, dry), _mm_mul_ps(yL, wet)), levelL));
            _mm_storeu_ps(outR + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(r, dry), _mm_mul_ps(yR, wet)), levelR));
        }
    }
    if (n < frames) {
        const __m128 dry = fxdsp::stereoPair(gains.dry, gains.dry), wet = fxdsp::stereoPair(gains.wet, gains.wet);
        const __m128 level = fxdsp::stereoPair(gains.levelLeft, gains.levelRight);
        for (; n < frames; ++n) {
            const __m128 x = fxdsp::fedLanes(fxdsp::loadStereo(inL + n, inR + n));
            const __m128 y = fourPole(k, h, x);
            fxdsp::storeStereo(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(x, dry), _mm_mul_ps(y, wet)), level), outL + n,
                               outR + n);
        }
    }
    lanes = h;
}

void runLanesBaseline(const dsp::BiquadCoefficients& c, const RunGains& gains, StereoFourPoleLanes& lanes,
                      const float* inL, const float* inR, float* outL, float* outR, int frames) {
    runLanes(c, gains, lanes, inL, inR, outL, outR, frames);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void runLanesWide(const dsp::BiquadCoefficients& c, const RunGains& gains,
                                                  StereoFourPoleLanes& lanes, const float* inL, const float* inR,
                                                  float* outL, float* outR, int frames) {
    runLanes(c, gains, lanes, inL, inR, outL, outR, frames);
}
#endif

}  // namespace

void StereoFilterStage::useWideLanes(bool on) { wide_ = on && cpuHasAvx2(); }

void StereoFilterStage::processRun(StereoFourPoleLanes& lanes, const float* inL, const float* inR, float* outL,
                                   float* outR, int frames) const {
    const RunGains gains{dry_, wet_, levelLeft_, levelRight_};
#if defined(__x86_64__)
    if (wide_) {
        runLanesWide(coefficients_, gains, lanes, inL, inR, outL, outR, frames);
        return;
    }
#endif
    runLanesBaseline(coefficients_, gains, lanes, inL, inR, outL, outR, frames);
}
