// One synthesizer voice: two table oscillators, three envelopes, the
// multimode filter, two LFOs and the output gains. The voice keeps only its
// state; everything derived from parameters comes from its part's
// PartCoefficients.
//
// Audio-rate work is renderVoice(), over runs of frames between two control
// ticks or MIDI events; modulation is controlUpdate(), once every 16 frames.
#pragma once

#include <cstdint>

#include "modules/dsp_tables.h"
#include "modules/synth_filter.h"
#include "modules/synth_part.h"

namespace synth {

// The pulse wave is the difference of two saws, the second shifted by
// n * 163 steps for n = 50 .. 100 (about half to all of a cycle).
constexpr int kPulseShiftStep = 163;

// Shared by the one-voice loop and the lanes, which must compute alike.
// FM depth follows DCO2's pulse width this much per sample.
constexpr float kFmDepthSmoothing = 0.001f;
// The FM phase offset: the sine at DCO2's increment, over 2 pi.
constexpr float kFmOffsetScale = 0.15915494309189535f;
// Key sync restarts an oscillator a quarter cycle in, at the sine's peak
// and the sawtooth's midpoint.
constexpr float kKeySyncPhase = 4096.0f;

enum EnvelopeStage : int { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

struct Envelope {
    float level = kEnvelopeFloor;
    int stage = kIdle;
};

struct OscillatorState {
    float phase = 0.0f;             // 0 .. 16384
    float targetIncrement = 0.0f;   // base increment times the note ratio
    float currentIncrement = 0.0f;  // gliding toward the modulated target
    float noteRatio = 1.0f;         // 2^(note/12), or 8 with the keyboard off
    float pulseWidth = 0.0f;        // with LFO, 0.01 .. 1
    float drive = 0.0f;             // smoothed drive gain
    float mix = 0.0f;               // smoothed mix gain
    bool keySyncPending = false;
    float previousRaw = 0.0f;
    // The last pitch exponent and its 2^x: a held note whose modulation
    // does not move keeps its factor without a new exponential.
    float pitchExponent = 0.0f;
    float pitchFactor = 1.0f;
};

struct LfoState {
    float delayTicks = 0.0f;
    float phase = 0.0f;
    float raw = 0.0f;
    float output = 0.0f;
};

struct Voice {
    int part = 0;
    int note = 24;
    int velocity = 127;
    bool gate = false;
    // Order of the note-on that last claimed the voice (a counter of the
    // module, not wall-clock time, so that offline rendering faster than
    // real time still orders notes correctly).
    uint64_t startOrder = 0;
    bool pedalHeld = false;
    bool running = false;

    OscillatorState osc[2];
    Envelope dcoEnv;
    Envelope filterEnv;
    Envelope outputEnv;

    float smoothedCutoff = 0.0f;
    float smoothedQ = 0.0f;
    dsp::BiquadCoefficients filterCoefficients;
    // Table indices and mode filterCoefficients were designed from (-1: none yet).
    int designedCutoffIndex = -1;
    int designedQIndex = -1;
    dsp::FilterMode designedMode = dsp::FilterMode::LowPass;
    dsp::FourPoleFilter filter;
    float fmDepth = 0.0f;  // DCO2 frequency-modulation depth, follows its pulse width
    // The last cutoff LFO exponent and its 2^x, kept as the pitch's are.
    float cutoffExponent = 0.0f;
    float cutoffFactor = 1.0f;

    LfoState lfo[2];
    float gainLeft = 0.0f;
    float gainRight = 0.0f;

    bool sounding() const { return gate || outputEnv.level > kEnvelopeFloor; }
};

// Shared modulation sources of the module.
struct ModulationInputs {
    float modWheel = 0.0f;  // 0 .. 1
};

// Target increments from the part's base increments and the voice's note.
void updateTargetIncrements(Voice& voice, const PartCoefficients& part);

// Note on with velocity 0..127. retrigger is false for legato notes in mono
// mode: the envelopes, the velocity and the LFOs carry on.
void voiceNoteOn(Voice& voice, const PartCoefficients& part, int note, int velocity, bool retrigger,
                 dsp::Random15& random);

// Gate off and every envelope to release.
void voiceRelease(Voice& voice);

// Back to the initial state after a mode change: gate off, envelopes idle.
void voiceReset(Voice& voice);

// Modulation step; smooth = false jumps the gains and filter values to their
// targets (a voice that just started). With shortcuts, work whose result is
// known is skipped (an exponential of zero, a filter design from the same
// table indices); without, every step is computed in full, the reference
// the shortcuts must match bit for bit.
void controlUpdate(Voice& voice, const PartCoefficients& part, const ModulationInputs& inputs, bool smooth,
                   dsp::Random15& random, bool shortcuts = true);

// The control tick of the running voices among voices[i] for each bit i of
// voiceBits, in voice order, each with parts[voice.part] and smoothing: what
// controlUpdate() does for each of them.
void controlTick(Voice voices[], uint32_t voiceBits, const PartCoefficients parts[], const ModulationInputs& inputs,
                 dsp::Random15& random, bool shortcuts = true);

// Adds frames samples of the voice to left and right. The caller has done
// the start-of-run bookkeeping (running flag, immediate control update).
// Returns false when the voice fell silent during the run; it then adds
// nothing for the rest of the run. With noise on DCO1, noise (where not
// null) holds the values to take, one a frame, instead of drawing them
// from random (the lanes' noise, drawn beforehand).
bool renderVoice(Voice& voice, const PartCoefficients& part, float* left, float* right, int frames,
                 dsp::Random15& random, const float* noise = nullptr);

// The limits every envelope step ends with.
inline void clampEnvelope(Envelope& e) {
    if (e.level > 1.0f) e.level = 1.0f;
    if (!(e.level >= kEnvelopeFloor)) e.level = kEnvelopeFloor;
}

// Sustain and idle keep their stage and level: a step only clamps, and
// clamping again changes nothing.
inline bool envelopeHolds(const Envelope& e) { return e.stage == kSustain || e.stage == kIdle; }

// One envelope step.
inline void stepEnvelope(Envelope& e, const EnvelopeRates& r) {
    if (e.stage == kAttack && e.level >= 1.0f) e.stage = kDecay;
    if (e.stage == kDecay && e.level <= r.sustain) e.stage = kSustain;
    switch (e.stage) {
        case kAttack:
            e.level += r.attackIncrement;
            break;
        case kDecay:
            e.level *= r.decayFactor;
            break;
        case kRelease:
            e.level *= r.releaseFactor;
            break;
        default:
            break;
    }
    clampEnvelope(e);
}

}  // namespace synth
