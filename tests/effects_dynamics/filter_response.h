// Frequency response of a module measured with steady sines, and the corner
// frequency that the shared filter tables give a cutoff value.
#pragma once

#include <cmath>

#include "tests/effects_dynamics/hosted_effect.h"
#include "tests/effects_dynamics/signal_analysis.h"

// The filter tables' angular frequency for a cutoff value c in 0..1 (128
// semitones per unit, 148.1008 table steps per semitone), in Hz at rate.
inline double cornerHz(double cutoffValue, double rate) {
    int k = static_cast<int>(cutoffValue * 128.0 * 148.1008);
    if (k > 16383) k = 16383;
    const double w = 0.004776659 * std::pow(595.9091, k / 16384.0);
    return w / (2.0 * measure::kPi) * rate;
}

// Gain in dB of the module at frequencyHz for a sine of the given amplitude
// fed to both channels, measured on the left output after it has settled.
// The module keeps its state between calls, so callers start each
// measurement from a fresh module when the history matters.
inline double gainDb(HostedEffect& fx, double frequencyHz, double rate, double amplitude = 0.1) {
    const size_t frames = static_cast<size_t>(rate * 0.25);
    StereoBuffer in(frames);
    in.left = measure::sine(frames, frequencyHz, rate, amplitude);
    in.right = in.left;
    const StereoBuffer out = fx.process(in);
    return measure::db(measure::toneAmplitude(out.left, frames / 2, frames, frequencyHz, rate) / amplitude);
}
