#include "modules/sampler_voice_lanes.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "modules/sampler_envelope_lanes.h"
#include "modules/sampler_voice_lanes_wide.h"

namespace sampler {
namespace {

struct SectionLanes {
    __m128 x1, x2, y1, y2;
};

struct CoefficientLanes {
    __m128 b0, b1, b2, a1, a2;
};

// BiquadSection::process() with the flush-to-zero guard in four lanes, its
// sums in the same order.
inline __m128 processSection(SectionLanes& s, const CoefficientLanes& k, __m128 x) {
    __m128 y = _mm_add_ps(_mm_mul_ps(k.b0, x), _mm_mul_ps(k.b1, s.x1));
    y = _mm_add_ps(y, _mm_mul_ps(k.b2, s.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a1, s.y1));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a2, s.y2));
    // Magnitude at most 1e-10 becomes 0 ("not <=" keeps NaN); rare, so the
    // mask is applied only where some lane needs it.
    const __m128 magnitude = _mm_and_ps(y, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 keep = _mm_cmpnle_ps(magnitude, _mm_set1_ps(1e-10f));
    if (_mm_movemask_ps(keep) != 0xf) [[unlikely]]
        y = _mm_and_ps(keep, y);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

// One value of each lane's voice (lanes past `count` repeat a voice).
template <class T, class Field>
void laneArray(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int /*count*/, T* out,
               Field field) {
    for (int l = 0; l < kLanes; ++l) out[l] = field(*voices[l], *parts[l]);
}

template <class Field>
__m128 laneValues(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count, Field field) {
    alignas(16) float v[kLanes];
    laneArray(voices, parts, count, v, field);
    return _mm_load_ps(v);
}

template <class Store>
void storeLanes(__m128 values, int count, Store store) {
    alignas(16) float v[kLanes];
    _mm_store_ps(v, values);
    for (int l = 0; l < count; ++l) store(l, v[l]);
}

SectionLanes loadSection(Voice* const voices[kLanes], dsp::FourPoleFilter Voice::*filter,
                         dsp::BiquadSection dsp::FourPoleFilter::*section) {
    SectionLanes s;
    alignas(16) float x1[kLanes], x2[kLanes], y1[kLanes], y2[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        const dsp::BiquadSection& from = (voices[l]->*filter).*section;
        x1[l] = from.x1;
        x2[l] = from.x2;
        y1[l] = from.y1;
        y2[l] = from.y2;
    }
    s.x1 = _mm_load_ps(x1);
    s.x2 = _mm_load_ps(x2);
    s.y1 = _mm_load_ps(y1);
    s.y2 = _mm_load_ps(y2);
    return s;
}

void storeSection(const SectionLanes& s, Voice* const voices[kLanes], int count, dsp::FourPoleFilter Voice::*filter,
                  dsp::BiquadSection dsp::FourPoleFilter::*section) {
    alignas(16) float x1[kLanes], x2[kLanes], y1[kLanes], y2[kLanes];
    _mm_store_ps(x1, s.x1);
    _mm_store_ps(x2, s.x2);
    _mm_store_ps(y1, s.y1);
    _mm_store_ps(y2, s.y2);
    for (int l = 0; l < count; ++l) (voices[l]->*filter).*section = {x1[l], x2[l], y1[l], y2[l]};
}

// The 16-bit values of one lane's read: four (the frame and the next of a
// stereo sample) or two (of a mono one), in the low end of a register.
inline __m128i loadStereoPair(const int16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i loadMonoPair(const int16_t* p) {
    int32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    return _mm_cvtsi32_si128(bits);
}

// The low four 16-bit values of a, sign-extended to 32 bits.
inline __m128i widenLow(__m128i a) { return _mm_srai_epi32(_mm_unpacklo_epi16(a, a), 16); }
inline __m128i widenHigh(__m128i a) { return _mm_srai_epi32(_mm_unpackhi_epi16(a, a), 16); }

// `s0 + (s1 - s0) * frac` as the one-voice read computes it: the difference
// in integers, then to float.
inline __m128 interpolate(__m128i s0, __m128i s1, __m128 frac) {
    return _mm_add_ps(_mm_cvtepi32_ps(s0), _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(s1, s0)), frac));
}

// One section over the frames of x in place.
inline void filterSection(SectionLanes& s, const CoefficientLanes& k, __m128* x, int frames) {
    for (int n = 0; n < frames; ++n) x[n] = processSection(s, k, x[n]);
}

// Lanes below kStereoLanes play stereo samples, the others mono ones.
template <int kStereoLanes, bool kFilter>
void renderLanes(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count,
                 float* const left[kLanes], float* const right[kLanes], int frames) {
    using V = const Voice&;
    using P = const PartSettings&;

    const int16_t* data[kLanes];
    laneArray(voices, parts, count, data, [](V, P p) { return p.sample.frames; });
    alignas(16) double position[kLanes], increment[kLanes];
    laneArray(voices, parts, count, position, [](V v, P) { return v.position; });
    laneArray(voices, parts, count, increment, [](V v, P) { return v.increment; });
    __m128d posLow = _mm_load_pd(position), posHigh = _mm_load_pd(position + 2);
    const __m128d incLow = _mm_load_pd(increment), incHigh = _mm_load_pd(increment + 2);

    EnvelopeLanes env;
    env.level = laneValues(voices, parts, count, [](V v, P) { return v.envelope; });
    alignas(16) int32_t stage[kLanes];
    laneArray(voices, parts, count, stage, [](V v, P) { return static_cast<int32_t>(v.stage); });
    env.stage = _mm_load_si128(reinterpret_cast<const __m128i*>(stage));
    env.attackIncrement = laneValues(voices, parts, count, [](V, P p) { return p.attackIncrement; });
    env.decayFactor = laneValues(voices, parts, count, [](V, P p) { return p.decayFactor; });
    env.sustain = laneValues(voices, parts, count, [](V, P p) { return p.sustain; });
    env.releaseFactor = laneValues(voices, parts, count, [](V, P p) { return p.releaseFactor; });
    // Lanes without an amplitude envelope read at full level; their
    // envelope steps all the same (the pitch and filter follow it).
    const __m128 envelopeOn =
        _mm_cmpneq_ps(laneValues(voices, parts, count, [](V, P p) { return p.envelopeOn ? 1.0f : 0.0f; }),
                      _mm_setzero_ps());

    // Envelopes that all keep their level: clamped once, as every step would.
    const bool stepping = !envelopesHold(env);
    const bool scaling = stepping && envelopesScale(env);
    const __m128 factors = envelopeFactors(env);
    if (!stepping) env.level = _mm_max_ps(_mm_min_ps(_mm_set1_ps(1.0f), env.level), _mm_set1_ps(kEnvelopeFloor));
    __m128 amp = _mm_mul_ps(selectLanes(envelopeOn, env.level, _mm_set1_ps(1.0f)), _mm_set1_ps(kSampleScale));

    // The reads, frame by frame.
    __m128 outL[kControlPeriod], outR[kControlPeriod];
    for (int n = 0; n < frames; ++n) {
        if (stepping) {
            if (scaling)
                scaleEnvelopes(env, factors);
            else
                stepEnvelopes(env);
            amp = _mm_mul_ps(selectLanes(envelopeOn, env.level, _mm_set1_ps(1.0f)), _mm_set1_ps(kSampleScale));
        }
        posLow = _mm_add_pd(posLow, incLow);
        posHigh = _mm_add_pd(posHigh, incHigh);
        const __m128i indexLow = _mm_cvttpd_epi32(posLow);
        const __m128i indexHigh = _mm_cvttpd_epi32(posHigh);
        const __m128 fracLow = _mm_cvtpd_ps(_mm_sub_pd(posLow, _mm_cvtepi32_pd(indexLow)));
        const __m128 fracHigh = _mm_cvtpd_ps(_mm_sub_pd(posHigh, _mm_cvtepi32_pd(indexHigh)));
        const __m128 frac = _mm_movelh_ps(fracLow, fracHigh);
        alignas(16) int32_t index[kLanes];
        _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_unpacklo_epi64(indexLow, indexHigh));

        if constexpr (kStereoLanes > 0) {
            // Lane l: [L0 R0 L1 R1] of its frame and the next (a mono lane:
            // [s0 s0 s1 s1], a stereo pair whose sides are equal); turned
            // into one register per value, lanes in order.
            __m128i q[kLanes];
            for (int l = 0; l < kLanes; ++l) {
                if (l < kStereoLanes) {
                    q[l] = loadStereoPair(data[l] + 2 * static_cast<size_t>(index[l]));
                } else {
                    const __m128i pair = loadMonoPair(data[l] + static_cast<size_t>(index[l]));
                    q[l] = _mm_unpacklo_epi16(pair, pair);
                }
            }
            const __m128i a = _mm_unpacklo_epi16(q[0], q[1]);
            const __m128i b = _mm_unpacklo_epi16(q[2], q[3]);
            const __m128i firsts = _mm_unpacklo_epi32(a, b);   // L0 x4, R0 x4
            const __m128i seconds = _mm_unpackhi_epi32(a, b);  // L1 x4, R1 x4
            outL[n] = _mm_mul_ps(interpolate(widenLow(firsts), widenLow(seconds), frac), amp);
            outR[n] = _mm_mul_ps(interpolate(widenHigh(firsts), widenHigh(seconds), frac), amp);
        } else {
            const __m128i q0 = loadMonoPair(data[0] + static_cast<size_t>(index[0]));
            const __m128i q1 = loadMonoPair(data[1] + static_cast<size_t>(index[1]));
            const __m128i q2 = loadMonoPair(data[2] + static_cast<size_t>(index[2]));
            const __m128i q3 = loadMonoPair(data[3] + static_cast<size_t>(index[3]));
            const __m128i both = _mm_unpacklo_epi32(_mm_unpacklo_epi16(q0, q1), _mm_unpacklo_epi16(q2, q3));
            outL[n] = outR[n] = _mm_mul_ps(interpolate(widenLow(both), widenHigh(both), frac), amp);
        }
    }
    const __m128 readL = outL[frames - 1], readR = outR[frames - 1];

    // The filters, one section after another over the run.
    if constexpr (kFilter) {
        CoefficientLanes k;
        k.b0 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b0; });
        k.b1 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b1; });
        k.b2 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b2; });
        k.a1 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.a1; });
        k.a2 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.a2; });
        const auto section = [&](dsp::FourPoleFilter Voice::*filter, dsp::BiquadSection dsp::FourPoleFilter::*which,
                                 __m128* x) {
            SectionLanes s = loadSection(voices, filter, which);
            filterSection(s, k, x, frames);
            storeSection(s, voices, count, filter, which);
        };
        section(&Voice::filterLeft, &dsp::FourPoleFilter::first, outL);
        section(&Voice::filterLeft, &dsp::FourPoleFilter::second, outL);
        section(&Voice::filterRight, &dsp::FourPoleFilter::first, outR);
        section(&Voice::filterRight, &dsp::FourPoleFilter::second, outR);
    }
    const __m128 gainL = laneValues(voices, parts, count, [](V v, P) { return v.gainLeft; });
    const __m128 gainR = laneValues(voices, parts, count, [](V v, P) { return v.gainRight; });
    for (int n = 0; n < frames; ++n) {
        outL[n] = _mm_mul_ps(gainL, outL[n]);
        outR[n] = _mm_mul_ps(gainR, outR[n]);
    }

    // Samples by frame to samples by voice, four frames at a time.
    alignas(16) float scratch[kLanes];
    for (int n = frames; n < (frames + 3) / 4 * 4; ++n) outL[n] = outR[n] = _mm_setzero_ps();
    for (int c = 0; c < 2; ++c) {
        __m128* const out = c == 0 ? outL : outR;
        float* const* const dest = c == 0 ? left : right;
        for (int n = 0; n < frames; n += 4) {
            __m128 r0 = out[n], r1 = out[n + 1], r2 = out[n + 2], r3 = out[n + 3];
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            const __m128 rows[kLanes] = {r0, r1, r2, r3};
            for (int l = 0; l < count; ++l) {
                if (n + 4 <= frames) {
                    _mm_storeu_ps(dest[l] + n, rows[l]);
                } else {
                    _mm_store_ps(scratch, rows[l]);
                    for (int m = n; m < frames; ++m) dest[l][m] = scratch[m - n];
                }
            }
        }
    }

    _mm_store_pd(position, posLow);
    _mm_store_pd(position + 2, posHigh);
    _mm_store_si128(reinterpret_cast<__m128i*>(stage), env.stage);
    for (int l = 0; l < count; ++l) {
        voices[l]->position = position[l];
        voices[l]->stage = stage[l];
    }
    storeLanes(env.level, count, [&](int l, float x) { voices[l]->envelope = x; });
    storeLanes(readL, count, [&](int l, float x) { voices[l]->lastLeft = x; });
    storeLanes(readR, count, [&](int l, float x) { voices[l]->lastRight = x; });
}

// With the gate off the voice sounds, and its loop runs, while the
// envelope stays above the audible level: before every step and after the
// last. A release whose factor over a whole control period leaves it well
// above cannot reach it; anything else is stepped through.
bool audibleThrough(const Voice& v, const PartSettings& p, int frames) {
    if (!p.envelopeOn) return false;
    if (v.stage == kStageRelease && v.envelope <= 1.0f) {
        float f = p.releaseFactor;
        if (f > 0.0f && f <= 1.0f) {
            f *= f;
            f *= f;
            f *= f;
            f *= f;  // f^16, at most the factor over the run
            if (v.envelope * f > kEnvelopeAudible * 1.01f) return true;
        }
    }
    float level = v.envelope;
    int stage = v.stage;
    for (int n = 0; n < frames; ++n) {
        if (!(level > kEnvelopeAudible)) return false;
        stepEnvelope(level, stage, p);
    }
    return level > kEnvelopeAudible;
}

}  // namespace

LaneShape laneShape(const PartSettings& part) {
    LaneShape s;
    s.filterOn = part.filterOn;
    return s;
}

bool laneEligible(const Voice& v, const PartSettings& p, int frames) {
    if (frames < 1 || frames > kControlPeriod) return false;
    if (p.reverse || p.sample.frames == nullptr) return false;
    const PartWindow& w = v.window;
    const double increment = v.increment;
    // Forward from inside the window: never moved up to its beginning.
    if (!(v.position >= 0.0) || !(v.position >= w.beginFrames) || !(increment >= 0.0)) return false;
    // Sounding on every frame, the loop's use the same throughout.
    if (!v.gate && !audibleThrough(v, p, frames)) return false;
    const double loopLength = w.loopEndFrames - w.loopStartFrames;
    const bool loopOn = p.loop && loopLength >= kMinLoopFrames;
    const double limit = loopOn ? w.loopEndFrames : w.endFrames;
    const double readLimit = static_cast<double>(p.sample.frameCount) - kReadMarginFrames;
    // The position only grows: where it ends the run decides. Below the
    // limit it neither wraps nor stops, and every frame reads. The frame by
    // frame sums differ from this product by some 1e-15 of its size at
    // most; the margin is far wider.
    const double reach = v.position + increment * static_cast<double>(frames);
    const double last = reach + 1e-9 * (std::fabs(reach) + 1.0);
    return last < limit && last < readLimit;
}

LaneKernel fastestLaneKernel() { return wide::available() ? LaneKernel::Avx2 : LaneKernel::Sse2; }

bool laneKernelAvailable(LaneKernel kernel) { return kernel == LaneKernel::Sse2 || wide::available(); }

void renderVoiceLanes(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count,
                      const LaneShape& shape, float* const left[kLanes], float* const right[kLanes], int frames,
                      LaneKernel kernel) {
    if (count < 1 || count > kLanes || frames < 1 || frames > kControlPeriod) return;
    // Stereo voices in the first lanes, lanes past the voices repeating the
    // last one.
    Voice* v[kLanes];
    const PartSettings* p[kLanes];
    float* l[kLanes];
    float* r[kLanes];
    int stereo = 0;
    for (int pass = 0, at = 0; pass < 2; ++pass)
        for (int i = 0; i < count; ++i) {
            if (parts[i]->sample.stereo != (pass == 0)) continue;
            v[at] = voices[i];
            p[at] = parts[i];
            l[at] = left[i];
            r[at] = right[i];
            ++at;
            if (pass == 0) ++stereo;
        }
    for (int i = count; i < kLanes; ++i) {
        v[i] = v[count - 1];
        p[i] = p[count - 1];
        l[i] = l[count - 1];
        r[i] = r[count - 1];
    }
    if (stereo == count) stereo = kLanes;
    if (kernel == LaneKernel::Avx2 && wide::available()) {
        wide::renderLanes(v, p, count, stereo, shape.filterOn, l, r, frames);
        return;
    }
    using Renderer = void (*)(Voice* const[kLanes], const PartSettings* const[kLanes], int, float* const[kLanes],
                              float* const[kLanes], int);
    static constexpr Renderer kRenderers[2][kLanes + 1] = {
        {&renderLanes<0, false>, &renderLanes<1, false>, &renderLanes<2, false>, &renderLanes<3, false>,
         &renderLanes<4, false>},
        {&renderLanes<0, true>, &renderLanes<1, true>, &renderLanes<2, true>, &renderLanes<3, true>,
         &renderLanes<4, true>}};
    kRenderers[shape.filterOn ? 1 : 0][stereo](v, p, count, l, r, frames);
}

}  // namespace sampler
