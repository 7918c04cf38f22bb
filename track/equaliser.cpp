#include "track/equaliser.h"

#include <algorithm>
#include <cmath>

#include "common/portable_math.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr float kWetSmoothing = 0.01f;
constexpr float kWetAudible = 0.001f;
constexpr float kZeroInput = 0.00001f;  // keeps the recursion away from denormals
constexpr float kOutputFloor = 1e-10f;
constexpr double kMaxBandFraction = 0.49;  // of the sample rate
}  // namespace

BiquadCoefficients designBiquad(BiquadShape shape, double frequencyHz, double gainDb, double q, double sampleRateHz) {
    const double A = portable::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * kPi * frequencyHz / sampleRateHz;
    const double c = portable::cos(w0);
    const double alpha = portable::sin(w0) / (2.0 * q);
    const double s = 2.0 * std::sqrt(A) * alpha;
    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (shape) {
        case BiquadShape::LowShelf:
            b0 = A * ((A + 1) - (A - 1) * c + s);
            b1 = 2 * A * ((A - 1) - (A + 1) * c);
            b2 = A * ((A + 1) - (A - 1) * c - s);
            a0 = (A + 1) + (A - 1) * c + s;
            a1 = -2 * ((A - 1) + (A + 1) * c);
            a2 = (A + 1) + (A - 1) * c - s;
            break;
        case BiquadShape::Peaking:
            b0 = 1 + alpha * A;
            b1 = -2 * c;
            b2 = 1 - alpha * A;
            a0 = 1 + alpha / A;
            a1 = -2 * c;
            a2 = 1 - alpha / A;
            break;
        case BiquadShape::HighShelf:
            b0 = A * ((A + 1) + (A - 1) * c + s);
            b1 = -2 * A * ((A - 1) + (A + 1) * c);
            b2 = A * ((A + 1) + (A - 1) * c - s);
            a0 = (A + 1) - (A - 1) * c + s;
            a1 = 2 * ((A - 1) - (A + 1) * c);
            a2 = (A + 1) - (A - 1) * c - s;
            break;
        case BiquadShape::BandPass:  // constant skirt gain
            b0 = q * alpha;
            b1 = 0;
            b2 = -q * alpha;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        case BiquadShape::LowPass:
            b0 = (1 - c) / 2;
            b1 = 1 - c;
            b2 = (1 - c) / 2;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
    }
    return BiquadCoefficients{b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

void TrackEqualiser::recomputeBand(int band, float frequency, float resonance, float gain, double sampleRateHz) {
    if (band < 0 || band >= kBands) return;
    if (queue_.size() >= static_cast<size_t>(kQueueLimit)) return;
    if (!(sampleRateHz > 0.0)) return;
    // 16 kHz lies above Nyquist at low host rates; the band then sits just
    // below it instead of folding back down.
    const double f = std::min(20.0 * portable::pow(800.0, static_cast<double>(frequency)), kMaxBandFraction * sampleRateHz);
    const double gDb = 20.0 * static_cast<double>(gain);
    const double r = resonance;
    const BiquadShape shape = band == 0 ? BiquadShape::LowShelf : band == 1 ? BiquadShape::Peaking : BiquadShape::HighShelf;
    const double q = band == 1 ? 0.2 * portable::pow(25.0, r) : 0.2 * portable::pow(7.0, r);
    const BiquadCoefficients k = designBiquad(shape, f, gDb, q, sampleRateHz);
    // Extreme gains or resonances from project data overflow; such a band
    // keeps the coefficients it has.
    if (!std::isfinite(k.b0) || !std::isfinite(k.b1) || !std::isfinite(k.b2) || !std::isfinite(k.a1) ||
        !std::isfinite(k.a2))
        return;
    EqBandRecord record;
    record.band = band;
    record.b0 = static_cast<float>(k.b0);
    record.b1 = static_cast<float>(k.b1);
    record.b2 = static_cast<float>(k.b2);
    record.a1 = static_cast<float>(k.a1);
    record.a2 = static_cast<float>(k.a2);
    queue_.push(record);
}

void TrackEqualiser::reset() {
    EqBandRecord r;
    while (queue_.pop(r)) {
    }
    for (auto& b : bands_) b = EqBandState{};
}

void TrackEqualiser::clearSignal() {
    for (EqBandState& b : bands_) {
        for (int ch = 0; ch < 2; ++ch) {
            b.x1[ch] = b.x2[ch] = b.y1[ch] = b.y2[ch] = 0.0f;
            b.wet[ch] = 0.0f;
        }
    }
}

void TrackEqualiser::applyQueued() {
    EqBandRecord r;
    while (queue_.pop(r)) {
        EqBandState& b = bands_[r.band];
        b.b0 = r.b0;
        b.b1 = r.b1;
        b.b2 = r.b2;
        b.a1 = r.a1;
        b.a2 = r.a2;
    }
}

void TrackEqualiser::rest(int frames, float equaliserOn, bool right) {
    applyQueued();
    for (EqBandState& b : bands_) {
        b.onTarget = equaliserOn;
        if (equaliserOn == 0.0f && b.wet[0] <= kWetAudible && b.wet[1] <= kWetAudible) continue;
        for (int ch = 0; ch < (right ? 2 : 1); ++ch) {
            float wet = b.wet[ch];
            const float target = b.onTarget;
            if (wet + (target - wet) * kWetSmoothing == wet) continue;  // settled
            for (int i = 0; i < frames; ++i) wet += (target - wet) * kWetSmoothing;
            b.wet[ch] = wet;
        }
    }
}

void TrackEqualiser::process(float* left, float* right, int frames, float equaliserOn) {
    applyQueued();
    float* channels[2] = {left, right};
    for (EqBandState& b : bands_) {
        b.onTarget = equaliserOn;
        if (equaliserOn == 0.0f && b.wet[0] <= kWetAudible && b.wet[1] <= kWetAudible) continue;
        for (int ch = 0; ch < 2; ++ch) {
            float* io = channels[ch];
            if (io == nullptr) continue;
            float x1 = b.x1[ch], x2 = b.x2[ch], y1 = b.y1[ch], y2 = b.y2[ch], wet = b.wet[ch];
            const float target = b.onTarget;
            for (int i = 0; i < frames; ++i) {
                wet += (target - wet) * kWetSmoothing;
                float x = io[i];
                if (x == 0.0f) x = kZeroInput;
                float y = b.b0 * x + b.b1 * x1 + b.b2 * x2 - b.a1 * y1 - b.a2 * y2;
                if (std::fabs(y) <= kOutputFloor) y = 0.0f;
                x2 = x1;
                x1 = x;
                y2 = y1;
                y1 = y;
                io[i] = x * (1.0f - wet) + y * wet;
            }
            b.x1[ch] = x1;
            b.x2[ch] = x2;
            b.y1[ch] = y1;
            b.y2[ch] = y2;
            b.wet[ch] = wet;
        }
    }
}
