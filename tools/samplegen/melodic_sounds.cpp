#include "tools/samplegen/melodic_sounds.h"

#include <algorithm>
#include <complex>

#include "tools/samplegen/synth_kit.h"

namespace samplegen {

namespace {

// Melodic samples leave 3 dB of headroom: the sampler plays up to sixteen
// voices at once, and chords of full-scale samples would clip at once.
constexpr double kMelodicPeakDb = -3.0;

// Additive partial amplitudes are computed every kControlFrames frames and
// interpolated in between.
constexpr uint32_t kControlFrames = 32;

uint32_t framesAt(double seconds, double rateHz) { return static_cast<uint32_t>(seconds * rateHz); }

RenderedSample finish(std::vector<std::vector<double>> channels, double rateHz, int rootNote, double tailFadeSeconds) {
    for (auto& ch : channels) fadeOutTail(ch, tailFadeSeconds, rateHz);
    RenderedSample s;
    s.rateHz = rateHz;
    s.channels = std::move(channels);
    s.pitched = true;
    s.rootNote = rootNote;
    normalisePeak(s.channels, kMelodicPeakDb);
    return s;
}

void setLoop(RenderedSample& s, uint32_t startFrame, uint32_t endFrame) {
    s.hasLoop = true;
    s.loopStartFrame = startFrame;
    s.loopEndFrame = endFrame;
}

// A bank of partials on a loop grid with amplitudes given by a function of
// (partial index, time), evaluated at control rate. Once the function stops
// changing, the output repeats exactly with the loop.
struct GridPartial {
    uint64_t cycles;  // whole periods per loop
    uint64_t phase;   // in 1/loopFrames of a cycle
};

template <typename AmplitudeAt>
void renderPartials(std::vector<double>& out, const PeriodicSineTable& table, const std::vector<GridPartial>& partials,
                    double rateHz, AmplitudeAt amplitudeAt) {
    const size_t count = partials.size();
    std::vector<double> current(count), next(count);
    auto evaluate = [&](std::vector<double>& amps, size_t frame) {
        double t = static_cast<double>(frame) / rateHz;
        for (size_t p = 0; p < count; ++p) amps[p] = amplitudeAt(p, t);
    };
    evaluate(next, 0);
    for (size_t blockStart = 0; blockStart < out.size(); blockStart += kControlFrames) {
        current.swap(next);
        evaluate(next, blockStart + kControlFrames);
        size_t blockEnd = std::min(out.size(), blockStart + kControlFrames);
        for (size_t n = blockStart; n < blockEnd; ++n) {
            double frac = static_cast<double>(n - blockStart) / kControlFrames;
            double sum = 0.0;
            for (size_t p = 0; p < count; ++p) {
                double a = current[p] + (next[p] - current[p]) * frac;
                if (a != 0.0) sum += a * table.at(partials[p].cycles, partials[p].phase, n);
            }
            out[n] += sum;
        }
    }
}

}  // namespace

RenderedSample renderElectricPiano(int rootNote) {
    constexpr double rate = 44100.0;
    // Two FM pairs, the classic digital electric piano: a body pair at ratio
    // 1:1 whose index falls as the note settles, and a "tine" pair whose
    // modulator runs at 14 times the pitch and dies within a tenth of a
    // second, giving the bell-like bark of the attack.
    constexpr double kSteadySeconds = 0.9;
    constexpr int kTineRatio = 14;
    const double pitchHz = noteHz(rootNote);
    const LoopPlan plan = planLoop(pitchHz, rate, 0.3);
    const PeriodicSineTable table(plan.loopFrames);
    const uint32_t loopStart = framesAt(kSteadySeconds + 0.05, rate);
    const uint32_t loopEnd = loopStart + plan.loopFrames;
    const size_t frames = loopEnd + framesAt(0.2, rate);
    // Lower keys are struck harder into the tines, as on the instrument.
    const double keyScale = std::pow(261.63 / pitchHz, 0.35);
    const uint64_t c = plan.cycles;
    const uint64_t tinePhase = plan.loopFrames / 4;

    std::vector<double> out(frames, 0.0);
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / rate;
        double bodyIndex = (0.45 + 1.3 * settle(t, kSteadySeconds, 3.0)) * keyScale;
        double bodyAmp = 0.32 + 0.68 * settle(t, kSteadySeconds, 2.2);
        double tineIndex = 1.6 * settle(t, 0.16, 2.0) * keyScale;
        double tineAmp = 0.28 * settle(t, 0.45, 2.5);
        double body = std::sin(table.phaseRadians(c, 0, n) + bodyIndex * table.at(c, 0, n));
        double tine = tineAmp == 0.0 ? 0.0
                                     : std::sin(table.phaseRadians(c, tinePhase, n) +
                                                tineIndex * table.at(c * kTineRatio, 0, n));
        out[n] = rise(t, 0.002) * (bodyAmp * body + tineAmp * tine);
    }
    RenderedSample s = finish({std::move(out)}, rate, rootNote, 0.2);
    setLoop(s, loopStart, loopEnd);
    return s;
}

RenderedSample renderPluck(int rootNote) {
    constexpr double rate = 44100.0;
    const double pitchHz = noteHz(rootNote);
    const size_t frames = framesAt(1.4, rate);
    // Karplus-Strong: a delay line of one period, fed back through a
    // two-point average (half a frame of delay, the string's losses rising
    // with frequency) and a first-order all-pass that supplies the
    // fractional rest of the period.
    const double period = rate / pitchHz;
    const int lineFrames = static_cast<int>(std::floor(period - 0.5 - 0.2));
    const double fractional = period - 0.5 - lineFrames;
    const double allpass = (1.0 - fractional) / (1.0 + fractional);
    // Lower strings ring longer.
    const double t60Seconds = 3.2 * std::sqrt(130.81 / pitchHz);
    const double loopGain = std::pow(10.0, -3.0 / (t60Seconds * pitchHz));

    // The pluck: one period of softened noise, with the comb notch of a
    // pick a seventh of the way along the string.
    Rng rng(1000 + static_cast<uint64_t>(rootNote));
    const int burst = static_cast<int>(std::lround(period));
    const int pickOffset = std::max(1, static_cast<int>(std::lround(period * 0.14)));
    std::vector<double> noise(static_cast<size_t>(burst));
    OnePole soften(4500.0, rate);
    for (double& v : noise) v = soften.process(rng.bipolar());
    double mean = 0.0;
    for (double v : noise) mean += v;
    mean /= burst;
    std::vector<double> excitation(static_cast<size_t>(burst));
    for (int i = 0; i < burst; ++i) {
        double delayed = i >= pickOffset ? noise[static_cast<size_t>(i - pickOffset)] - mean : 0.0;
        excitation[static_cast<size_t>(i)] = (noise[static_cast<size_t>(i)] - mean) - delayed;
    }

    std::vector<double> line(static_cast<size_t>(lineFrames), 0.0);
    size_t index = 0;
    double previous = 0.0, apIn = 0.0, apOut = 0.0;
    std::vector<double> out(frames, 0.0);
    for (size_t n = 0; n < frames; ++n) {
        double delayed = line[index];
        double averaged = 0.5 * (delayed + previous);
        previous = delayed;
        double shifted = allpass * averaged + apIn - allpass * apOut;
        apIn = averaged;
        apOut = shifted;
        double y = loopGain * shifted + (n < excitation.size() ? excitation[n] : 0.0);
        line[index] = y;
        index = (index + 1) % line.size();
        out[n] = y;
    }

    // A guitar-like body: three gentle resonances, then a soft top end.
    Biquad air = Biquad::bandpass(110.0, 3.0, rate);
    Biquad top = Biquad::bandpass(230.0, 4.0, rate);
    Biquad back = Biquad::bandpass(450.0, 4.0, rate);
    Biquad soft = Biquad::lowpass(7500.0, 0.7, rate);
    DcBlocker dc(rate);
    for (double& v : out) {
        double bodied = v + 0.25 * air.process(v) + 0.18 * top.process(v) + 0.1 * back.process(v);
        v = dc.process(soft.process(bodied));
    }
    fadeInHead(out, 0.001, rate);
    return finish({std::move(out)}, rate, rootNote, 0.3);
}

RenderedSample renderBass(int rootNote) {
    constexpr double rate = 44100.0;
    // A saw-and-square oscillator through a resonant four-pole low-pass
    // whose cutoff snaps down after the attack: the round, plucky synth
    // bass of analogue monosynths, rendered additively so that the sustain
    // loops exactly.
    constexpr double kSteadySeconds = 0.35;
    constexpr double kResonance = 0.45;  // feedback k/4 of the ladder; below self-oscillation
    const double pitchHz = noteHz(rootNote);
    const LoopPlan plan = planLoop(pitchHz, rate, 0.25);
    const PeriodicSineTable table(plan.loopFrames);
    const uint32_t loopStart = framesAt(kSteadySeconds + 0.1, rate);
    const uint32_t loopEnd = loopStart + plan.loopFrames;
    const size_t frames = loopEnd + framesAt(0.15, rate);

    const double topHz = std::min(12000.0, 0.45 * rate);
    std::vector<GridPartial> partials;
    std::vector<double> source;
    for (uint64_t k = 1; static_cast<double>(k) * plan.fundamentalHz < topHz; ++k) {
        partials.push_back(GridPartial{k * plan.cycles, 0});
        double amp = 0.6 / static_cast<double>(k) + ((k & 1) ? 0.4 / static_cast<double>(k) : 0.0);
        if (k == 1) amp += 0.3;
        source.push_back(amp);
    }
    const double openHz = std::min(pitchHz * 48.0, 6000.0);
    const double restHz = std::clamp(pitchHz * 5.0, 180.0, 2500.0);
    auto ladder = [&](double frequencyHz, double cutoffHz) {
        std::complex<double> s(1.0, frequencyHz / cutoffHz);
        std::complex<double> d = s * s * s * s + 4.0 * kResonance;
        return (1.0 + 4.0 * kResonance) / std::abs(d);
    };
    std::vector<double> out(frames, 0.0);
    renderPartials(out, table, partials, rate, [&](size_t p, double t) {
        double cutoffHz = restHz + (openHz - restHz) * settle(t, kSteadySeconds, 2.5);
        double env = rise(t, 0.003) * (0.8 + 0.2 * settle(t, kSteadySeconds, 2.0));
        double f = static_cast<double>(p + 1) * plan.fundamentalHz;
        return env * source[p] * ladder(f, cutoffHz);
    });
    RenderedSample s = finish({std::move(out)}, rate, rootNote, 0.15);
    setLoop(s, loopStart, loopEnd);
    return s;
}

RenderedSample renderPad(int rootNote) {
    // 32 kHz is plenty for a warm pad (its filter keeps it below 13 kHz) and
    // keeps the stereo samples small.
    constexpr double rate = 32000.0;
    constexpr double kSteadySeconds = 0.8;
    const double pitchHz = noteHz(rootNote);
    // A one-second loop puts the grid near 1 Hz: the detuned saws beat
    // against each other at whole multiples of it, so the chorus, too,
    // repeats exactly with the loop.
    const LoopPlan plan = planLoop(pitchHz, rate, 1.0);
    const PeriodicSineTable table(plan.loopFrames);
    const uint32_t loopStart = framesAt(kSteadySeconds + 0.05, rate);
    const uint32_t loopEnd = loopStart + plan.loopFrames;
    const size_t frames = loopEnd + framesAt(0.35, rate);
    const double grid = plan.gridHz(rate);
    // About 7 cents between neighbouring saws.
    const int64_t detune = std::max<int64_t>(1, std::llround(static_cast<double>(plan.cycles) * 0.004));
    const double restCutoffHz = std::clamp(pitchHz * 9.0, 1200.0, 4000.0);
    const double topHz = std::min(13000.0, 0.45 * rate);

    std::vector<std::vector<double>> channels;
    Rng rng(2000 + static_cast<uint64_t>(rootNote));
    for (int side = 0; side < 2; ++side) {
        std::vector<GridPartial> partials;
        std::vector<double> harmonic;
        for (int64_t offset : {-detune, int64_t{0}, detune}) {
            uint64_t voiceCycles = static_cast<uint64_t>(static_cast<int64_t>(plan.cycles) + offset);
            for (uint64_t k = 1; static_cast<double>(k * voiceCycles) * grid < topHz; ++k) {
                // Random phases per side decorrelate left and right.
                partials.push_back(GridPartial{k * voiceCycles, rng.below(plan.loopFrames)});
                harmonic.push_back(static_cast<double>(k));
            }
        }
        std::vector<double> out(frames, 0.0);
        renderPartials(out, table, partials, rate, [&](size_t p, double t) {
            double cutoffHz = restCutoffHz * (0.3 + 0.7 * rise(t, kSteadySeconds));
            double f = static_cast<double>(partials[p].cycles) * grid;
            double ratio = f / cutoffHz;
            return rise(t, 0.55) / harmonic[p] / std::sqrt(1.0 + ratio * ratio * ratio * ratio);
        });
        channels.push_back(std::move(out));
    }
    RenderedSample s = finish(std::move(channels), rate, rootNote, 0.35);
    setLoop(s, loopStart, loopEnd);
    return s;
}

RenderedSample renderBell(int rootNote) {
    constexpr double rate = 44100.0;
    const double pitchHz = noteHz(rootNote);
    const size_t frames = framesAt(1.8, rate);
    // Partials of a tuned bell relative to its strike note (hum, prime,
    // minor-third tierce, quint, nominal and the upper partials), with their
    // relative loudness and how long each rings compared with the hum.
    struct BellPartial {
        double ratio;
        double amp;
        double ringFactor;
    };
    static const BellPartial kPartials[] = {
        {0.5, 0.45, 1.0},  {1.0, 0.7, 0.8},   {1.183, 0.55, 0.7}, {1.506, 0.35, 0.55},
        {2.0, 1.0, 0.6},   {2.514, 0.3, 0.4}, {2.662, 0.28, 0.38}, {3.011, 0.3, 0.33},
        {4.166, 0.18, 0.25}, {5.433, 0.1, 0.18}, {6.796, 0.06, 0.13},
    };
    // Small bells die sooner.
    const double humT60Seconds = 2.4 * std::pow(523.25 / pitchHz, 0.4);
    Rng rng(3000 + static_cast<uint64_t>(rootNote));
    std::vector<double> out(frames, 0.0);
    int index = 0;
    for (const BellPartial& p : kPartials) {
        ++index;
        double f = pitchHz * p.ratio;
        if (f * 1.01 > 18000.0) continue;
        double tau = humT60Seconds * p.ringFactor / 6.9078;  // T60 to e-folding time
        // Each partial is a slightly split doublet, since no bell is
        // perfectly round: the two beat slowly.
        double split = 1.0 + 0.0012 * (index % 3 + 1);
        double phaseA = kTwoPi * rng.uniform();
        double phaseB = kTwoPi * rng.uniform();
        double stepA = kTwoPi * f / rate;
        double stepB = kTwoPi * f * split / rate;
        for (size_t n = 0; n < frames; ++n) {
            double t = static_cast<double>(n) / rate;
            double env = p.amp * expDecay(t, tau);
            out[n] += env * (std::sin(phaseA + stepA * static_cast<double>(n)) +
                             0.45 * std::sin(phaseB + stepB * static_cast<double>(n)));
        }
    }
    Biquad strike = Biquad::bandpass(std::min(pitchHz * 3.5, 8000.0), 1.2, rate);
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / rate;
        out[n] += 0.25 * strike.process(rng.bipolar() * expDecay(t, 0.003));
    }
    fadeInHead(out, 0.001, rate);
    return finish({std::move(out)}, rate, rootNote, 0.35);
}

}  // namespace samplegen
