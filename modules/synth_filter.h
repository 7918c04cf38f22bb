// The resonant multimode filter of the synthesizer, reused by the filter and
// overdrive effects: a biquad designed from the shared filter tables, run as
// one section (two poles) or two identical sections in series (four poles).
//
// Design happens at the control rate (designBiquad), the sections run per
// sample with the state in the section object. Everything is single
// precision so that results agree across x86_64 and 32-bit SSE2 builds.
#pragma once

#include <bit>
#include <cstdint>

#include "modules/dsp_tables.h"

namespace dsp {

enum class FilterMode : int { LowPass = 0, BandPass = 1, HighPass = 2 };

struct BiquadCoefficients {
    float b0 = 0.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
};

// Cutoff table index for a cutoff given in semitones above the table's base
// frequency (table index 0): trunc(semitones * 148.1008), limited to the table.
inline int cutoffTableIndex(float semitonesAboveBase) {
    const float k = semitonesAboveBase * kCutoffStepsPerSemitone;
    if (!(k > 0.0f)) return 0;  // also catches NaN
    if (k >= static_cast<float>(kTableMask)) return kTableMask;
    return static_cast<int>(k);
}

// Q table index for a resonance control q in 0..1: trunc(16384 q), limited.
inline int qTableIndex(float q) {
    const float h = q * static_cast<float>(kTableSize);
    if (!(h > 0.0f)) return 0;
    if (h >= static_cast<float>(kTableMask)) return kTableMask;
    return static_cast<int>(h);
}

// Bilinear-transform biquad with the tables' sin(w)/2, cos(w) and Q.
// Indices must be within 0..16383 (use the helpers above).
inline BiquadCoefficients designBiquad(const DspTables& tables, int cutoffIndex, int qIndex, FilterMode mode) {
    const float s = tables.filterSin[cutoffIndex];
    const float c = tables.filterCos[cutoffIndex];
    const float alpha = s / tables.filterQ[qIndex];
    const float a0 = 1.0f / (1.0f + alpha);
    BiquadCoefficients k;
    k.a1 = -2.0f * c * a0;
    k.a2 = (1.0f - alpha) * a0;
    switch (mode) {
        case FilterMode::LowPass:
            k.b1 = (1.0f - c) * a0;
            k.b0 = k.b2 = k.b1 / 2.0f;
            break;
        case FilterMode::BandPass:
            k.b0 = s * a0;
            k.b1 = 0.0f;
            k.b2 = -k.b0;
            break;
        case FilterMode::HighPass:
            k.b1 = -(1.0f + c) * a0;
            k.b0 = k.b2 = -k.b1 / 2.0f;
            break;
    }
    return k;
}

// How a section keeps its recursion out of the denormal range.
enum class DenormalGuard {
    // The synthesizer: a result of magnitude below 1e-8 becomes +-1e-8 with
    // its sign (0 counts as positive). Keeps a decaying voice's recursion a
    // hair above zero instead of sliding into denormals.
    SignedFloor,
    // The effects: a result of magnitude at most 1e-10 becomes 0.
    FlushToZero,
};

// The guards run on every section output, inside the recursion. Tested as
// "y < 1e-8 && y > -1e-8" they branch on the sign of y, which a bright signal
// flips at random, so the branches mispredict about half the time. Computed
// as masks (branch-free) they lengthen the recursion's dependency chain,
// which bounds the filter's speed, by more than doubling it. Here the only
// branch tests the magnitude, read from the bit pattern: it is taken only
// where a signal dies away into silence, so it is predicted right, and the
// chain does not wait for it. The integer compare orders like the magnitude
// for every non-NaN value; NaN is above the limits and passes unchanged, as
// it did through the comparisons.
namespace guard_detail {
inline std::uint32_t magnitudeBits(float y) { return std::bit_cast<std::uint32_t>(y) & 0x7fffffffu; }
}  // namespace guard_detail

// Magnitude below 1e-8 becomes 1e-8, keeping the sign; zeros (either sign)
// become +1e-8.
inline float signedFloor(float y) {
    constexpr float kFloor = 1e-8f;
    if (guard_detail::magnitudeBits(y) < std::bit_cast<std::uint32_t>(kFloor)) [[unlikely]]
        y = y < 0.0f ? -kFloor : kFloor;
    return y;
}

// Magnitude at most 1e-10 becomes 0.
inline float flushTiny(float y) {
    if (guard_detail::magnitudeBits(y) <= std::bit_cast<std::uint32_t>(1e-10f)) [[unlikely]]
        y = 0.0f;
    return y;
}

// One Direct Form I section: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
struct BiquadSection {
    float x1 = 0.0f;
    float x2 = 0.0f;
    float y1 = 0.0f;
    float y2 = 0.0f;

    void reset() { x1 = x2 = y1 = y2 = 0.0f; }

    template <DenormalGuard Guard>
    float process(const BiquadCoefficients& k, float x) {
        float y = k.b0 * x + k.b1 * x1 + k.b2 * x2 - k.a1 * y1 - k.a2 * y2;
        if constexpr (Guard == DenormalGuard::SignedFloor)
            y = signedFloor(y);
        else
            y = flushTiny(y);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Two sections with their own histories sharing one set of coefficients:
// the response of the biquad squared when both run.
struct FourPoleFilter {
    BiquadSection first;
    BiquadSection second;

    void reset() {
        first.reset();
        second.reset();
    }
    // Two poles: the first section only.
    template <DenormalGuard Guard>
    float processTwoPole(const BiquadCoefficients& k, float x) {
        return first.process<Guard>(k, x);
    }
    // Four poles: the first section feeds the second.
    template <DenormalGuard Guard>
    float processFourPole(const BiquadCoefficients& k, float x) {
        return second.process<Guard>(k, first.process<Guard>(k, x));
    }
};

}  // namespace dsp
