#include "tools/samplegen/keys_mallet_sounds.h"

#include <algorithm>
#include <array>

#include "tools/samplegen/synth_kit.h"

namespace samplegen {

namespace {

// The same headroom as the other melodic samples: chords of up to sixteen
// voices must not clip.
constexpr double kPeakDb = -3.0;

uint32_t framesAt(double seconds, double rateHz) { return static_cast<uint32_t>(seconds * rateHz); }

RenderedSample pitchedSample(std::vector<double> mono, double rateHz, int rootNote, double tailFadeSeconds) {
    fadeOutTail(mono, tailFadeSeconds, rateHz);
    RenderedSample s;
    s.rateHz = rateHz;
    s.channels.push_back(std::move(mono));
    s.pitched = true;
    s.rootNote = rootNote;
    normalisePeak(s.channels, kPeakDb);
    return s;
}

// Drawbar footages as multiples of the sub-octave (16') pitch, so that
// every one of them is a whole number of periods over the loop.
struct Drawbar {
    uint64_t multipleOfSub;
    int setting;  // 0 … 8, each step 3 dB
};

// A full, round registration: 16', 8' and 5 1/3' out, 4' a little in,
// a trace of 1' for sparkle.
constexpr std::array<Drawbar, 9> kRegistration = {{
    {1, 8},   // 16'
    {3, 7},   // 5 1/3'
    {2, 8},   // 8'
    {4, 6},   // 4'
    {6, 3},   // 2 2/3'
    {8, 4},   // 2'
    {10, 0},  // 1 3/5'
    {12, 0},  // 1 1/3'
    {16, 3},  // 1'
}};

double drawbarGain(int setting) { return setting <= 0 ? 0.0 : std::pow(10.0, -3.0 * (8 - setting) / 20.0); }

}  // namespace

RenderedSample renderDrawbarOrgan(int rootNote) {
    constexpr double rate = 44100.0;
    // The attack: a key contact click of filtered noise and a percussion
    // voice on the 4' (the second harmonic of the key) that dies away.
    // Both have reached exactly zero before the loop begins, so the loop
    // holds only the steady drawbar sum and repeats bit for bit.
    constexpr double kPercussionSeconds = 0.32;
    constexpr double kClickSeconds = 0.012;
    const double pitchHz = noteHz(rootNote);
    const LoopPlan plan = planLoop(pitchHz * 0.5, rate, 0.3);
    const PeriodicSineTable table(plan.loopFrames);
    const uint32_t loopStart = framesAt(kPercussionSeconds + 0.06, rate);
    const uint32_t loopEnd = loopStart + plan.loopFrames;
    const size_t frames = loopEnd + framesAt(0.12, rate);
    const uint64_t c = plan.cycles;

    // Upper wheels of high keys fold back an octave, as on the instrument,
    // rather than rise beyond its top.
    const double topHz = 6000.0;
    std::vector<std::pair<uint64_t, double>> partials;
    for (const Drawbar& bar : kRegistration) {
        const double gain = drawbarGain(bar.setting);
        if (gain == 0.0) continue;
        uint64_t multiple = bar.multipleOfSub;
        while (static_cast<double>(multiple) * plan.fundamentalHz > topHz && multiple % 2 == 0) multiple /= 2;
        partials.emplace_back(multiple * c, gain);
    }

    Rng rng(4000 + static_cast<uint64_t>(rootNote));
    Biquad clickBand = Biquad::bandpass(2500.0, 0.8, rate);
    std::vector<double> out(frames, 0.0);
    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        double sum = 0.0;
        for (const auto& [cycles, gain] : partials) sum += gain * table.at(cycles, 0, n);
        const double percussion = 0.6 * settle(t, kPercussionSeconds, 2.5) * table.at(4 * c, 0, n);
        const double click = t < kClickSeconds ? 0.5 * rise(t, 0.0015) * settle(t, kClickSeconds, 2.0) * clickBand.process(rng.bipolar())
                                               : 0.0;
        out[n] = rise(t, 0.004) * (sum + percussion) + click;
    }
    RenderedSample s = pitchedSample(std::move(out), rate, rootNote, 0.12);
    s.hasLoop = true;
    s.loopStartFrame = loopStart;
    s.loopEndFrame = loopEnd;
    return s;
}

RenderedSample renderMarimba(int rootNote, Mallet mallet) {
    constexpr double rate = 44100.0;
    const double pitchHz = noteHz(rootNote);
    const bool hard = mallet == Mallet::Hard;
    // A tuned bar: the fundamental, the overtone tuned two octaves up and
    // the one about three octaves and a third up, each ringing shorter than
    // the one below; the resonator tube under the bar carries the
    // fundamental longest. Low bars ring longer than high ones.
    struct Mode {
        double ratio;
        double softAmp;
        double hardAmp;
        double t60Factor;
    };
    static const Mode kModes[] = {
        {1.0, 1.0, 1.0, 1.0},
        {3.99, 0.18, 0.42, 0.32},
        {9.85, 0.04, 0.2, 0.12},
        {2.0, 0.05, 0.05, 0.6},  // the tube's own octave
    };
    const double t60Seconds = std::clamp(1.5 * std::pow(261.63 / pitchHz, 0.5), 0.5, 2.4);
    const double seconds = std::min(1.6, t60Seconds + 0.25);
    const size_t frames = framesAt(seconds, rate);
    // A soft yarn mallet stays on the bar longer than a hard one: a slower
    // rise and less of the upper modes.
    const double contactSeconds = hard ? 0.0018 : 0.0035;

    std::vector<double> out(frames, 0.0);
    for (const Mode& m : kModes) {
        const double f = pitchHz * m.ratio;
        if (f > 16000.0) continue;
        const double amp = hard ? m.hardAmp : m.softAmp;
        const double tau = t60Seconds * m.t60Factor / 6.9078;
        const double step = kTwoPi * f / rate;
        for (size_t n = 0; n < frames; ++n) {
            const double t = static_cast<double>(n) / rate;
            out[n] += amp * expDecay(t, tau) * std::sin(step * static_cast<double>(n));
        }
    }
    // The mallet's knock: a short band of noise, much stronger from a hard
    // mallet.
    Rng rng(5000 + static_cast<uint64_t>(rootNote) + (hard ? 100 : 0));
    Biquad knock = Biquad::bandpass(std::min(pitchHz * 6.0, 7000.0), 1.0, rate);
    const double knockLevel = hard ? 0.22 : 0.08;
    for (size_t n = 0; n < std::min<size_t>(frames, framesAt(0.03, rate)); ++n) {
        const double t = static_cast<double>(n) / rate;
        out[n] += knockLevel * expDecay(t, 0.004) * knock.process(rng.bipolar());
    }
    for (size_t n = 0; n < frames; ++n) out[n] *= rise(static_cast<double>(n) / rate, contactSeconds);
    return pitchedSample(std::move(out), rate, rootNote, 0.2);
}

}  // namespace samplegen
