#include "tools/samplegen/synth_kit.h"

#include <algorithm>

namespace samplegen {

Biquad Biquad::fromRaw(double b0, double b1, double b2, double a0, double a1, double a2) {
    Biquad f;
    f.b0_ = b0 / a0;
    f.b1_ = b1 / a0;
    f.b2_ = b2 / a0;
    f.a1_ = a1 / a0;
    f.a2_ = a2 / a0;
    return f;
}

Biquad Biquad::lowpass(double cutoffHz, double q, double rateHz) {
    double w = kTwoPi * cutoffHz / rateHz;
    double alpha = std::sin(w) / (2.0 * q);
    double c = std::cos(w);
    return fromRaw((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::highpass(double cutoffHz, double q, double rateHz) {
    double w = kTwoPi * cutoffHz / rateHz;
    double alpha = std::sin(w) / (2.0 * q);
    double c = std::cos(w);
    return fromRaw((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::bandpass(double centreHz, double q, double rateHz) {
    double w = kTwoPi * centreHz / rateHz;
    double alpha = std::sin(w) / (2.0 * q);
    double c = std::cos(w);
    return fromRaw(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::peaking(double centreHz, double q, double gainDb, double rateHz) {
    double w = kTwoPi * centreHz / rateHz;
    double alpha = std::sin(w) / (2.0 * q);
    double c = std::cos(w);
    double a = std::pow(10.0, gainDb / 40.0);
    return fromRaw(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

LoopPlan planLoop(double targetHz, double rateHz, double loopSeconds) {
    LoopPlan plan;
    double cycles = std::max(1.0, std::round(targetHz * loopSeconds));
    plan.cycles = static_cast<uint64_t>(cycles);
    plan.loopFrames = static_cast<uint32_t>(std::lround(cycles * rateHz / targetHz));
    plan.fundamentalHz = cycles * rateHz / static_cast<double>(plan.loopFrames);
    return plan;
}

PeriodicSineTable::PeriodicSineTable(uint32_t loopFrames) : table_(loopFrames) {
    for (uint32_t i = 0; i < loopFrames; ++i) {
        table_[i] = std::sin(kTwoPi * static_cast<double>(i) / static_cast<double>(loopFrames));
    }
}

double peakOf(const std::vector<std::vector<double>>& channels) {
    double peak = 0.0;
    for (const auto& ch : channels) {
        for (double v : ch) peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

void normalisePeak(std::vector<std::vector<double>>& channels, double peakDb) {
    double peak = peakOf(channels);
    if (peak <= 0.0) return;
    double gain = std::pow(10.0, peakDb / 20.0) / peak;
    for (auto& ch : channels) {
        for (double& v : ch) v *= gain;
    }
}

void fadeOutTail(std::vector<double>& signal, double seconds, double rateHz) {
    size_t n = std::min(signal.size(), static_cast<size_t>(seconds * rateHz));
    if (n == 0) return;
    size_t start = signal.size() - n;
    for (size_t i = 0; i < n; ++i) {
        double g = static_cast<double>(n - 1 - i) / static_cast<double>(n);
        signal[start + i] *= g;
    }
}

void fadeInHead(std::vector<double>& signal, double seconds, double rateHz) {
    size_t n = std::min(signal.size(), static_cast<size_t>(seconds * rateHz));
    for (size_t i = 0; i < n; ++i) signal[i] *= rise(static_cast<double>(i), static_cast<double>(n));
}

}  // namespace samplegen
