// Small deterministic building blocks for synthesizing the sample library:
// a seeded noise source, biquad filters, envelope shapes, and an additive
// oscillator bank whose partials repeat exactly over a chosen loop length.
// Everything runs in double precision with fixed seeds, so that the same
// build produces the same bytes every time.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace samplegen {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// MIDI note to frequency, A4 = 440 Hz.
inline double noteHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// xorshift64*: fast, good enough for noise and random phases, and the same
// on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [-1, 1).
    double bipolar() { return 2.0 * uniform() - 1.0; }
    // Uniform integer in [0, n).
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }

private:
    uint64_t state_;
};

// Direct-form I biquad with the usual cookbook designs.
class Biquad {
public:
    static Biquad lowpass(double cutoffHz, double q, double rateHz);
    static Biquad highpass(double cutoffHz, double q, double rateHz);
    // Constant 0 dB peak gain at the centre.
    static Biquad bandpass(double centreHz, double q, double rateHz);
    static Biquad peaking(double centreHz, double q, double gainDb, double rateHz);

    double process(double x) {
        double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }
    void reset() { x1_ = x2_ = y1_ = y2_ = 0.0; }

private:
    static Biquad fromRaw(double b0, double b1, double b2, double a0, double a1, double a2);
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// One-pole low-pass smoothing, coefficient from a cutoff.
class OnePole {
public:
    OnePole(double cutoffHz, double rateHz) : a_(1.0 - std::exp(-kTwoPi * cutoffHz / rateHz)) {}
    double process(double x) {
        y_ += a_ * (x - y_);
        return y_;
    }

private:
    double a_;
    double y_ = 0.0;
};

// Removes DC with a pole just inside the unit circle (about 10 Hz).
class DcBlocker {
public:
    explicit DcBlocker(double rateHz) : r_(1.0 - kTwoPi * 10.0 / rateHz) {}
    double process(double x) {
        double y = x - x1_ + r_ * y1_;
        x1_ = x;
        y1_ = y;
        return y;
    }

private:
    double r_;
    double x1_ = 0.0, y1_ = 0.0;
};

// Exponential decay to 1/e after `tauSeconds`.
inline double expDecay(double t, double tauSeconds) { return std::exp(-t / tauSeconds); }

// Decay that reaches exactly 0 at `lengthSeconds` with zero slope and stays
// there: (1 − t/T)^power. Lets a sound settle to a steady state that loops.
inline double settle(double t, double lengthSeconds, double power = 3.0) {
    if (t >= lengthSeconds) return 0.0;
    return std::pow(1.0 - t / lengthSeconds, power);
}

// Smooth rise from 0 to 1 over `lengthSeconds` (raised cosine).
inline double rise(double t, double lengthSeconds) {
    if (t >= lengthSeconds) return 1.0;
    if (t <= 0.0) return 0.0;
    return 0.5 - 0.5 * std::cos(kPi * t / lengthSeconds);
}

// A loop of whole periods: `loopFrames` frames hold exactly `cycles`
// periods of `fundamentalHz`, which is the requested pitch moved by at most
// a small fraction of a cent so that the loop closes.
struct LoopPlan {
    uint32_t loopFrames = 0;
    uint64_t cycles = 0;
    double fundamentalHz = 0.0;
    // Frequency step whose multiples all repeat over the loop.
    double gridHz(double rateHz) const { return rateHz / static_cast<double>(loopFrames); }
};
LoopPlan planLoop(double targetHz, double rateHz, double loopSeconds);

// Partials on the loop's frequency grid: partial p has `cycles` whole
// periods per loop and a phase given in 1/loopFrames of a cycle. Its value at
// frame n is read from one sine table by integer index, so frame n and frame
// n + loopFrames are bit-for-bit equal whenever the amplitudes are.
class PeriodicSineTable {
public:
    explicit PeriodicSineTable(uint32_t loopFrames);
    uint32_t loopFrames() const { return static_cast<uint32_t>(table_.size()); }
    double at(uint64_t cycles, uint64_t phase, uint64_t frame) const {
        return table_[(cycles * frame + phase) % table_.size()];
    }
    // The phase of a partial at `frame`, in radians, exactly periodic.
    double phaseRadians(uint64_t cycles, uint64_t phase, uint64_t frame) const {
        return kTwoPi * static_cast<double>((cycles * frame + phase) % table_.size()) /
               static_cast<double>(table_.size());
    }

private:
    std::vector<double> table_;
};

// Peak of one or more channels.
double peakOf(const std::vector<std::vector<double>>& channels);
// Scales all channels so that their common peak sits at `peakDb` dBFS.
void normalisePeak(std::vector<std::vector<double>>& channels, double peakDb);
// Linear fade to exactly 0 over the last `seconds`.
void fadeOutTail(std::vector<double>& signal, double seconds, double rateHz);
// Raised-cosine fade-in over the first `seconds`.
void fadeInHead(std::vector<double>& signal, double seconds, double rateHz);

}  // namespace samplegen
