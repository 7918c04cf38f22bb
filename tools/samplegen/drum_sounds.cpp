#include "tools/samplegen/drum_sounds.h"

#include <algorithm>

#include "tools/samplegen/hit_shaping.h"

namespace samplegen {

namespace {

RenderedSample finishStereo(std::vector<double> left, std::vector<double> right, double peakDb,
                            double tailFadeSeconds) {
    pinEnds(left, tailFadeSeconds);
    pinEnds(right, tailFadeSeconds);
    RenderedSample s;
    s.rateHz = kDrumRate;
    s.channels.push_back(std::move(left));
    s.channels.push_back(std::move(right));
    normalisePeak(s.channels, peakDb);
    return s;
}

// A vibrating body as a set of modes at fixed ratios of a fundamental whose
// pitch falls from (1 + bend) times its rest value, as a struck membrane's
// tension relaxes.
struct Mode {
    double ratio;
    double amp;
    double tauSeconds;
};

void addModes(std::vector<double>& out, double fundamentalHz, const std::vector<Mode>& modes, double bend,
              double bendTauSeconds, double gain) {
    std::vector<double> phase(modes.size(), 0.0);
    for (size_t n = 0; n < out.size(); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        double pitch = fundamentalHz * (1.0 + bend * expDecay(t, bendTauSeconds));
        double sum = 0.0;
        for (size_t m = 0; m < modes.size(); ++m) {
            phase[m] += kTwoPi * pitch * modes[m].ratio / kDrumRate;
            if (phase[m] > kTwoPi) phase[m] -= kTwoPi;
            sum += modes[m].amp * std::sin(phase[m]) * expDecay(t, modes[m].tauSeconds);
        }
        out[n] += gain * sum;
    }
}

// The same, through two filters in series.
void addNoise2(std::vector<double>& out, Rng& rng, Biquad first, Biquad second, double tauSeconds, double gain) {
    for (size_t n = 0; n < out.size(); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        out[n] += gain * second.process(first.process(rng.bipolar() * expDecay(t, tauSeconds)));
    }
}

// A cluster of inharmonic partials with random frequencies (log-uniform in
// a band), amplitudes, phases and decays: the modes of a cymbal or bell
// plate.
struct Cluster {
    double lowHz;
    double highHz;
    int count;
    double minTau;
    double maxTau;
};

void addCluster(std::vector<double>& out, Rng& rng, const Cluster& c, double gain) {
    for (int i = 0; i < c.count; ++i) {
        double f = c.lowHz * std::pow(c.highHz / c.lowHz, rng.uniform());
        double amp = 0.3 + 0.7 * rng.uniform();
        double tau = c.minTau + (c.maxTau - c.minTau) * rng.uniform();
        double phase = kTwoPi * rng.uniform();
        double step = kTwoPi * f / kDrumRate;
        for (size_t n = 0; n < out.size(); ++n) {
            double t = static_cast<double>(n) / kDrumRate;
            out[n] += gain * amp * std::sin(phase + step * static_cast<double>(n)) * expDecay(t, tau);
        }
    }
}

// The six square-wave oscillators of the classic analogue hi-hat circuit,
// band-limited (odd harmonics below 20 kHz), summed.
std::vector<double> metallicSquares(size_t frames) {
    static const double kHz[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    std::vector<double> out(frames, 0.0);
    for (double f : kHz) {
        for (int k = 1; k * f < 20000.0; k += 2) {
            double step = kTwoPi * f * k / kDrumRate;
            double amp = 4.0 / (kPi * k);
            for (size_t n = 0; n < frames; ++n) out[n] += amp * std::sin(step * static_cast<double>(n));
        }
    }
    return out;
}

RenderedSample renderHat(double tauSeconds, double seconds, double tailFade, uint64_t seed) {
    size_t frames = framesFor(seconds);
    std::vector<double> metal = metallicSquares(frames);
    Biquad band = Biquad::bandpass(10000.0, 1.2, kDrumRate);
    Biquad high = Biquad::highpass(7000.0, 0.8, kDrumRate);
    Rng rng(seed);
    Biquad noiseHigh = Biquad::highpass(8000.0, 0.7, kDrumRate);
    std::vector<double> out(frames, 0.0);
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        double env = expDecay(t, tauSeconds);
        out[n] = high.process(band.process(metal[n] * env)) + 0.25 * noiseHigh.process(rng.bipolar() * env);
    }
    return finishHit(std::move(out), -5.0, tailFade);
}

}  // namespace

RenderedSample renderKick() {
    std::vector<double> out(framesFor(0.6), 0.0);
    double phase = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        double pitchHz = 48.0 + 125.0 * expDecay(t, 0.03) + 60.0 * expDecay(t, 0.004);
        phase += kTwoPi * pitchHz / kDrumRate;
        out[n] = std::sin(phase) * expDecay(t, 0.17);
    }
    Rng rng(101);
    addNoiseBurst(out, rng, Biquad::bandpass(3200.0, 0.9, kDrumRate), 0.004, 0.9);  // beater
    addNoiseBurst(out, rng, Biquad::lowpass(600.0, 0.7, kDrumRate), 0.03, 0.5);     // shell
    saturate(out, 1.8);
    return finishHit(std::move(out), -1.0, 0.06);
}

RenderedSample renderKick2() {
    std::vector<double> out(framesFor(0.9), 0.0);
    double phase = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        double pitchHz = 44.0 + 80.0 * expDecay(t, 0.05);
        phase += kTwoPi * pitchHz / kDrumRate;
        out[n] = std::sin(phase) * expDecay(t, 0.3);
    }
    // A short tone blip for the attack, as on analogue drum machines.
    for (size_t n = 0; n < framesFor(0.006); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        out[n] += 0.35 * std::sin(kTwoPi * 1400.0 * t) * (1.0 - t / 0.006);
    }
    saturate(out, 2.4);
    return finishHit(std::move(out), -1.0, 0.15);
}

RenderedSample renderSnare1() {
    std::vector<double> out(framesFor(0.45), 0.0);
    addModes(out, 185.0, {{1.0, 0.9, 0.07}, {1.78, 0.55, 0.05}, {2.4, 0.2, 0.03}}, 0.12, 0.012, 1.0);
    Rng rng(202);
    // The wires: bright noise with a presence lift.
    Biquad wiresHigh = Biquad::highpass(1800.0, 0.7, kDrumRate);
    Biquad wiresLift = Biquad::peaking(5500.0, 0.8, 4.0, kDrumRate);
    addNoise2(out, rng, wiresHigh, wiresLift, 0.13, 0.75);
    addNoiseBurst(out, rng, Biquad::bandpass(3000.0, 1.2, kDrumRate), 0.003, 0.9);  // stick
    return finishHit(std::move(out), -1.5, 0.08);
}

RenderedSample renderSnare2() {
    std::vector<double> out(framesFor(0.35), 0.0);
    addModes(out, 225.0, {{1.0, 0.8, 0.05}, {1.82, 0.5, 0.035}}, 0.15, 0.008, 1.0);
    Rng rng(203);
    Biquad wiresHigh = Biquad::highpass(2600.0, 0.7, kDrumRate);
    Biquad wiresLift = Biquad::peaking(7000.0, 0.9, 5.0, kDrumRate);
    addNoise2(out, rng, wiresHigh, wiresLift, 0.085, 0.95);
    addNoiseBurst(out, rng, Biquad::bandpass(2400.0, 1.5, kDrumRate), 0.004, 1.3);  // rim crack
    saturate(out, 1.4);
    return finishHit(std::move(out), -1.5, 0.06);
}

namespace {

RenderedSample renderTom(double fundamentalHz, double tauSeconds, double seconds, uint64_t seed) {
    std::vector<double> out(framesFor(seconds), 0.0);
    // Ideal membrane ratios (Bessel zeros) with the upper modes dying faster.
    addModes(out, fundamentalHz,
             {{1.0, 1.0, tauSeconds},
              {1.59, 0.4, tauSeconds * 0.45},
              {2.14, 0.2, tauSeconds * 0.3},
              {2.30, 0.12, tauSeconds * 0.25}},
             0.16, 0.06, 1.0);
    Rng rng(seed);
    addNoiseBurst(out, rng, Biquad::lowpass(3000.0, 0.7, kDrumRate), 0.008, 0.5);
    saturate(out, 1.2);
    return finishHit(std::move(out), -2.0, 0.15);
}

RenderedSample renderBongo(double fundamentalHz, double tauSeconds, double seconds, double slap, uint64_t seed) {
    std::vector<double> out(framesFor(seconds), 0.0);
    addModes(out, fundamentalHz,
             {{1.0, 1.0, tauSeconds},
              {1.59, 0.5 + slap * 0.3, tauSeconds * 0.7},
              {2.14, 0.3 + slap * 0.3, tauSeconds * 0.45},
              {2.65, 0.15 + slap * 0.2, tauSeconds * 0.3}},
             0.06, 0.015, 1.0);
    Rng rng(seed);
    addNoiseBurst(out, rng, Biquad::bandpass(2000.0 + 1500.0 * slap, 1.0, kDrumRate), 0.002 + 0.008 * slap,
             0.35 + 0.9 * slap);
    return finishHit(std::move(out), -3.0, 0.05);
}

}  // namespace

RenderedSample renderTom1() { return renderTom(172.0, 0.22, 0.7, 301); }
RenderedSample renderTom2() { return renderTom(112.0, 0.3, 0.8, 302); }

RenderedSample renderClaps() {
    std::vector<double> out(framesFor(0.45), 0.0);
    Rng rng(401);
    // Several hands a few milliseconds apart, then the room.
    const double onsets[4] = {0.0, 0.010, 0.021, 0.033};
    const double gains[4] = {0.8, 0.9, 0.85, 1.0};
    std::vector<double> excitation(out.size(), 0.0);
    for (size_t n = 0; n < out.size(); ++n) {
        double t = static_cast<double>(n) / kDrumRate;
        double env = 0.0;
        for (int i = 0; i < 4; ++i) {
            if (t >= onsets[i]) env += gains[i] * expDecay(t - onsets[i], 0.0035);
        }
        if (t >= onsets[3]) env += 0.55 * expDecay(t - onsets[3], 0.12);
        excitation[n] = rng.bipolar() * env;
    }
    Biquad body = Biquad::bandpass(1150.0, 1.4, kDrumRate);
    Biquad air = Biquad::highpass(700.0, 0.7, kDrumRate);
    for (size_t n = 0; n < out.size(); ++n) out[n] = air.process(body.process(excitation[n]));
    return finishHit(std::move(out), -2.0, 0.08);
}

RenderedSample renderBongo1() { return renderBongo(420.0, 0.07, 0.3, 0.0, 501); }
RenderedSample renderBongo2() { return renderBongo(300.0, 0.09, 0.35, 0.0, 502); }
RenderedSample renderBongo3() { return renderBongo(470.0, 0.045, 0.3, 1.0, 503); }

RenderedSample renderCrash1() {
    std::vector<double> out(framesFor(2.0), 0.0);
    Rng rng(601);
    addCluster(out, rng, Cluster{350.0, 12000.0, 60, 0.45, 1.1}, 0.05);
    addNoise2(out, rng, Biquad::highpass(3000.0, 0.7, kDrumRate), Biquad::lowpass(14000.0, 0.7, kDrumRate), 0.55, 0.8);
    addNoiseBurst(out, rng, Biquad::bandpass(5000.0, 1.0, kDrumRate), 0.01, 0.6);
    return finishHit(std::move(out), -4.0, 0.3);
}

RenderedSample renderCrash2() {
    const size_t frames = framesFor(1.4);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    // Both sides share the plate's modes but hear them with other phases,
    // and each gets its own noise: a wide, natural stereo image.
    Rng modes(602);
    for (int i = 0; i < 50; ++i) {
        double f = 450.0 * std::pow(14000.0 / 450.0, modes.uniform());
        double amp = 0.3 + 0.7 * modes.uniform();
        double tau = 0.35 + 0.6 * modes.uniform();
        double phaseL = kTwoPi * modes.uniform();
        double phaseR = kTwoPi * modes.uniform();
        double step = kTwoPi * f / kDrumRate;
        for (size_t n = 0; n < frames; ++n) {
            double env = 0.05 * amp * expDecay(static_cast<double>(n) / kDrumRate, tau);
            left[n] += env * std::sin(phaseL + step * static_cast<double>(n));
            right[n] += env * std::sin(phaseR + step * static_cast<double>(n));
        }
    }
    Rng noiseL(603), noiseR(604);
    addNoise2(left, noiseL, Biquad::highpass(4000.0, 0.7, kDrumRate), Biquad::lowpass(15000.0, 0.7, kDrumRate), 0.45, 0.8);
    addNoise2(right, noiseR, Biquad::highpass(4000.0, 0.7, kDrumRate), Biquad::lowpass(15000.0, 0.7, kDrumRate), 0.45, 0.8);
    return finishStereo(std::move(left), std::move(right), -4.0, 0.25);
}

RenderedSample renderRide() {
    std::vector<double> out(framesFor(1.5), 0.0);
    // The bell of the ride: a few strong partials that ping.
    const double pingHz[7] = {640.0, 1190.0, 2960.0, 3870.0, 4470.0, 5230.0, 6040.0};
    const double pingAmp[7] = {0.25, 0.3, 0.6, 0.5, 0.45, 0.35, 0.3};
    for (int i = 0; i < 7; ++i) {
        double step = kTwoPi * pingHz[i] / kDrumRate;
        double tau = 0.35 + 0.04 * i;
        for (size_t n = 0; n < out.size(); ++n) {
            out[n] += 0.12 * pingAmp[i] * std::sin(step * static_cast<double>(n)) *
                      expDecay(static_cast<double>(n) / kDrumRate, tau);
        }
    }
    Rng rng(701);
    addCluster(out, rng, Cluster{2500.0, 11000.0, 30, 0.5, 0.9}, 0.025);
    addNoise2(out, rng, Biquad::highpass(5000.0, 0.7, kDrumRate), Biquad::lowpass(15000.0, 0.7, kDrumRate), 0.7, 0.35);
    addNoiseBurst(out, rng, Biquad::bandpass(8000.0, 1.5, kDrumRate), 0.002, 0.8);  // stick
    return finishHit(std::move(out), -5.0, 0.25);
}

RenderedSample renderHatsOpen() { return renderHat(0.16, 0.6, 0.1, 801); }
RenderedSample renderHatsClose() { return renderHat(0.022, 0.15, 0.04, 802); }

RenderedSample renderBlock() {
    std::vector<double> out(framesFor(0.2), 0.0);
    addModes(out, 1150.0, {{1.0, 1.0, 0.035}, {2.52, 0.5, 0.015}, {3.74, 0.25, 0.008}}, 0.01, 0.002, 1.0);
    Rng rng(901);
    addNoiseBurst(out, rng, Biquad::bandpass(2500.0, 1.0, kDrumRate), 0.0015, 0.5);
    return finishHit(std::move(out), -4.0, 0.03);
}

}  // namespace samplegen
