#include "modules/synth_voice.h"

#include <bit>
#include <cmath>
#include <initializer_list>

#include "common/portable_math.h"
#include "modules/balance_law.h"

namespace synth {
namespace {

constexpr float kTableSizeF = static_cast<float>(dsp::kTableSize);
// Gain and filter smoothing per control tick.
constexpr float kGainSmoothing = 0.01f;
constexpr float kFilterSmoothing = 0.05f;

// Keeps a phase in 0 .. 16384 after one advance (increments of a cycle or
// more only happen at absurd pitches, handled without a long loop).
inline float wrapOnce(float phase) {
    phase -= kTableSizeF;
    if (phase >= kTableSizeF) phase = std::fmod(phase, kTableSizeF);
    return phase;
}

// 2^x; exp2 of zero is exactly one, and a modulation that is off (an
// LFO output or an envelope amount of zero) needs no exponential.
inline float exp2OrOne(float x, bool shortcuts) { return shortcuts && x == 0.0f ? 1.0f : portable::exp2(x); }

// 2^x, remembered with its x: the same x again (a held note whose
// modulation stands still) takes the remembered value. The pair starts at
// 0 and 1, exp2 of either zero.
inline float exp2Remembered(float x, float& lastX, float& lastValue, bool shortcuts) {
    if (shortcuts && x == lastX) return lastValue;
    const float value = exp2OrOne(x, shortcuts);
    lastX = x;
    lastValue = value;
    return value;
}

inline int tableIndex(float phase) { return static_cast<int>(phase) & dsp::kTableMask; }

float lfoOutput(const ModulationInputs& inputs, const LfoSettings& s, float raw) {
    const float out = s.depth * raw;
    return s.modWheel ? out * inputs.modWheel : out;
}

// Inlined into the control update, once for each LFO.
__attribute__((always_inline)) inline void advanceLfo(LfoState& state, const LfoSettings& s, bool isLfo2,
                                                      const ModulationInputs& inputs, dsp::Random15& random,
                                                      const dsp::DspTables& t) {
    if (state.delayTicks > 0.0f) {
        state.delayTicks -= 1.0f;
        state.output = 0.0f;
        state.phase = 0.0f;
        return;
    }
    state.phase += s.increment;
    if (state.phase >= kTableSizeF) {
        // LFO2 with Sync exactly 1 runs one cycle and holds its last value.
        if (isLfo2 && s.syncExactlyOne)
            state.phase = kTableSizeF - 0.001f;
        else
            state.phase = wrapOnce(state.phase);
    }
    const int i = tableIndex(state.phase);
    switch (s.wave) {
        case 0:
            state.raw = t.sine[i];
            break;
        case 1:
            state.raw = t.triangle[i];
            break;
        case 2:
            state.raw = t.saw[s.sawTable][i];
            break;
        case 3:
            state.raw = isLfo2 ? (i > 8191 ? 1.0f : -1.0f) : t.saw[s.sawTable][dsp::kTableMask - i];
            break;
        default: {
            // Sample and hold: a new value where the next step crosses the
            // half cycle, unless Sync exactly 1 keeps the note-on value.
            const float next = state.phase + s.increment;
            const int nextIndex = next < 2.0f * kTableSizeF ? static_cast<int>(next) : 0;
            if (!s.syncExactlyOne && i <= 8191 && (nextIndex & 8192) != 0) state.raw = random.nextBipolar();
            break;
        }
    }
    state.output = lfoOutput(inputs, s, state.raw);
}

float lfoValue(const Voice& v, int selector) { return selector == 0 ? 0.0f : v.lfo[selector - 1].output; }

void restartLfo(LfoState& state, const LfoSettings& s, dsp::Random15& random) {
    state.phase = 0.0f;
    if (s.waveIsRandom) {
        state.delayTicks = 0.0f;
        state.raw = random.nextBipolar();
    } else {
        state.delayTicks = s.delayTicks;
        state.raw = 0.0f;
    }
}

}  // namespace

void updateTargetIncrements(Voice& voice, const PartCoefficients& part) {
    for (int o = 0; o < 2; ++o) voice.osc[o].targetIncrement = part.osc[o].baseIncrement * voice.osc[o].noteRatio;
}

void voiceNoteOn(Voice& voice, const PartCoefficients& part, int note, int velocity, bool retrigger,
                 dsp::Random15& random) {
    voice.note = note;
    if (retrigger) {
        voice.velocity = velocity;
        voice.gate = true;
        voice.dcoEnv.stage = kAttack;
        voice.filterEnv.stage = kAttack;
        voice.outputEnv.stage = kAttack;
        for (int o = 0; o < 2; ++o)
            if (part.osc[o].keySync) voice.osc[o].keySyncPending = true;
    }
    const float ratio = portable::exp2(static_cast<float>(note) / 12.0f);
    for (int o = 0; o < 2; ++o) voice.osc[o].noteRatio = part.osc[o].keyboard ? ratio : kFixedNoteRatio;
    updateTargetIncrements(voice, part);
    if (retrigger) {
        for (int l = 0; l < 2; ++l)
            if (part.lfo[l].sync) restartLfo(voice.lfo[l], part.lfo[l], random);
    }
}

void voiceRelease(Voice& voice) {
    voice.gate = false;
    voice.pedalHeld = false;
    voice.dcoEnv.stage = kRelease;
    voice.filterEnv.stage = kRelease;
    voice.outputEnv.stage = kRelease;
}

void voiceReset(Voice& voice) {
    voice.gate = false;
    voice.pedalHeld = false;
    voice.running = false;
    for (Envelope* e : {&voice.dcoEnv, &voice.filterEnv, &voice.outputEnv}) {
        e->stage = kIdle;
        e->level = kEnvelopeFloor;
    }
}

namespace {

// The modulation step of controlUpdate(), with the tables given.
__attribute__((always_inline)) inline void updateVoice(Voice& v, const PartCoefficients& part,
                                                      const ModulationInputs& inputs, bool smooth,
                                                      dsp::Random15& random, bool shortcuts,
                                                      const dsp::DspTables& t) {
    const float g = smooth ? kGainSmoothing : 1.0f;

    // 1. Pitch, with the LFO outputs of the previous update.
    for (int o = 0; o < 2; ++o) {
        const OscillatorSettings& s = part.osc[o];
        OscillatorState& osc = v.osc[o];
        float exponent = s.envFreqExponent * v.dcoEnv.level * 7.0f;  // 128^x = 2^(7x)
        if (s.lfoFrequency != 0) exponent += lfoValue(v, s.lfoFrequency);
        const float factor = exp2Remembered(exponent, osc.pitchExponent, osc.pitchFactor, shortcuts);
        const float target = osc.targetIncrement * factor;
        osc.currentIncrement += (target - osc.currentIncrement) / s.glideDivisor;
    }

    // 2. Filter.
    float cutoff = part.cutoff;
    float q = part.q;
    if (part.lfoCutoff != 0)
        cutoff *= exp2Remembered(3.0f * lfoValue(v, part.lfoCutoff), v.cutoffExponent, v.cutoffFactor, shortcuts);  // 8^x
    if (part.lfoQ != 0) q *= 1.0f - (lfoValue(v, part.lfoQ) + 1.0f) * 0.5f;
    if (smooth) {
        v.smoothedCutoff += (cutoff - v.smoothedCutoff) * kFilterSmoothing;
        v.smoothedQ += (q - v.smoothedQ) * kFilterSmoothing;
    } else {
        v.smoothedCutoff = cutoff;
        v.smoothedQ = q;
    }
    float noteValue = (part.filterEnvAmount * v.filterEnv.level + v.smoothedCutoff) * 128.0f;
    if (part.filterKeyboard) noteValue += static_cast<float>(v.note - 24);
    // Cutoff 128 v counts in semitones; the table starts 32 semitones up.
    const int cutoffIndex = dsp::cutoffTableIndex(noteValue - 32.0f);
    const int qIndex = dsp::qTableIndex(v.smoothedQ);
    // The design depends on the table indices and the mode only; a held
    // note's cutoff mostly stays on its index from one update to the next.
    if (!shortcuts || cutoffIndex != v.designedCutoffIndex || qIndex != v.designedQIndex ||
        part.filterMode != v.designedMode) {
        v.filterCoefficients = dsp::designBiquad(t, cutoffIndex, qIndex, part.filterMode);
        v.designedCutoffIndex = cutoffIndex;
        v.designedQIndex = qIndex;
        v.designedMode = part.filterMode;
    }
    stepEnvelope(v.filterEnv, part.filterEnv);

    // 3. Drive and mix gains.
    for (int o = 0; o < 2; ++o) {
        v.osc[o].drive += (part.osc[o].driveGain - v.osc[o].drive) * g;
        v.osc[o].mix += (part.osc[o].mixGain - v.osc[o].mix) * g;
    }

    // 4. LFOs.
    advanceLfo(v.lfo[0], part.lfo[0], false, inputs, random, t);
    advanceLfo(v.lfo[1], part.lfo[1], true, inputs, random, t);

    // 5. Pulse widths, with the new LFO outputs.
    for (int o = 0; o < 2; ++o) {
        float w = part.osc[o].pulseWidth + lfoValue(v, part.osc[o].lfoPulse);
        if (!(w >= 0.01f)) w = 0.01f;
        if (w > 1.0f) w = 1.0f;
        v.osc[o].pulseWidth = w;
    }

    // 6. Amplitude and balance.
    float amplitude =
        (part.velocitySensitivity * static_cast<float>(v.velocity - 127) / 128.0f + 1.0f) * part.levelGain;
    if (part.lfoLevel != 0) amplitude *= 1.0f - (lfoValue(v, part.lfoLevel) + 1.0f) * 0.5f;
    float d = ((2.0f * part.balance - 1.0f) + lfoValue(v, part.lfoBalance)) * 0.5f + 0.5f;
    // A deep LFO could push the balance past the ends, where the law turns
    // a gain negative; hold it at the ends instead.
    if (d < 0.0f) d = 0.0f;
    if (d > 1.0f) d = 1.0f;
    const dsp::BalanceGains balance = dsp::balanceGains(d);
    v.gainLeft += (amplitude * balance.left - v.gainLeft) * g;
    v.gainRight += (amplitude * balance.right - v.gainRight) * g;
}

}  // namespace

void controlUpdate(Voice& v, const PartCoefficients& part, const ModulationInputs& inputs, bool smooth,
                   dsp::Random15& random, bool shortcuts) {
    updateVoice(v, part, inputs, smooth, random, shortcuts, dsp::dspTables());
}

void controlTick(Voice voices[], uint32_t voiceBits, const PartCoefficients parts[], const ModulationInputs& inputs,
                 dsp::Random15& random, bool shortcuts) {
    const dsp::DspTables& t = dsp::dspTables();
    for (; voiceBits != 0; voiceBits &= voiceBits - 1) {
        Voice& v = voices[std::countr_zero(voiceBits)];
        if (v.running) updateVoice(v, parts[v.part], inputs, true, random, shortcuts, t);
    }
}

namespace {

// The one-voice loop for one pair of waves (5: none, silent), so that the
// loop does not branch on them. noise, where not null, holds the values
// DCO1's noise would draw, frame by frame.
template <int Wave1, int Wave2>
bool renderVoiceWaves(Voice& v, const PartCoefficients& part, float* left, float* right, int frames,
                      dsp::Random15& random, const float* noise) {
    const dsp::DspTables& t = dsp::dspTables();
    const OscillatorSettings& s1 = part.osc[0];
    const OscillatorSettings& s2 = part.osc[1];

    // Everything the loop touches lives in locals: the output buffers are
    // floats too, and through them the compiler would otherwise have to
    // reload and store the voice's state on every sample.
    const float inc1 = v.osc[0].currentIncrement;
    const float inc2 = v.osc[1].currentIncrement;
    const float* const saw1 = t.sawTableForIncrement(inc1);
    const float* const saw2 = t.sawTableForIncrement(inc2);
    const int shift1 = static_cast<int>(50.0f * v.osc[0].pulseWidth + 50.0f) * kPulseShiftStep;
    const int shift2 = static_cast<int>(50.0f * v.osc[1].pulseWidth + 50.0f) * kPulseShiftStep;
    const float fmOffset =
        t.sine[(inc2 < kTableSizeF ? static_cast<int>(inc2) : 0) & dsp::kTableMask] * kFmOffsetScale;
    const float drive1 = v.osc[0].drive, drive2 = v.osc[1].drive;
    const float mix1 = v.osc[0].mix, mix2 = v.osc[1].mix;
    const float gainL = v.gainLeft, gainR = v.gainRight;
    const float pulse2 = v.osc[1].pulseWidth;
    const bool hardSync = part.hardSync;
    const bool dco1Env = s1.useDcoEnvelope, dco2Env = s2.useDcoEnvelope;
    const bool filter1 = s1.throughFilter, filter2 = s2.throughFilter;
    const bool filterOn = filter1 || filter2;
    const bool fourPole = part.fourPole;
    const bool dcoEnvNeeded = part.dcoEnvelopeNeeded;
    const EnvelopeRates outRates = part.outputEnv;
    const EnvelopeRates dcoRates = part.dcoEnv;
    const dsp::BiquadCoefficients k = v.filterCoefficients;
    const bool gate = v.gate;

    Envelope outEnv = v.outputEnv;
    Envelope dcoEnv = v.dcoEnv;
    dsp::FourPoleFilter filter = v.filter;
    dsp::Random15 rng = random;
    float ph1 = v.osc[0].phase, ph2 = v.osc[1].phase;
    bool sync1 = v.osc[0].keySyncPending, sync2 = v.osc[1].keySyncPending;
    float fmDepth = v.fmDepth;
    float prev2 = v.osc[1].previousRaw;

    // With the gate on the loop runs every frame: an envelope that holds
    // is clamped once, as its first step would, and its steps are skipped.
    const bool outHolds = gate && frames > 0 && envelopeHolds(outEnv);
    if (outHolds) clampEnvelope(outEnv);
    const bool dcoSteps = dcoEnvNeeded && !(gate && frames > 0 && envelopeHolds(dcoEnv));
    if (dcoEnvNeeded && !dcoSteps) clampEnvelope(dcoEnv);

    bool sounding = true;
    for (int n = 0; n < frames; ++n) {
        if (!gate && !(outEnv.level > kEnvelopeFloor)) {
            sounding = false;
            break;
        }
        if (!outHolds) stepEnvelope(outEnv, outRates);
        if (dcoSteps) stepEnvelope(dcoEnv, dcoRates);

        // DCO1.
        ph1 += inc1;
        if (ph1 >= kTableSizeF) {
            ph1 = wrapOnce(ph1);
            if (hardSync) ph2 = ph1;
        }
        int i = tableIndex(ph1);
        float raw1;
        if constexpr (Wave1 == 0) raw1 = t.sine[i];
        else if constexpr (Wave1 == 1) raw1 = saw1[i];
        else if constexpr (Wave1 == 2) raw1 = saw1[i] - saw1[(i + shift1) & dsp::kTableMask];
        else if constexpr (Wave1 == 3) raw1 = t.triangle[i];
        else if constexpr (Wave1 == 4) raw1 = noise != nullptr ? noise[n] : rng.nextBipolar();
        else raw1 = 0.0f;
        if (sync1) {
            sync1 = false;
            ph1 = kKeySyncPhase;
        }
        float a1 = raw1 * (dco1Env ? dcoEnv.level : outEnv.level) * drive1;
        a1 = (a1 > 1.0f ? 1.0f : (a1 < -1.0f ? -1.0f : a1)) * mix1;

        // DCO2.
        ph2 += inc2;
        if (ph2 >= kTableSizeF) ph2 = wrapOnce(ph2);
        i = tableIndex(ph2);
        float raw2;
        if constexpr (Wave2 == 0) {
            raw2 = t.sine[i];
        } else if constexpr (Wave2 == 1) {
            raw2 = saw2[i];
        } else if constexpr (Wave2 == 2) {
            raw2 = saw2[i] - saw2[(i + shift2) & dsp::kTableMask];
        } else if constexpr (Wave2 == 3) {
            raw2 = t.sine[i] * raw1;
        } else if constexpr (Wave2 == 4) {
            fmDepth += (pulse2 - fmDepth) * kFmDepthSmoothing;
            float u = fmDepth * t.sine[tableIndex(ph1)] * 5.0f + ph2 * (1.0f / kTableSizeF) + fmOffset;
            u -= std::floor(u);
            raw2 = t.sine[static_cast<int>(u * kTableSizeF) & dsp::kTableMask];
        } else {
            raw2 = 0.0f;
        }
        if (sync2 && raw2 * prev2 < 0.0f) {
            sync2 = false;
            ph2 = kKeySyncPhase;
        }
        prev2 = raw2;
        float a2 = raw2 * (dco2Env ? dcoEnv.level : outEnv.level) * drive2;
        a2 = (a2 > 1.0f ? 1.0f : (a2 < -1.0f ? -1.0f : a2)) * mix2;

        float dry;
        if (filterOn) {
            float x = 0.0f;
            dry = 0.0f;
            if (filter1) x += a1; else dry += a1;
            if (filter2) x += a2; else dry += a2;
            dry += fourPole ? filter.processFourPole<dsp::DenormalGuard::SignedFloor>(k, x)
                            : filter.processTwoPole<dsp::DenormalGuard::SignedFloor>(k, x);
        } else {
            dry = a1 + a2;
        }
        left[n] += dry * gainL;
        right[n] += dry * gainR;
    }

    v.outputEnv = outEnv;
    v.dcoEnv = dcoEnv;
    v.filter = filter;
    random = rng;
    v.osc[0].phase = ph1;
    v.osc[1].phase = ph2;
    v.osc[0].keySyncPending = sync1;
    v.osc[1].keySyncPending = sync2;
    v.fmDepth = fmDepth;
    v.osc[1].previousRaw = prev2;
    if (!sounding) v.running = false;
    return sounding;
}

using VoiceRenderer = bool (*)(Voice&, const PartCoefficients&, float*, float*, int, dsp::Random15&, const float*);

template <int Wave1>
constexpr VoiceRenderer voiceRendererFor(int wave2) {
    switch (wave2) {
        case 0: return &renderVoiceWaves<Wave1, 0>;
        case 1: return &renderVoiceWaves<Wave1, 1>;
        case 2: return &renderVoiceWaves<Wave1, 2>;
        case 3: return &renderVoiceWaves<Wave1, 3>;
        case 4: return &renderVoiceWaves<Wave1, 4>;
        default: return &renderVoiceWaves<Wave1, 5>;
    }
}

VoiceRenderer voiceRendererFor(int wave1, int wave2) {
    switch (wave1) {
        case 0: return voiceRendererFor<0>(wave2);
        case 1: return voiceRendererFor<1>(wave2);
        case 2: return voiceRendererFor<2>(wave2);
        case 3: return voiceRendererFor<3>(wave2);
        case 4: return voiceRendererFor<4>(wave2);
        default: return voiceRendererFor<5>(wave2);
    }
}

}  // namespace

bool renderVoice(Voice& v, const PartCoefficients& part, float* left, float* right, int frames,
                 dsp::Random15& random, const float* noise) {
    return voiceRendererFor(part.osc[0].wave, part.osc[1].wave)(v, part, left, right, frames, random, noise);
}

}  // namespace synth
