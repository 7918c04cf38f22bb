#include "tools/audio_measure/spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "tools/audio_measure/fft.h"

namespace measure {

namespace {

std::vector<double> hann(size_t n) {
    std::vector<double> w(n);
    for (size_t i = 0; i < n; ++i) w[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
    return w;
}

double binHz(size_t bin, double rateHz) { return static_cast<double>(bin) * rateHz / static_cast<double>(kSpectrumSize); }

}  // namespace

std::vector<double> averagePowerSpectrum(const std::vector<float>& mono) {
    const size_t n = kSpectrumSize;
    const std::vector<double> window = hann(n);
    std::vector<double> power(n / 2 + 1, 0.0);
    std::vector<std::complex<double>> frame(n);
    size_t frames = 0;
    for (size_t start = 0; start == 0 || start + n <= mono.size(); start += n / 2) {
        for (size_t i = 0; i < n; ++i) {
            const double x = start + i < mono.size() ? mono[start + i] : 0.0;
            frame[i] = {x * window[i], 0.0};
        }
        fft(frame);
        for (size_t k = 0; k <= n / 2; ++k) power[k] += std::norm(frame[k]);
        ++frames;
    }
    for (double& p : power) p /= static_cast<double>(frames);
    return power;
}

double spectralCentroidHz(const std::vector<double>& power, double rateHz) {
    double weighted = 0.0, total = 0.0;
    for (size_t k = 1; k < power.size(); ++k) {
        const double a = std::sqrt(power[k]);
        weighted += a * binHz(k, rateHz);
        total += a;
    }
    return total > 0.0 ? weighted / total : 0.0;
}

double spectralCentroidHz(const std::vector<float>& mono, double rateHz) {
    return spectralCentroidHz(averagePowerSpectrum(mono), rateHz);
}

double spectralPeakHz(const std::vector<double>& power, double rateHz) {
    if (power.size() < 2) return 0.0;
    const auto peak = std::max_element(power.begin() + 1, power.end());
    return binHz(static_cast<size_t>(peak - power.begin()), rateHz);
}

double bandEnergyShare(const std::vector<double>& power, double rateHz, double loHz, double hiHz) {
    double inside = 0.0, total = 0.0;
    for (size_t k = 1; k < power.size(); ++k) {
        const double f = binHz(k, rateHz);
        total += power[k];
        if (f >= loHz && f < hiHz) inside += power[k];
    }
    return total > 0.0 ? inside / total : 0.0;
}

const std::vector<double>& thirdOctaveCentresHz() {
    static const std::vector<double> centres = [] {
        std::vector<double> c;
        // Base-ten band numbers 14 (25 Hz) to 42 (16 kHz).
        for (int band = 14; band <= 42; ++band) c.push_back(std::pow(10.0, band / 10.0));
        return c;
    }();
    return centres;
}

std::vector<double> thirdOctaveLevelsDb(const std::vector<double>& power, double rateHz) {
    const std::vector<double>& centres = thirdOctaveCentresHz();
    std::vector<double> levels;
    const double edge = std::pow(10.0, 0.05);  // half a third of an octave
    for (double fc : centres) {
        double sum = 0.0;
        for (size_t k = 1; k < power.size(); ++k) {
            const double f = binHz(k, rateHz);
            if (f >= fc / edge && f < fc * edge) sum += power[k];
        }
        levels.push_back(10.0 * std::log10(sum + 1e-20));
    }
    return levels;
}

double toneLevelDb(const std::vector<float>& mono, size_t first, size_t count, double hz, double rateHz) {
    first = std::min(first, mono.size());
    count = std::min(count, mono.size() - first);
    if (count < 2) return -240.0;
    double re = 0.0, im = 0.0, windowSum = 0.0;
    const double step = 2.0 * std::numbers::pi * hz / rateHz;
    for (size_t i = 0; i < count; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(count));
        const double x = mono[first + i] * w;
        re += x * std::cos(step * static_cast<double>(i));
        im -= x * std::sin(step * static_cast<double>(i));
        windowSum += w;
    }
    const double amplitude = 2.0 * std::sqrt(re * re + im * im) / windowSum;
    return 20.0 * std::log10(amplitude + 1e-12);
}

std::vector<std::vector<float>> spectrogramDb(const std::vector<float>& mono, size_t fftSize, size_t hop) {
    std::vector<std::vector<float>> out;
    if (fftSize < 2 || (fftSize & (fftSize - 1)) != 0 || hop == 0) return out;
    const std::vector<double> window = hann(fftSize);
    std::vector<std::complex<double>> frame(fftSize);
    const double scale = 2.0 / (0.5 * static_cast<double>(fftSize));  // a full-scale sine reads 0 dB
    for (size_t start = 0; start < mono.size(); start += hop) {
        for (size_t i = 0; i < fftSize; ++i) {
            const double x = start + i < mono.size() ? mono[start + i] : 0.0;
            frame[i] = {x * window[i], 0.0};
        }
        fft(frame);
        std::vector<float> column(fftSize / 2 + 1);
        for (size_t k = 0; k < column.size(); ++k)
            column[k] = static_cast<float>(20.0 * std::log10(std::abs(frame[k]) * scale + 1e-9));
        out.push_back(std::move(column));
    }
    return out;
}

}  // namespace measure
