// Synthetic signals with known figures.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "tools/audio_measure/stereo_signal.h"

namespace test_signals {

constexpr double kRate = 44100.0;

inline std::vector<float> sine(double hz, double amplitude, double seconds, double phase = 0.0) {
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate + phase));
    return x;
}

// Uniform white noise from a fixed seed, -amplitude .. amplitude.
inline std::vector<float> noise(double amplitude, double seconds, uint32_t seed) {
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    uint32_t s = seed;
    for (float& v : x) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<float>(amplitude * (static_cast<double>(s >> 8) / 8388608.0 - 1.0));
    }
    return x;
}

inline measure::StereoSignal stereo(std::vector<float> left, std::vector<float> right) {
    measure::StereoSignal s;
    s.rateHz = kRate;
    s.left = std::move(left);
    s.right = std::move(right);
    return s;
}

inline measure::StereoSignal dual(const std::vector<float>& both) { return stereo(both, both); }

}  // namespace test_signals
