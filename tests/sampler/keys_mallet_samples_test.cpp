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

// One sample played on its own root key at velocity 100, mono.
std::vector<float> play(const char* name, int rootNote, int frames) {
    SamplerHost h(static_cast<float>(kRate), nullptr);  // the plug-in's own store
    h.load(0, name);
    EXPECT_NE(h.sampler().part(0).sample.frameCount, 0u) << name;
    h.set(0, kSplitNote, static_cast<float>(rootNote));
    h.noteOn(rootNote, 100);
    return h.render(frames);
}

// Amplitude of one frequency over [from, to), by correlation.
double amplitudeAt(const std::vector<float>& x, double hz, size_t from, size_t to) {
    double s = 0.0, c = 0.0;
    for (size_t i = from; i < to; ++i) {
        const double w = 2.0 * 3.14159265358979 * hz * static_cast<double>(i) / kRate;
        s += x[i] * std::sin(w);
        c += x[i] * std::cos(w);
    }
    return 2.0 * std::sqrt(s * s + c * c) / static_cast<double>(to - from);
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

std::vector<float> slice(const std::vector<float>& x, size_t from, size_t to) {
    return std::vector<float>(x.begin() + static_cast<std::ptrdiff_t>(from), x.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace

TEST(OrganSamples, EachRootSoundsItsSixteenEightAndFiveAndAThirdFootDrawbars) {
    const struct {
        const char* name;
        int root;
    } kOrgans[] = {{"Organ_C3.wav", 48}, {"Organ_C4.wav", 60}, {"Organ_C5.wav", 72}};
    for (const auto& organ : kOrgans) {
        SCOPED_TRACE(organ.name);
        const std::vector<float> out = play(organ.name, organ.root, 44100);
        // The steady part, past the percussion's decay.
        const size_t from = 22050, to = 44100;
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
    // The first 50 ms, where the mallets differ.
    const double softCentroid = measure::spectralCentroidHz(slice(soft, 0, 2205), kRate);
    const double hardCentroid = measure::spectralCentroidHz(slice(hard, 0, 2205), kRate);
    EXPECT_GT(hardCentroid, 1.5 * softCentroid);
    // The overtone two octaves up stands out of the hard strike.
    const double twoOctaves = 261.63 * 3.99;
    EXPECT_GT(db(amplitudeAt(hard, twoOctaves, 0, 2205) / amplitudeAt(soft, twoOctaves, 0, 2205)), 3.0);
}
