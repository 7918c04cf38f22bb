#include "tests/soundcheck/signal_measures.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numeric>

namespace soundcheck {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad lowPassSection(double hz, double q) {
    const double w = 2.0 * kPi * hz / kRate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w), a0 = 1.0 + alpha;
    return {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

double energy(const std::vector<float>& x) {
    double e = 0.0;
    for (float v : x) e += static_cast<double>(v) * v;
    return e;
}

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wn(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wn;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wn *= w;
            }
        }
    }
}

constexpr size_t kFftSize = 16384;

// Averaged power spectrum (Hann windows, half overlap), kFftSize / 2 bins.
std::vector<double> powerSpectrum(const std::vector<float>& x) {
    std::vector<double> power(kFftSize / 2, 0.0);
    std::vector<std::complex<double>> frame(kFftSize);
    for (size_t start = 0; start + kFftSize <= x.size(); start += kFftSize / 2) {
        for (size_t i = 0; i < kFftSize; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / kFftSize);
            frame[i] = w * x[start + i];
        }
        fft(frame);
        for (size_t k = 0; k < kFftSize / 2; ++k) power[k] += std::norm(frame[k]);
    }
    return power;
}

}  // namespace

Stereo Stereo::slice(double fromSeconds, double toSeconds) const {
    const size_t a = std::min(frames(), static_cast<size_t>(fromSeconds * kRate));
    const size_t b = std::min(frames(), std::max(a, static_cast<size_t>(toSeconds * kRate)));
    Stereo s;
    s.left.assign(left.begin() + static_cast<long>(a), left.begin() + static_cast<long>(b));
    s.right.assign(right.begin() + static_cast<long>(a), right.begin() + static_cast<long>(b));
    return s;
}

std::vector<float> Stereo::mono() const {
    std::vector<float> m(frames());
    for (size_t i = 0; i < m.size(); ++i) m[i] = 0.5f * (left[i] + right[i]);
    return m;
}

double db(double power) { return power > 1e-20 ? 10.0 * std::log10(power) : -200.0; }

double rmsDb(const Stereo& s) {
    if (s.frames() == 0) return -200.0;
    return db((energy(s.left) + energy(s.right)) / (2.0 * static_cast<double>(s.frames())));
}

std::vector<float> lowPass(const std::vector<float>& x, double cutoffHz) {
    Biquad a = lowPassSection(cutoffHz, 0.54119610), b = lowPassSection(cutoffHz, 1.3065630);
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[i] = static_cast<float>(b.run(a.run(x[i])));
    return y;
}

double energyShareBelow(const std::vector<float>& x, double cutoffHz) {
    const double total = energy(x);
    return total > 0.0 ? energy(lowPass(x, cutoffHz)) / total : 0.0;
}

double lowCorrelation(const Stereo& s, double cutoffHz) {
    const std::vector<float> l = lowPass(s.left, cutoffHz), r = lowPass(s.right, cutoffHz);
    double lr = 0.0;
    for (size_t i = 0; i < l.size(); ++i) lr += static_cast<double>(l[i]) * r[i];
    const double norm = std::sqrt(energy(l) * energy(r));
    return norm > 0.0 ? lr / norm : 1.0;
}

double monoFoldLossDb(const Stereo& s, double cutoffHz) {
    const std::vector<float> l = lowPass(s.left, cutoffHz), r = lowPass(s.right, cutoffHz);
    std::vector<float> m(l.size());
    for (size_t i = 0; i < m.size(); ++i) m[i] = 0.5f * (l[i] + r[i]);
    return db(0.5 * (energy(l) + energy(r))) - db(energy(m));
}

std::vector<double> thirdOctaveLevels(const std::vector<float>& x) {
    const std::vector<double> power = powerSpectrum(x);
    const double total = std::accumulate(power.begin(), power.end(), 0.0);
    std::vector<double> levels;
    for (int band = -17; band <= 10; ++band) {  // 31.5 Hz to 16 kHz around 1 kHz
        const double centre = 1000.0 * std::pow(2.0, band / 3.0);
        const double lo = centre / std::pow(2.0, 1.0 / 6.0), hi = centre * std::pow(2.0, 1.0 / 6.0);
        double e = 0.0;
        for (size_t k = 1; k < power.size(); ++k) {
            const double f = static_cast<double>(k) * kRate / kFftSize;
            if (f >= lo && f < hi) e += power[k];
        }
        levels.push_back(db(e / total));
    }
    return levels;
}

double spectrumDistanceDb(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        // Bands that are practically empty in both say nothing.
        const double d = std::max(a[i], -60.0) - std::max(b[i], -60.0);
        sum += d * d;
    }
    return n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

std::vector<double> rhythmEnvelope(const std::vector<float>& x) {
    const size_t hop = static_cast<size_t>(kRate / 100.0);
    std::vector<double> env;
    for (size_t start = 0; start + hop <= x.size(); start += hop) {
        double e = 0.0;
        for (size_t i = start; i < start + hop; ++i) e += static_cast<double>(x[i]) * x[i];
        env.push_back(std::sqrt(e / static_cast<double>(hop)));
    }
    return env;
}

double envelopeCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0.0;
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= static_cast<double>(n);
    mb /= static_cast<double>(n);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

double loudnessLufs(const Stereo& s) {
    ebur128_state* state = ebur128_init(2, static_cast<unsigned long>(kRate), EBUR128_MODE_I);
    std::vector<float> interleaved(2 * s.frames());
    for (size_t i = 0; i < s.frames(); ++i) {
        interleaved[2 * i] = s.left[i];
        interleaved[2 * i + 1] = s.right[i];
    }
    ebur128_add_frames_float(state, interleaved.data(), s.frames());
    double lufs = -200.0;
    if (ebur128_loudness_global(state, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs)) lufs = -200.0;
    ebur128_destroy(&state);
    return lufs;
}

double spectralCentroidHz(const std::vector<float>& x) {
    const std::vector<double> power = powerSpectrum(x);
    double weighted = 0.0, total = 0.0;
    for (size_t k = 1; k < power.size(); ++k) {
        weighted += power[k] * static_cast<double>(k) * kRate / kFftSize;
        total += power[k];
    }
    return total > 0.0 ? weighted / total : 0.0;
}

double spectralPeakHz(const std::vector<float>& x) {
    const std::vector<double> power = powerSpectrum(x);
    const auto peak = std::max_element(power.begin() + 1, power.end());
    return static_cast<double>(peak - power.begin()) * kRate / kFftSize;
}

}  // namespace soundcheck
