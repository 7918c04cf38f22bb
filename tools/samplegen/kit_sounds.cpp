#include "tools/samplegen/kit_sounds.h"

#include <algorithm>

#include "tools/samplegen/hit_shaping.h"

namespace samplegen {

namespace {

// A partial whose frequency glides from (1 + bend) times its rest value
// down to it, under an exponential decay.
struct Partial {
    double hz;
    double amp;
    double tauSeconds;
};

void addPartials(std::vector<double>& out, const std::vector<Partial>& partials, double bend, double bendTau) {
    for (const Partial& p : partials) {
        double phase = 0.0;
        for (size_t n = 0; n < out.size(); ++n) {
            double t = timeOf(n);
            phase += kTwoPi * p.hz * (1.0 + bend * expDecay(t, bendTau)) / kDrumRate;
            out[n] += p.amp * std::sin(phase) * expDecay(t, p.tauSeconds);
        }
    }
}

// A short reflection pattern: a few delayed, darker copies, as a small
// room adds them to a close microphone.
void addRoom(std::vector<double>& x, double gain, uint64_t seed) {
    Rng rng(seed);
    const std::vector<double> dry = x;
    for (int i = 0; i < 6; ++i) {
        const size_t delay = framesFor(0.007 + 0.006 * i + 0.004 * rng.uniform());
        const double g = gain * std::pow(0.72, i) * (rng.uniform() < 0.5 ? -1.0 : 1.0);
        Biquad dark = Biquad::lowpass(5000.0 - 550.0 * i, 0.7, kDrumRate);
        for (size_t n = delay; n < x.size(); ++n) x[n] += g * dark.process(dry[n - delay]);
    }
}

}  // namespace

// --- Room kit -------------------------------------------------------------

RenderedSample renderRoomKick() {
    std::vector<double> out(framesFor(0.5), 0.0);
    // A felt beater on a damped head: a short thump and a little shell ring.
    addPartials(out, {{58.0, 1.0, 0.11}, {93.0, 0.35, 0.06}, {141.0, 0.18, 0.035}}, 0.45, 0.018);
    Rng rng(1101);
    addNoiseBurst(out, rng, Biquad::bandpass(1800.0, 0.8, kDrumRate), 0.005, 0.7);  // beater on the head
    addNoiseBurst(out, rng, Biquad::lowpass(400.0, 0.8, kDrumRate), 0.04, 0.6);     // air in the shell
    saturate(out, 1.3);
    addRoom(out, 0.16, 1102);
    return finishHit(std::move(out), -1.0, 0.08);
}

RenderedSample renderRoomSnare() {
    std::vector<double> out(framesFor(0.55), 0.0);
    addPartials(out, {{198.0, 0.35, 0.07}, {331.0, 0.2, 0.045}, {467.0, 0.1, 0.03}}, 0.08, 0.01);
    Rng rng(1201);
    // Loose wires that ring longer than the head, with a soft top.
    Biquad wiresLow = Biquad::highpass(1200.0, 0.7, kDrumRate);
    Biquad wiresTop = Biquad::lowpass(9000.0, 0.7, kDrumRate);
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        double env = 0.6 * expDecay(t, 0.16) + 0.4 * expDecay(t, 0.035);
        out[n] += 1.6 * wiresTop.process(wiresLow.process(rng.bipolar() * env));
    }
    addNoiseBurst(out, rng, Biquad::bandpass(4200.0, 1.1, kDrumRate), 0.0025, 0.8);  // stick on the rim
    addRoom(out, 0.22, 1202);
    return finishHit(std::move(out), -1.5, 0.1);
}

RenderedSample renderSideStick() {
    std::vector<double> out(framesFor(0.22), 0.0);
    // The stick across the rim: a hollow wooden knock with a bright edge.
    addPartials(out, {{820.0, 1.0, 0.025}, {1370.0, 0.6, 0.018}, {2290.0, 0.35, 0.01}, {410.0, 0.3, 0.04}}, 0.02,
                0.002);
    Rng rng(1301);
    addNoiseBurst(out, rng, Biquad::bandpass(3500.0, 1.4, kDrumRate), 0.0018, 0.9);
    addRoom(out, 0.2, 1302);
    return finishHit(std::move(out), -3.0, 0.04);
}

RenderedSample renderRoomHat() {
    std::vector<double> out(framesFor(0.3), 0.0);
    Rng rng(1401);
    // Two plates rubbing: many close inharmonic partials, a stick tick, and
    // a short wash of noise.
    for (int i = 0; i < 40; ++i) {
        double hz = 3200.0 * std::pow(4.0, rng.uniform());
        double phase = kTwoPi * rng.uniform();
        double amp = 0.02 * (0.4 + 0.6 * rng.uniform());
        double tau = 0.03 + 0.04 * rng.uniform();
        double step = kTwoPi * hz / kDrumRate;
        for (size_t n = 0; n < out.size(); ++n) out[n] += amp * std::sin(phase + step * n) * expDecay(timeOf(n), tau);
    }
    Biquad washHigh = Biquad::highpass(6000.0, 0.7, kDrumRate);
    addNoiseBurst(out, rng, washHigh, 0.045, 0.5);
    addNoiseBurst(out, rng, Biquad::bandpass(9000.0, 2.0, kDrumRate), 0.0015, 0.6);
    return finishHit(std::move(out), -6.0, 0.05);
}

// --- Second electronic set --------------------------------------------------

RenderedSample renderBoomKick() {
    std::vector<double> out(framesFor(1.2), 0.0);
    // A tuned sine boom at 55 Hz (A1) that falls from two octaves above,
    // slightly driven so small speakers hear its harmonics.
    double phase = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        double hz = 55.0 * (1.0 + 3.0 * expDecay(t, 0.012));
        phase += kTwoPi * hz / kDrumRate;
        out[n] = std::sin(phase) * (0.75 * expDecay(t, 0.45) + 0.25 * expDecay(t, 0.06));
    }
    saturate(out, 2.0);
    return finishHit(std::move(out), -1.0, 0.25);
}

RenderedSample renderSnap() {
    std::vector<double> out(framesFor(0.25), 0.0);
    Rng rng(2201);
    // A dry finger snap: a sharp band of noise and a short high tone.
    addNoiseBurst(out, rng, Biquad::bandpass(2600.0, 2.2, kDrumRate), 0.018, 1.4);
    addNoiseBurst(out, rng, Biquad::highpass(5000.0, 0.7, kDrumRate), 0.006, 0.5);
    addPartials(out, {{1650.0, 0.25, 0.012}}, 0.3, 0.003);
    return finishHit(std::move(out), -2.0, 0.04);
}

RenderedSample renderTickHat() {
    std::vector<double> out(framesFor(0.1), 0.0);
    Rng rng(2301);
    // A very short click of high noise with a ring-modulated edge.
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        double ring = std::sin(kTwoPi * 7400.0 * t) * std::sin(kTwoPi * 5300.0 * t);
        out[n] = (0.5 * ring + 0.5 * rng.bipolar()) * expDecay(t, 0.012);
    }
    Biquad high = Biquad::highpass(7500.0, 0.9, kDrumRate);
    for (double& v : out) v = high.process(v);
    return finishHit(std::move(out), -6.0, 0.02);
}

RenderedSample renderZap() {
    std::vector<double> out(framesFor(0.35), 0.0);
    // A sine whose pitch falls fast over four octaves: the laser of old
    // drum boxes, useful as a fill or on the off-beat.
    double phase = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        double hz = 180.0 + 2600.0 * expDecay(t, 0.035);
        phase += kTwoPi * hz / kDrumRate;
        out[n] = std::sin(phase) * expDecay(t, 0.09);
    }
    saturate(out, 1.5);
    return finishHit(std::move(out), -3.0, 0.06);
}

// --- Hand percussion -------------------------------------------------------

namespace {

RenderedSample renderConga(double hz, double tauSeconds, double seconds, uint64_t seed) {
    std::vector<double> out(framesFor(seconds), 0.0);
    // An open tone: a long skin fundamental over a few short upper modes,
    // struck by the palm with a slap of noise.
    addPartials(out,
                {{hz, 1.0, tauSeconds},
                 {hz * 1.52, 0.35, tauSeconds * 0.45},
                 {hz * 2.08, 0.22, tauSeconds * 0.3},
                 {hz * 2.71, 0.1, tauSeconds * 0.2}},
                0.035, 0.02);
    Rng rng(seed);
    addNoiseBurst(out, rng, Biquad::bandpass(1300.0, 0.9, kDrumRate), 0.004, 0.55);
    return finishHit(std::move(out), -3.0, 0.06);
}

}  // namespace

RenderedSample renderCongaHigh() { return renderConga(330.0, 0.16, 0.5, 3101); }
RenderedSample renderCongaLow() { return renderConga(220.0, 0.2, 0.6, 3102); }

RenderedSample renderShaker() {
    std::vector<double> out(framesFor(0.18), 0.0);
    Rng rng(3201);
    // Seeds hitting the shell: a swell and fall of grains of high noise.
    Biquad body = Biquad::bandpass(6500.0, 1.2, kDrumRate);
    Biquad top = Biquad::highpass(3500.0, 0.7, kDrumRate);
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        double swell = std::min(1.0, t / 0.025) * expDecay(std::max(0.0, t - 0.025), 0.035);
        double grain = rng.uniform() < 0.35 ? rng.bipolar() : 0.3 * rng.bipolar();
        out[n] = top.process(body.process(grain * swell));
    }
    return finishHit(std::move(out), -7.0, 0.03);
}

RenderedSample renderClave() {
    std::vector<double> out(framesFor(0.2), 0.0);
    // Hard wood on hard wood: one strong ringing mode near 2.5 kHz.
    addPartials(out, {{2480.0, 1.0, 0.045}, {6200.0, 0.15, 0.01}}, 0.0, 0.001);
    Rng rng(3301);
    addNoiseBurst(out, rng, Biquad::bandpass(4000.0, 1.5, kDrumRate), 0.001, 0.4);
    return finishHit(std::move(out), -5.0, 0.03);
}

RenderedSample renderCowbell() {
    std::vector<double> out(framesFor(0.45), 0.0);
    // Two detuned square-ish tones through a band-pass: the metal box.
    std::vector<double> tone(out.size(), 0.0);
    for (double hz : {562.0, 845.0}) {
        for (int k = 1; k * hz < 12000.0; k += 2) {
            double step = kTwoPi * hz * k / kDrumRate;
            for (size_t n = 0; n < tone.size(); ++n) tone[n] += (1.0 / k) * std::sin(step * n);
        }
    }
    Biquad band = Biquad::bandpass(900.0, 1.6, kDrumRate);
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n);
        out[n] = band.process(tone[n] * (0.7 * expDecay(t, 0.12) + 0.3 * expDecay(t, 0.01)));
    }
    return finishHit(std::move(out), -4.0, 0.06);
}

}  // namespace samplegen
