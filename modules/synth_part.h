// Working coefficients of one synthesizer part, derived from its 67 stored
// values, the sample rate and the pitch bend. Recomputed only when one of
// those changes; the voices read them at audio and control rate.
#pragma once

#include "modules/synth_filter.h"

namespace synth {

// MIDI note 0: 440 * 2^(3/12) / 64 Hz.
constexpr float kNoteZeroHz = 8.1757989f;
// Keyboard off: the oscillator stays at note 36 (2^(36/12) = 8).
constexpr float kFixedNoteRatio = 8.0f;
// Envelope floor: levels never go below it, and a voice whose output
// envelope is at the floor with its gate off is silent.
constexpr float kEnvelopeFloor = 0.0001f;
// The instruments run modulation once every 16 frames.
constexpr int kControlPeriod = 16;

struct EnvelopeRates {
    float attackIncrement = 0.0f;  // per step
    float decayFactor = 0.0f;      // per step
    float sustain = 0.0f;
    float releaseFactor = 0.0f;
};

struct OscillatorSettings {
    int wave = 0;                  // 0..4, see the wave tables
    float pulseWidth = 0.0f;       // parameter value, before LFO
    int lfoPulse = 0;              // 0 none, 1 LFO1, 2 LFO2
    int lfoFrequency = 0;
    float baseIncrement = 0.0f;    // table steps per sample of MIDI note 0, bent
    bool keySync = false;
    float glideDivisor = 1.0f;     // 1 + 200 v
    bool keyboard = true;
    float driveGain = 1.0f;        // 10^v
    bool useDcoEnvelope = false;   // amplitude from the DCO envelope
    float envFreqExponent = 0.0f;  // (v - 0.5) for 128^(x * level)
    bool throughFilter = false;
    float mixGain = 1.0f;
};

struct LfoSettings {
    int wave = 0;                  // 0..4
    bool waveIsRandom = false;     // Wave exactly 1
    float delayTicks = 0.0f;       // control ticks before the LFO starts (0: none)
    float increment = 0.0f;        // table steps per control tick
    float depth = 0.0f;
    bool sync = false;             // non-zero: restart at note on
    bool syncExactlyOne = false;   // one cycle only (LFO2), no redraw of S/H
    bool modWheel = false;
    int sawTable = 0;              // sawtooth table chosen by the increment
};

struct PartCoefficients {
    OscillatorSettings osc[2];
    bool hardSync = false;
    EnvelopeRates dcoEnv;
    EnvelopeRates filterEnv;       // per control tick
    EnvelopeRates outputEnv;
    bool dcoEnvelopeNeeded = false;
    bool filterKeyboard = true;
    dsp::FilterMode filterMode = dsp::FilterMode::LowPass;
    bool fourPole = true;
    float cutoff = 1.0f;           // FILTER Frequency v, 128 semitones a unit
    float q = 0.2f;                // FILTER Q v
    float filterEnvAmount = 0.0f;  // 2v - 1
    int lfoCutoff = 0;
    int lfoQ = 0;
    LfoSettings lfo[2];
    float velocitySensitivity = 0.0f;
    float levelGain = 1.0f;
    float balance = 0.5f;
    int lfoLevel = 0;
    int lfoBalance = 0;
};

// values: the part's 67 stored values in parameter order.
void computePart(PartCoefficients& part, const float* values, float sampleRate, float bend);
// Only the bent base increments (after a pitch-bend message).
void computeBaseIncrements(PartCoefficients& part, const float* values, float sampleRate, float bend);
// After parameter `param` alone changed in values: the coefficients it
// sets, as computePart() sets them, where nothing else (the lane shape, the
// base increments) depends on it; returns false, changing nothing, for the
// other parameters, which take computePart().
bool computePartValue(PartCoefficients& part, const float* values, int param, float sampleRate);

// LFO number named by a stored selector value: 1, 2, or 0 for none.
inline int selectedLfo(float stored) { return stored == 1.0f ? 1 : stored == 2.0f ? 2 : 0; }

// trunc(x), limited to lo..hi; NaN gives lo. Float values from hosts and
// chunks are converted only through this.
int truncClamped(float x, int lo, int hi);

}  // namespace synth
