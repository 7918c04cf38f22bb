// Lookup tables shared by the synthesizer, the sampler, the filter and the
// overdrive modules: one cycle of sine and triangle, ten band-limited falling
// sawtooth cycles, the map from an oscillator's phase increment to the
// sawtooth table that stays below Nyquist, and the filter design tables.
//
// All tables are built on the first call of dspTables() (thread-safe: a
// function-local static, so two modules created at the same time from two
// threads build them once) and are read-only afterwards, so the audio threads
// of any number of instances may read them without synchronisation. Module
// constructors call dspTables() so that the build never happens on an audio
// thread.
#pragma once

#include <cstdint>

namespace dsp {

// One cycle = 16384 table steps; oscillator phases run from 0 to 16384 and
// phase increments are table steps per sample.
constexpr int kTableSize = 16384;
constexpr int kTableMask = kTableSize - 1;

// Table k holds 2^(10-k) - 1 harmonics: 1023 in table 0, 1 in table 9, one
// octave apart, so each pitch range gets the richest table that does not
// alias at 44.1 kHz.
constexpr int kSawTableCount = 10;

// The filter tables hold angular frequencies per sample, spaced
// exponentially: index 0 is w = 0.004776659 (about 33.5 Hz at 44.1 kHz) and
// the ratio over the whole table is 595.9091 (up to about 19.98 kHz), so one
// semitone is 148.1008 table steps.
constexpr double kFilterBaseOmega = 0.004776659;
constexpr double kFilterOmegaSpan = 595.9091;
constexpr float kCutoffStepsPerSemitone = 148.1008f;

struct DspTables {
    float sine[kTableSize];      // sin(2 pi i / 16384)
    float triangle[kTableSize];  // -1 at 0, +1 at the half cycle, back to -1
    float saw[kSawTableCount][kTableSize];  // falling ramp, peak about 0.6 * pi / 2
    // Harmonic map behind a zero cell: sawCell[0] = 0, sawCell[m + 1] is the
    // map's entry m. Use sawTableForIncrement() rather than this directly.
    int32_t sawCell[kTableSize + 1];
    float filterSin[kTableSize];  // S_i = sin(w_i) / 2
    float filterCos[kTableSize];  // C_i = cos(w_i)
    float filterQ[kTableSize];    // Q_i = 0.1 * 100^(i / 16384), 0.1 .. 10

    // Number (0..9) of the sawtooth table for a phase increment whose integer
    // part is m: table 0 for m = 0, else the map's entry m - 1; increments of
    // 16384 or more use the map's last entry.
    int sawTableNumber(int32_t incrementSteps) const {
        if (incrementSteps < 0) incrementSteps = 0;
        if (incrementSteps > kTableSize) incrementSteps = kTableSize;
        return sawCell[incrementSteps];
    }
    int sawTableNumberForIncrement(float increment) const {
        // Compare in float first: a cast of a huge float to int is undefined.
        if (!(increment >= 0.0f)) return sawCell[0];
        if (increment >= static_cast<float>(kTableSize)) return sawCell[kTableSize];
        return sawCell[static_cast<int32_t>(increment)];
    }
    const float* sawTableForIncrement(float increment) const { return saw[sawTableNumberForIncrement(increment)]; }
};

// The shared tables, built on first use. Safe to call from any thread.
const DspTables& dspTables();

// Uniform integers 0 .. 32767 for noise, random LFO values and random
// patterns. Each module owns one, so audio threads never share its state;
// a linear congruential step is ample for audio noise.
class Random15 {
public:
    explicit Random15(uint32_t seed = 1) : state_(seed) {}
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }
    // (random integer 0 .. 32767) / 16384 - 1, the bipolar form the
    // oscillators and LFOs use.
    float nextBipolar() { return static_cast<float>(next()) / 16384.0f - 1.0f; }
    void seed(uint32_t s) { state_ = s; }

private:
    uint32_t state_;
};

}  // namespace dsp
