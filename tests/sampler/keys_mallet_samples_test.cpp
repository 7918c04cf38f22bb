// The organ and marimba multi-samples as the sampler plays them: in tune
// at their root keys, the organ's drawbars on the harmonics they stand
// for, and the marimba's hard-mallet layer brighter and more percussive
// than its soft one.
#include <cmath>

#include "tests/sampler/sampler_test_host.h"
#include "tools/audio_measure/spectrum.h"

using namespace sampler;
using namespace sampler_test;

namespace {

constexpr double kRate = 44100.0;

// One sample played on its own root key at velocity 100, mono; a sample
// with a loop plays on its loop.
std::vector<float> play(const char* name, int rootNote, int frames) {
    SamplerHost h(static_cast<float>(kRate), nullptr);  // the plug-in's own store
    h.load(0, name);
    EXPECT_NE(h.sampler().part(0).sample.frameCount, 0u) << name;
    const auto stored = SampleLibrary::shared().find(name, SampleChannels::AsStored);
    if (stored != nullptr && stored->hasFileLoop) {
        h.set(0, kLoop, 1.0f);
        h.set(0, kWaveLoopEnd, stored->loopEndFraction());
        h.set(0, kWaveLoop, stored->loopStartFraction());
    }
    h.set(0, kSplitNote, static_cast<float>(rootNote));
    h.noteOn(rootNote, 100);
    return h.render(frames);
}

// Amplitude of one frequency over [from, to), by correlation under a Hann
// window, so that a strong partial a few hertz away does not leak in.
double amplitudeAt(const std::vector<float>& x, double hz, size_t from, size_t to) {
    const double pi = 3.14159265358979;
    const double n = static_cast<double>(to - from);
    double s = 0.0, c = 0.0;
    for (size_t i = from; i < to; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i - from) / n);
        const double w = 2.0 * pi * hz * static_cast<double>(i) / kRate;
        s += window * x[i] * std::sin(w);
        c += window * x[i] * std::cos(w);
    }
    return 4.0 * std::sqrt(s * s + c * c) / n;
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

TEST(OrganSamples, EachRootSoundsItsSixteenEightAndFiveAndAThirdFootDrawbars) {
    const struct {
        const char* name;
        int root;
    } kOrgans[] = {{"Organ_C3.wav", 48}, {"Organ_C4.wav", 60}, {"Organ_C5.wav", 72}};
    for (const auto& organ : kOrgans) {
        SCOPED_TRACE(organ.name);
        const std::vector<float> out = play(organ.name, organ.root, 2 * 44100);
        // The steady part, past the percussion's decay, long enough to
        // tell a quarter tone apart at the lowest key.
        const size_t from = 22050, to = 2 * 44100;
        const double keyHz = 440.0 * std::pow(2.0, (organ.root - 69) / 12.0);
        const double eight = amplitudeAt(out, keyHz, from, to);
        const double sixteen = amplitudeAt(out, keyHz * 0.5, from, to);
        const double quint = amplitudeAt(out, keyHz * 1.5, from, to);
        // Between the drawbars (a quarter tone off the 8') there is nothing.
        const double between = amplitudeAt(out, keyHz * std::pow(2.0, 0.5 / 12.0), from, to);
        EXPECT_GT(eight, 0.02);
        EXPECT_NEAR(db(sixteen / eight), 0.0, 2.0);
        EXPECT_NEAR(db(quint / eight), -3.0, 2.0);
        EXPECT_LT(db(between / eight), -30.0);
    }
}

TEST(OrganSamples, ThePercussionBarksAtTheAttackAndThenLeavesTheSteadyTone) {
    const std::vector<float> out = play("Organ_C4.wav", 60, 44100);
    const double fourFoot = 2.0 * 261.63;
    // The second harmonic over the first 50 ms against the steady part.
    const double attack = amplitudeAt(out, fourFoot, 441, 2646);
    const double steady = amplitudeAt(out, fourFoot, 22050, 44100);
    EXPECT_GT(db(attack / steady), 4.0);
}

TEST(MarimbaSamples, EachRootIsInTuneAndDiesAway) {
    const struct {
        const char* name;
        int root;
    } kBars[] = {{"Marimba_C3.wav", 48}, {"Marimba_C4.wav", 60}, {"Marimba_C5.wav", 72}, {"MarimbaHard_C4.wav", 60}};
    for (const auto& bar : kBars) {
        SCOPED_TRACE(bar.name);
        const std::vector<float> out = play(bar.name, bar.root, 2 * 44100);
        const double keyHz = 440.0 * std::pow(2.0, (bar.root - 69) / 12.0);
        // Once the upper modes have gone, the fundamental alone is left.
        EXPECT_NEAR(pitchHz(out, kRate, 11025, 22050), keyHz, keyHz * 0.003);
        const double strike = rms(out, 0, 4410);
        EXPECT_GT(strike, 0.02);
        EXPECT_LT(db(rms(out, 66150, 88200) / strike), -30.0);  // a bar, not a sustained tone
    }
}

TEST(MarimbaSamples, TheHardMalletLayerIsBrighterThanTheSoftOne) {
    const std::vector<float> soft = play("Marimba_C4.wav", 60, 4410);
    const std::vector<float> hard = play("MarimbaHard_C4.wav", 60, 4410);
    // Over the first 100 ms, where the mallets differ: the overtone two
    // octaves up and the one above three octaves against the fundamental.
    const double keyHz = 261.63;
    auto relative = [&](const std::vector<float>& x, double ratio) {
        return db(amplitudeAt(x, keyHz * ratio, 0, 4410) / amplitudeAt(x, keyHz, 0, 4410));
    };
    EXPECT_GT(relative(hard, 3.99) - relative(soft, 3.99), 5.0);
    EXPECT_GT(relative(hard, 9.85) - relative(soft, 9.85), 10.0);
    // And the whole strike is brighter.
    EXPECT_GT(measure::spectralCentroidHz(hard, kRate), measure::spectralCentroidHz(soft, kRate));
}
