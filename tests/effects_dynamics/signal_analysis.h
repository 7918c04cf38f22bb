// Measurements on rendered signals: levels, peaks, tone magnitudes.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace measure {

constexpr double kPi = 3.14159265358979323846;

inline std::vector<float> sine(size_t frames, double frequencyHz, double sampleRate, double amplitude,
                               double phase = 0.0) {
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * frequencyHz * static_cast<double>(i) / sampleRate + phase));
    return s;
}

// RMS of [begin, end) around the mean, so a DC offset does not count.
inline double acRms(const std::vector<float>& x, size_t begin, size_t end) {
    double mean = 0.0;
    for (size_t i = begin; i < end; ++i) mean += x[i];
    mean /= static_cast<double>(end - begin);
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += (x[i] - mean) * (x[i] - mean);
    return std::sqrt(sum / static_cast<double>(end - begin));
}

inline double rms(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

inline double peak(const std::vector<float>& x, size_t begin, size_t end) {
    double p = 0.0;
    for (size_t i = begin; i < end; ++i) p = std::fmax(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

inline size_t peakIndex(const std::vector<float>& x) {
    size_t best = 0;
    for (size_t i = 1; i < x.size(); ++i)
        if (std::fabs(x[i]) > std::fabs(x[best])) best = i;
    return best;
}

// Amplitude of the component at frequencyHz over [begin, end) (Goertzel,
// Hann window, scaled so that a sine of amplitude a reads a).
inline double toneAmplitude(const std::vector<float>& x, size_t begin, size_t end, double frequencyHz,
                            double sampleRate) {
    const size_t n = end - begin;
    const double w = 2.0 * kPi * frequencyHz / sampleRate;
    double re = 0.0, im = 0.0, windowSum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
        const double v = x[begin + i] * hann;
        re += v * std::cos(w * static_cast<double>(i));
        im -= v * std::sin(w * static_cast<double>(i));
        windowSum += hann;
    }
    return 2.0 * std::sqrt(re * re + im * im) / windowSum;
}

inline double db(double linear) { return 20.0 * std::log10(linear); }
// The compressor and limiter count 6 units per doubling.
inline double units(double linear) { return 6.0 * std::log2(linear); }

}  // namespace measure
