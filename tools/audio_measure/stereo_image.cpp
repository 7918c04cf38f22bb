#include "tools/audio_measure/stereo_image.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace measure {

namespace {

struct LowPass {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    LowPass(double hz, double q, double rateHz) {
        const double w = 2.0 * std::numbers::pi * hz / rateHz;
        const double alpha = std::sin(w) / (2.0 * q);
        const double a0 = 1.0 + alpha;
        b0 = (1.0 - std::cos(w)) / 2.0 / a0;
        b1 = (1.0 - std::cos(w)) / a0;
        b2 = b0;
        a1 = -2.0 * std::cos(w) / a0;
        a2 = (1.0 - alpha) / a0;
    }
    double process(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

std::vector<double> lowBand(const std::vector<float>& x, double hz, double rateHz) {
    // Butterworth fourth order as two sections.
    LowPass a(hz, 0.54119610, rateHz), b(hz, 1.30656296, rateHz);
    std::vector<double> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) out[i] = b.process(a.process(x[i]));
    return out;
}

}  // namespace

LowEndImage measureLowEnd(const StereoSignal& signal, double crossoverHz) {
    LowEndImage image;
    const std::vector<double> l = lowBand(signal.left, crossoverHz, signal.rateHz);
    const std::vector<double> r = lowBand(signal.right, crossoverHz, signal.rateHz);
    double ll = 0.0, rr = 0.0, lr = 0.0;
    for (size_t i = 0; i < l.size(); ++i) {
        ll += l[i] * l[i];
        rr += r[i] * r[i];
        lr += l[i] * r[i];
    }
    if (l.empty()) return image;
    const double n = static_cast<double>(l.size());
    image.levelDb = toDb(std::sqrt((ll + rr) / (2.0 * n)));
    if (ll <= 0.0 || rr <= 0.0) return image;
    image.correlation = lr / std::sqrt(ll * rr);
    // Fold-down power: ((l + r) / 2)^2 summed = (ll + rr + 2 lr) / 4.
    const double folded = (ll + rr + 2.0 * lr) / 4.0;
    const double sides = (ll + rr) / 2.0;
    image.foldDownLossDb = folded > 0.0 ? 10.0 * std::log10(sides / folded) : 240.0;
    return image;
}

}  // namespace measure
