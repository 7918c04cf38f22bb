#include "track/equaliser.h"

#include <algorithm>
#include <cmath>

#include "common/portable_math.h"
#include "track/equaliser_lanes.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr float kWetAudible = 0.001f;
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

TrackEqualiser::TrackEqualiser() {
    for (int k = 0; k < kBands; ++k) columns_[k] = eqBlockColumns(bands_[k]);
}

void TrackEqualiser::reset() {
    EqBandRecord r;
    while (queue_.pop(r)) {
    }
    for (int k = 0; k < kBands; ++k) {
        bands_[k] = EqBandState{};
        columns_[k] = eqBlockColumns(bands_[k]);
    }
}

void TrackEqualiser::clearSignal() {
    for (EqBandState& b : bands_) {
        for (int ch = 0; ch < 2; ++ch) {
            b.x1[ch] = b.x2[ch] = b.y1[ch] = b.y2[ch] = 0.0f;
            b.wet[ch] = 0.0f;
        }
    }
}

void TrackEqualiser::allowWideLanes(bool allowed) { wide_ = allowed && cpuHasAvx2(); }

void TrackEqualiser::applyQueued() {
    EqBandRecord r;
    while (queue_.pop(r)) {
        EqBandState& b = bands_[r.band];
        b.b0 = r.b0;
        b.b1 = r.b1;
        b.b2 = r.b2;
        b.a1 = r.a1;
        b.a2 = r.a2;
        columns_[r.band] = eqBlockColumns(b);
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
    bool running[kBands] = {};
    bool any = false;
    for (int k = 0; k < kBands; ++k) {
        EqBandState& b = bands_[k];
        b.onTarget = equaliserOn;
        const bool skip = equaliserOn == 0.0f && b.wet[0] <= kWetAudible && b.wet[1] <= kWetAudible;
        running[k] = !skip;
        any = any || !skip;
    }
    if (!any || frames <= 0) return;
    // Once every band is on and no wet mix moves any more (the usual state,
    // some 1300 frames after the equaliser is switched), the bands run
    // four frames at a time; the per-frame pipeline below is for the glides.
    bool held = running[0] && running[1] && running[2];
    for (int k = 0; k < kBands && held; ++k) {
        for (int ch = 0; ch < (right != nullptr ? 2 : 1); ++ch) {
            const float wet = bands_[k].wet[ch];
            if (wet + (equaliserOn - wet) * kWetSmoothing != wet) held = false;
        }
    }
    if (held) {
        processHeld(left, right, frames);
        return;
    }
    if (wide_ && right != nullptr) {
#if defined(__x86_64__)
        runEqFramesWide(bands_, running, left, right, frames, equaliserOn);
        return;
#endif
    }
    runEqFrames(bands_, running, left, 0, frames, equaliserOn);
    if (right != nullptr) runEqFrames(bands_, running, right, 1, frames, equaliserOn);
}

void TrackEqualiser::processHeld(float* left, float* right, int frames) {
    if (wide_ && right != nullptr) {
#if defined(__x86_64__)
        runEqBlocksWide(bands_, columns_, left, right, frames, skipFlat_, leaveFlatOut_);
        return;
#endif
    }
    runEqBlocks(bands_, columns_, left, 0, frames, skipFlat_, leaveFlatOut_);
    if (right != nullptr) runEqBlocks(bands_, columns_, right, 1, frames, skipFlat_, leaveFlatOut_);
}
