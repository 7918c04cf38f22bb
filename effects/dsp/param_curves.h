// Mappings from the 0..1 parameter values that hosts and projects send to the
// quantities the effects work with. Most are exponential, k * base^x, so that
// equal parameter moves give equal musical ratios.
#pragma once

#include <cmath>

#include "common/portable_math.h"

namespace fxdsp {

// The value a mapping works with: parameters are specified as 0..1, but a host
// or a damaged project may send anything; a NaN would poison smoothed values
// and delay lines for good, so it maps like 0.
inline float unitParam(float x) {
    if (!(x > 0.0f)) return 0.0f;
    if (x > 1.0f) return 1.0f;
    return x;
}

// k * base^x, evaluated in double precision.
inline double expCurve(double k, double base, float x) { return k * portable::pow(base, static_cast<double>(x)); }

// Output level of the effects: 32^x / sqrt(32), -15 dB at 0, unity at 0.5,
// +15 dB at 1.
constexpr double kLevelGainAtZero = 0.17677669;  // 1 / sqrt(32)
inline double levelGain(float x) { return expCurve(kLevelGainAtZero, 32.0, unitParam(x)); }
inline double levelDisplayDb(float x) { return 30.0 * static_cast<double>(x) - 15.0; }

// Filter corners: 10 Hz * 2000^x, 10 Hz .. 20 kHz.
inline double cutoffHz(float x) { return expCurve(10.0, 2000.0, unitParam(x)); }

// Switches act when their value is not 0.
inline bool switchOn(float x) { return x != 0.0f; }

// Displayed "on" only for exactly 1.0: a value between 0 and 1 acts as on but
// reads "off", as the original modules showed it.
inline bool switchDisplaysOn(float x) { return x == 1.0f; }

}  // namespace fxdsp
