#include "modules/synth_voice_lanes.h"

#include <emmintrin.h>

#include <cstdint>

namespace synth {
namespace {

constexpr float kTableSizeF = static_cast<float>(dsp::kTableSize);
// Increments and phases the lanes take: below half the table size a phase
// advanced by one increment needs at most one wrap, and the wrap is exact.
constexpr float kMaxLaneIncrement = kTableSizeF / 2.0f;

inline __m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

inline __m128i tableIndices(__m128 phase) {
    return _mm_and_si128(_mm_cvttps_epi32(phase), _mm_set1_epi32(dsp::kTableMask));
}

inline __m128 gather(const float* table, __m128i indices) {
    alignas(16) int32_t i[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), indices);
    return _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
}

inline __m128 gather(const float* const tables[kLanes], __m128i indices) {
    alignas(16) int32_t i[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), indices);
    return _mm_setr_ps(tables[0][i[0]], tables[1][i[1]], tables[2][i[2]], tables[3][i[3]]);
}

// Clipped to -1 .. 1 as `a > 1 ? 1 : (a < -1 ? -1 : a)`, NaN passing.
inline __m128 clipUnit(__m128 a) {
    return _mm_min_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_set1_ps(-1.0f), a));
}

struct EnvelopeLanes {
    __m128 level;
    __m128i stage;
    __m128 attackIncrement;
    __m128 decayFactor;
    __m128 sustain;
    __m128 releaseFactor;
};

// stepEnvelope() in four lanes.
inline void stepEnvelopes(EnvelopeLanes& e) {
    const __m128i attack = _mm_set1_epi32(kAttack), decay = _mm_set1_epi32(kDecay);
    const __m128i toDecay =
        _mm_and_si128(_mm_cmpeq_epi32(e.stage, attack), _mm_castps_si128(_mm_cmpge_ps(e.level, _mm_set1_ps(1.0f))));
    e.stage = select(toDecay, decay, e.stage);
    const __m128i toSustain =
        _mm_and_si128(_mm_cmpeq_epi32(e.stage, decay), _mm_castps_si128(_mm_cmple_ps(e.level, e.sustain)));
    e.stage = select(toSustain, _mm_set1_epi32(kSustain), e.stage);
    __m128 next = e.level;
    next = select(_mm_castsi128_ps(_mm_cmpeq_epi32(e.stage, attack)), _mm_add_ps(e.level, e.attackIncrement), next);
    next = select(_mm_castsi128_ps(_mm_cmpeq_epi32(e.stage, decay)), _mm_mul_ps(e.level, e.decayFactor), next);
    next = select(_mm_castsi128_ps(_mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kRelease))),
                  _mm_mul_ps(e.level, e.releaseFactor), next);
    // Clamped as `if (l > 1) l = 1; if (!(l >= floor)) l = floor;`.
    e.level = _mm_max_ps(_mm_min_ps(_mm_set1_ps(1.0f), next), _mm_set1_ps(kEnvelopeFloor));
}

// Sustain and idle hold their level: an envelope whose lanes all hold only
// needs its clamp, once.
inline bool envelopesHold(const EnvelopeLanes& e) {
    const __m128i holds = _mm_or_si128(_mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kSustain)),
                                       _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kIdle)));
    return _mm_movemask_epi8(holds) == 0xFFFF;
}

struct SectionLanes {
    __m128 x1, x2, y1, y2;
};

struct CoefficientLanes {
    __m128 b0, b1, b2, a1, a2;
};

// dsp::signedFloor() in four lanes; the replacement is rare (a voice dying
// into silence), so it is skipped unless some lane needs it.
inline __m128 signedFloor(__m128 y) {
    constexpr float kFloor = 1e-8f;
    const __m128i magnitude = _mm_and_si128(_mm_castps_si128(y), _mm_set1_epi32(0x7fffffff));
    const __m128i small = _mm_cmplt_epi32(magnitude, _mm_set1_epi32(static_cast<int32_t>(0x322bcc77u)));
    if (_mm_movemask_epi8(small) != 0) [[unlikely]] {
        const __m128 signedValue =
            select(_mm_cmplt_ps(y, _mm_setzero_ps()), _mm_set1_ps(-kFloor), _mm_set1_ps(kFloor));
        y = select(_mm_castsi128_ps(small), signedValue, y);
    }
    return y;
}
static_assert(std::bit_cast<uint32_t>(1e-8f) == 0x322bcc77u);

// BiquadSection::process() in four lanes, its sums in the same order.
inline __m128 processSection(SectionLanes& s, const CoefficientLanes& k, __m128 x) {
    __m128 y = _mm_add_ps(_mm_mul_ps(k.b0, x), _mm_mul_ps(k.b1, s.x1));
    y = _mm_add_ps(y, _mm_mul_ps(k.b2, s.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a1, s.y1));
    y = _mm_sub_ps(y, _mm_mul_ps(k.a2, s.y2));
    y = signedFloor(y);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

// One float of each lane's voice; lanes past `count` repeat lane 0.
template <class Field>
__m128 laneValues(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count, Field field) {
    alignas(16) float v[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        const int from = l < count ? l : 0;
        v[l] = field(*voices[from], *parts[from]);
    }
    return _mm_load_ps(v);
}

template <class Field>
__m128i laneInts(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count, Field field) {
    alignas(16) int32_t v[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        const int from = l < count ? l : 0;
        v[l] = field(*voices[from], *parts[from]);
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(v));
}

template <class Store>
void storeLanes(__m128 values, int count, Store store) {
    alignas(16) float v[kLanes];
    _mm_store_ps(v, values);
    for (int l = 0; l < count; ++l) store(l, v[l]);
}

template <class Store>
void storeLaneInts(__m128i values, int count, Store store) {
    alignas(16) int32_t v[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), values);
    for (int l = 0; l < count; ++l) store(l, v[l]);
}

EnvelopeLanes loadEnvelopes(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count,
                            Envelope Voice::*envelope, EnvelopeRates PartCoefficients::*rates) {
    EnvelopeLanes e;
    e.level = laneValues(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.*envelope).level; });
    e.stage = laneInts(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.*envelope).stage; });
    e.attackIncrement =
        laneValues(voices, parts, count, [&](const Voice&, const PartCoefficients& p) { return (p.*rates).attackIncrement; });
    e.decayFactor =
        laneValues(voices, parts, count, [&](const Voice&, const PartCoefficients& p) { return (p.*rates).decayFactor; });
    e.sustain = laneValues(voices, parts, count, [&](const Voice&, const PartCoefficients& p) { return (p.*rates).sustain; });
    e.releaseFactor =
        laneValues(voices, parts, count, [&](const Voice&, const PartCoefficients& p) { return (p.*rates).releaseFactor; });
    return e;
}

void storeEnvelopes(const EnvelopeLanes& e, Voice* const voices[kLanes], int count, Envelope Voice::*envelope) {
    storeLanes(e.level, count, [&](int l, float x) { (voices[l]->*envelope).level = x; });
    storeLaneInts(e.stage, count, [&](int l, int32_t x) { (voices[l]->*envelope).stage = x; });
}

SectionLanes loadSection(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count,
                         dsp::BiquadSection dsp::FourPoleFilter::*section) {
    SectionLanes s;
    s.x1 = laneValues(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.filter.*section).x1; });
    s.x2 = laneValues(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.filter.*section).x2; });
    s.y1 = laneValues(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.filter.*section).y1; });
    s.y2 = laneValues(voices, parts, count, [&](const Voice& v, const PartCoefficients&) { return (v.filter.*section).y2; });
    return s;
}

void storeSection(const SectionLanes& s, Voice* const voices[kLanes], int count,
                  dsp::BiquadSection dsp::FourPoleFilter::*section) {
    storeLanes(s.x1, count, [&](int l, float x) { (voices[l]->filter.*section).x1 = x; });
    storeLanes(s.x2, count, [&](int l, float x) { (voices[l]->filter.*section).x2 = x; });
    storeLanes(s.y1, count, [&](int l, float x) { (voices[l]->filter.*section).y1 = x; });
    storeLanes(s.y2, count, [&](int l, float x) { (voices[l]->filter.*section).y2 = x; });
}

int pulseShift(float pulseWidth) { return static_cast<int>(50.0f * pulseWidth + 50.0f) * kPulseShiftStep; }

// One oscillator's raw samples: sine, band-limited saw, pulse, triangle
// (DCO1) or ring modulation with DCO1's raw sample (DCO2).
template <int Wave, bool Second>
inline __m128 oscillatorLanes(const dsp::DspTables& t, const float* const saws[kLanes], __m128i shift, __m128i i,
                              __m128 raw1) {
    if constexpr (Wave == 0) {
        return gather(t.sine, i);
    } else if constexpr (Wave == 1) {
        return gather(saws, i);
    } else if constexpr (Wave == 2) {
        const __m128i shifted = _mm_and_si128(_mm_add_epi32(i, shift), _mm_set1_epi32(dsp::kTableMask));
        return _mm_sub_ps(gather(saws, i), gather(saws, shifted));
    } else if constexpr (!Second) {
        return gather(t.triangle, i);
    } else {
        return _mm_mul_ps(gather(t.sine, i), raw1);
    }
}

template <int Wave1, int Wave2>
void renderLanes(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count,
                 const LaneShape& shape, float* const left[kLanes], float* const right[kLanes], int frames) {
    const dsp::DspTables& t = dsp::dspTables();
    using V = const Voice&;
    using P = const PartCoefficients&;

    const float* saw1[kLanes];
    const float* saw2[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        const Voice& v = *voices[l < count ? l : 0];
        saw1[l] = t.sawTableForIncrement(v.osc[0].currentIncrement);
        saw2[l] = t.sawTableForIncrement(v.osc[1].currentIncrement);
    }
    const __m128i shift1 = laneInts(voices, parts, count, [](V v, P) { return pulseShift(v.osc[0].pulseWidth); });
    const __m128i shift2 = laneInts(voices, parts, count, [](V v, P) { return pulseShift(v.osc[1].pulseWidth); });
    const __m128 inc1 = laneValues(voices, parts, count, [](V v, P) { return v.osc[0].currentIncrement; });
    const __m128 inc2 = laneValues(voices, parts, count, [](V v, P) { return v.osc[1].currentIncrement; });
    const __m128 drive1 = laneValues(voices, parts, count, [](V v, P) { return v.osc[0].drive; });
    const __m128 drive2 = laneValues(voices, parts, count, [](V v, P) { return v.osc[1].drive; });
    const __m128 mix1 = laneValues(voices, parts, count, [](V v, P) { return v.osc[0].mix; });
    const __m128 mix2 = laneValues(voices, parts, count, [](V v, P) { return v.osc[1].mix; });
    const __m128 gainL = laneValues(voices, parts, count, [](V v, P) { return v.gainLeft; });
    const __m128 gainR = laneValues(voices, parts, count, [](V v, P) { return v.gainRight; });
    CoefficientLanes k;
    k.b0 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b0; });
    k.b1 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b1; });
    k.b2 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.b2; });
    k.a1 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.a1; });
    k.a2 = laneValues(voices, parts, count, [](V v, P) { return v.filterCoefficients.a2; });

    EnvelopeLanes outEnv = loadEnvelopes(voices, parts, count, &Voice::outputEnv, &PartCoefficients::outputEnv);
    EnvelopeLanes dcoEnv = loadEnvelopes(voices, parts, count, &Voice::dcoEnv, &PartCoefficients::dcoEnv);
    SectionLanes first = loadSection(voices, parts, count, &dsp::FourPoleFilter::first);
    SectionLanes second = loadSection(voices, parts, count, &dsp::FourPoleFilter::second);
    __m128 ph1 = laneValues(voices, parts, count, [](V v, P) { return v.osc[0].phase; });
    __m128 ph2 = laneValues(voices, parts, count, [](V v, P) { return v.osc[1].phase; });
    __m128 prev2 = laneValues(voices, parts, count, [](V v, P) { return v.osc[1].previousRaw; });

    // Envelopes that hold for the whole run: clamped once, as each step would.
    const bool outStepping = !envelopesHold(outEnv);
    if (!outStepping)
        outEnv.level = _mm_max_ps(_mm_min_ps(_mm_set1_ps(1.0f), outEnv.level), _mm_set1_ps(kEnvelopeFloor));
    const bool dcoStepping = shape.dcoEnvNeeded && !envelopesHold(dcoEnv);
    if (shape.dcoEnvNeeded && !dcoStepping)
        dcoEnv.level = _mm_max_ps(_mm_min_ps(_mm_set1_ps(1.0f), dcoEnv.level), _mm_set1_ps(kEnvelopeFloor));

    const __m128 tableSize = _mm_set1_ps(kTableSizeF);
    const bool filterOn = shape.filter1 || shape.filter2;
    __m128 outL[kControlPeriod];
    __m128 outR[kControlPeriod];
    for (int n = 0; n < frames; ++n) {
        if (outStepping) stepEnvelopes(outEnv);
        if (dcoStepping) stepEnvelopes(dcoEnv);

        // DCO1.
        ph1 = _mm_add_ps(ph1, inc1);
        const __m128 wrap1 = _mm_cmpge_ps(ph1, tableSize);
        ph1 = _mm_sub_ps(ph1, _mm_and_ps(wrap1, tableSize));
        if (shape.hardSync) ph2 = select(wrap1, ph1, ph2);
        const __m128 raw1 = oscillatorLanes<Wave1, false>(t, saw1, shift1, tableIndices(ph1), _mm_setzero_ps());
        __m128 a1 = _mm_mul_ps(_mm_mul_ps(raw1, shape.dco1Env ? dcoEnv.level : outEnv.level), drive1);
        a1 = _mm_mul_ps(clipUnit(a1), mix1);

        // DCO2.
        ph2 = _mm_add_ps(ph2, inc2);
        ph2 = _mm_sub_ps(ph2, _mm_and_ps(_mm_cmpge_ps(ph2, tableSize), tableSize));
        const __m128 raw2 = oscillatorLanes<Wave2, true>(t, saw2, shift2, tableIndices(ph2), raw1);
        prev2 = raw2;
        __m128 a2 = _mm_mul_ps(_mm_mul_ps(raw2, shape.dco2Env ? dcoEnv.level : outEnv.level), drive2);
        a2 = _mm_mul_ps(clipUnit(a2), mix2);

        __m128 dry;
        if (filterOn) {
            __m128 x = _mm_setzero_ps();
            dry = _mm_setzero_ps();
            if (shape.filter1) x = _mm_add_ps(x, a1); else dry = _mm_add_ps(dry, a1);
            if (shape.filter2) x = _mm_add_ps(x, a2); else dry = _mm_add_ps(dry, a2);
            __m128 y = processSection(first, k, x);
            if (shape.fourPole) y = processSection(second, k, y);
            dry = _mm_add_ps(dry, y);
        } else {
            dry = _mm_add_ps(a1, a2);
        }
        outL[n] = _mm_mul_ps(dry, gainL);
        outR[n] = _mm_mul_ps(dry, gainR);
    }

    // Samples by frame to samples by voice, four frames at a time.
    alignas(16) float scratch[kControlPeriod];
    for (int n = frames; n < (frames + 3) / 4 * 4; ++n) outL[n] = outR[n] = _mm_setzero_ps();
    for (int c = 0; c < 2; ++c) {
        __m128* const out = c == 0 ? outL : outR;
        float* const* const dest = c == 0 ? left : right;
        for (int n = 0; n < frames; n += 4) {
            __m128 r0 = out[n], r1 = out[n + 1], r2 = out[n + 2], r3 = out[n + 3];
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            const __m128 rows[kLanes] = {r0, r1, r2, r3};
            for (int l = 0; l < kLanes; ++l) {
                if (l >= count) break;
                if (n + 4 <= frames) {
                    _mm_storeu_ps(dest[l] + n, rows[l]);
                } else {
                    _mm_store_ps(scratch, rows[l]);
                    for (int m = n; m < frames; ++m) dest[l][m] = scratch[m - n];
                }
            }
        }
    }

    storeEnvelopes(outEnv, voices, count, &Voice::outputEnv);
    if (shape.dcoEnvNeeded) storeEnvelopes(dcoEnv, voices, count, &Voice::dcoEnv);
    if (filterOn) {
        storeSection(first, voices, count, &dsp::FourPoleFilter::first);
        if (shape.fourPole) storeSection(second, voices, count, &dsp::FourPoleFilter::second);
    }
    storeLanes(ph1, count, [&](int l, float x) { voices[l]->osc[0].phase = x; });
    storeLanes(ph2, count, [&](int l, float x) { voices[l]->osc[1].phase = x; });
    if (frames > 0) storeLanes(prev2, count, [&](int l, float x) { voices[l]->osc[1].previousRaw = x; });
}

using LaneRenderer = void (*)(Voice* const[kLanes], const PartCoefficients* const[kLanes], int, const LaneShape&,
                              float* const[kLanes], float* const[kLanes], int);

template <int Wave1>
constexpr LaneRenderer rendererFor(int wave2) {
    switch (wave2) {
        case 0: return &renderLanes<Wave1, 0>;
        case 1: return &renderLanes<Wave1, 1>;
        case 2: return &renderLanes<Wave1, 2>;
        default: return &renderLanes<Wave1, 3>;
    }
}

LaneRenderer rendererFor(int wave1, int wave2) {
    switch (wave1) {
        case 0: return rendererFor<0>(wave2);
        case 1: return rendererFor<1>(wave2);
        case 2: return rendererFor<2>(wave2);
        default: return rendererFor<3>(wave2);
    }
}

bool laneWave(int wave) { return wave >= 0 && wave <= 3; }

bool laneValue(float x, float lo, float hi) { return x >= lo && x < hi; }

}  // namespace

LaneShape laneShape(const PartCoefficients& part) {
    LaneShape s;
    s.wave1 = part.osc[0].wave;
    s.wave2 = part.osc[1].wave;
    s.dco1Env = part.osc[0].useDcoEnvelope;
    s.dco2Env = part.osc[1].useDcoEnvelope;
    s.filter1 = part.osc[0].throughFilter;
    s.filter2 = part.osc[1].throughFilter;
    s.fourPole = part.fourPole;
    s.hardSync = part.hardSync;
    s.dcoEnvNeeded = part.dcoEnvelopeNeeded;
    return s;
}

bool laneEligible(const Voice& v, const PartCoefficients& part, int frames) {
    // Noise (DCO1) and frequency modulation (DCO2) stay with renderVoice().
    if (!laneWave(part.osc[0].wave) || !laneWave(part.osc[1].wave)) return false;
    if (frames > kControlPeriod) return false;
    for (const OscillatorState& osc : v.osc) {
        if (osc.keySyncPending) return false;
        if (!laneValue(osc.currentIncrement, 0.0f, kMaxLaneIncrement)) return false;
        if (!laneValue(osc.phase, 0.0f, kTableSizeF)) return false;
    }
    // A released voice that reaches the floor inside the run stops there.
    // Far above the floor (the factor over the whole run, from four
    // squarings, leaves it more than 1 % above), no step can reach it.
    if (!v.gate && v.outputEnv.stage == kRelease) {
        float f = part.outputEnv.releaseFactor;
        if (f > 0.0f && f <= 1.0f) {
            f *= f;
            f *= f;
            f *= f;
            f *= f;  // f^16, at least the factor over the run
            if (v.outputEnv.level * f > kEnvelopeFloor * 1.01f && v.outputEnv.level <= 1.0f) return true;
        }
    }
    if (!v.gate) {
        Envelope e = v.outputEnv;
        for (int n = 0; n < frames; ++n) {
            if (!(e.level > kEnvelopeFloor)) return false;
            stepEnvelope(e, part.outputEnv);
        }
    }
    return true;
}

void renderVoiceLanes(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count,
                      const LaneShape& shape, float* const left[kLanes], float* const right[kLanes], int frames) {
    if (count < 1 || count > kLanes || frames <= 0 || frames > kControlPeriod) return;
    rendererFor(shape.wave1, shape.wave2)(voices, parts, count, shape, left, right, frames);
}

}  // namespace synth
