// The measures themselves, on signals whose answers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/soundcheck/signal_measures.h"

namespace {

using soundcheck::kRate;
using soundcheck::Stereo;

std::vector<float> sine(double hz, double amplitude, double seconds) {
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kRate));
    return x;
}

std::vector<float> noise(unsigned seed, double seconds) {
    std::mt19937 random(seed);
    std::normal_distribution<float> gauss(0.0f, 0.1f);
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (float& v : x) v = gauss(random);
    return x;
}

TEST(SignalMeasures, BandShareSplitsAtItsCutoff) {
    EXPECT_GT(soundcheck::energyShareBelow(sine(20.0, 0.5, 2.0), 30.0), 0.85);
    EXPECT_LT(soundcheck::energyShareBelow(sine(100.0, 0.5, 2.0), 30.0), 0.01);
    EXPECT_NEAR(soundcheck::spectralPeakHz(sine(440.0, 0.5, 2.0)), 440.0, 3.0);
}

TEST(SignalMeasures, CorrelationAndMonoLossOfKnownPairs) {
    Stereo same{sine(80.0, 0.5, 2.0), sine(80.0, 0.5, 2.0)};
    EXPECT_NEAR(soundcheck::lowCorrelation(same, 150.0), 1.0, 1e-6);
    EXPECT_NEAR(soundcheck::monoFoldLossDb(same, 150.0), 0.0, 1e-6);
    Stereo apart{noise(1, 4.0), noise(2, 4.0)};
    EXPECT_NEAR(soundcheck::lowCorrelation(apart, 150.0), 0.0, 0.15);
    EXPECT_NEAR(soundcheck::monoFoldLossDb(apart, 150.0), 3.0, 0.6);
    Stereo opposite{sine(80.0, 0.5, 2.0), sine(80.0, -0.5, 2.0)};
    EXPECT_NEAR(soundcheck::lowCorrelation(opposite, 150.0), -1.0, 1e-6);
}

TEST(SignalMeasures, LoudnessOfAFullScaleToneAndSpectraOfItself) {
    // A 1 kHz sine at amplitude 0.1 in both channels reads -20 LUFS.
    Stereo tone{sine(1000.0, 0.1, 5.0), sine(1000.0, 0.1, 5.0)};
    EXPECT_NEAR(soundcheck::loudnessLufs(tone), -20.0, 0.2);
    EXPECT_NEAR(soundcheck::rmsDb(tone), -23.01, 0.05);
    const auto levels = soundcheck::thirdOctaveLevels(tone.left);
    EXPECT_EQ(soundcheck::spectrumDistanceDb(levels, levels), 0.0);
    EXPECT_GT(soundcheck::spectrumDistanceDb(levels, soundcheck::thirdOctaveLevels(noise(3, 5.0))), 10.0);
    const auto env = soundcheck::rhythmEnvelope(noise(4, 2.0));
    EXPECT_NEAR(soundcheck::envelopeCorrelation(env, env), 1.0, 1e-9);
}

}  // namespace
