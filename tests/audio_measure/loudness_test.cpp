// Loudness, peaks and DC against figures known in closed form.
#include <gtest/gtest.h>

#include "tests/audio_measure/test_signals.h"
#include "tools/audio_measure/loudness.h"
#include "tools/audio_measure/stereo_image.h"

namespace {

using namespace test_signals;

TEST(Loudness, StereoSineAtOneKilohertzReadsItsPeakLevel) {
    // A 1 kHz sine of peak level L dBFS in both channels measures L LUFS
    // (the K-weighting's gain at 1 kHz makes up for the RMS of a sine).
    for (double levelDb : {-23.0, -16.0, -6.0}) {
        const auto f = measureLoudness(dual(sine(1000.0, std::pow(10.0, levelDb / 20.0), 5.0)));
        EXPECT_NEAR(f.integratedLufs, levelDb, 0.1) << levelDb;
        EXPECT_NEAR(f.samplePeakDb, levelDb, 0.05);
        EXPECT_NEAR(f.rmsDb, levelDb - 3.01, 0.05);
    }
}

TEST(Loudness, OneChannelIsThreeDecibelsQuieterThanTwo) {
    const auto both = measureLoudness(dual(sine(1000.0, 0.25, 5.0)));
    const auto one = measureLoudness(stereo(sine(1000.0, 0.25, 5.0), std::vector<float>(5 * 44100, 0.0f)));
    EXPECT_NEAR(both.integratedLufs - one.integratedLufs, 3.01, 0.1);
}

TEST(Loudness, SilenceIsBelowTheGate) {
    const auto f = measureLoudness(dual(std::vector<float>(44100, 0.0f)));
    EXPECT_LT(f.integratedLufs, -200.0);
    EXPECT_LT(f.truePeakDbtp, -200.0);
}

TEST(Loudness, TruePeakFindsThePeakBetweenSamples) {
    // A quarter of the rate at 45 degrees: every sample sits at 0.707 of
    // the peak, which only the oversampled measure sees.
    const auto f = measureLoudness(dual(sine(44100.0 / 4.0, 0.5, 2.0, std::numbers::pi / 4.0)));
    EXPECT_NEAR(f.samplePeakDb, -6.02 - 3.01, 0.05);
    EXPECT_NEAR(f.truePeakDbtp, -6.02, 0.6);
}

TEST(Loudness, DcOffsetPerChannel) {
    std::vector<float> left = sine(220.0, 0.3, 2.0), right = left;
    for (float& v : left) v += 0.004f;
    for (float& v : right) v -= 0.002f;
    const auto f = measureLoudness(stereo(left, right));
    EXPECT_NEAR(f.dcLeft, 0.004, 2e-4);
    EXPECT_NEAR(f.dcRight, -0.002, 2e-4);
}

TEST(LowEnd, IdenticalSidesFoldDownLosslessly) {
    const auto image = measureLowEnd(dual(sine(60.0, 0.5, 2.0)));
    EXPECT_NEAR(image.correlation, 1.0, 1e-6);
    EXPECT_NEAR(image.foldDownLossDb, 0.0, 1e-6);
    EXPECT_NEAR(image.levelDb, -6.02 - 3.01, 0.3);
}

TEST(LowEnd, UnrelatedSidesLoseThreeDecibels) {
    const auto image = measureLowEnd(stereo(noise(0.5, 10.0, 1), noise(0.5, 10.0, 2)));
    EXPECT_NEAR(image.correlation, 0.0, 0.1);
    EXPECT_NEAR(image.foldDownLossDb, 3.01, 0.5);
}

TEST(LowEnd, OnlyTheLowBandCounts) {
    // Common low tone, unrelated high noise: the low end is mono.
    std::vector<float> left = sine(50.0, 0.3, 4.0), right = left;
    const auto hissL = noise(0.3, 4.0, 3), hissR = noise(0.3, 4.0, 4);
    std::vector<float> l2 = left, r2 = right;
    for (size_t i = 1; i < left.size(); ++i) {
        // Differenced noise: a hiss rising 6 dB per octave, next to nothing
        // below the crossover.
        l2[i] += hissL[i] - hissL[i - 1];
        r2[i] += hissR[i] - hissR[i - 1];
    }
    const auto image = measureLowEnd(stereo(l2, r2));
    EXPECT_GT(image.correlation, 0.95);
    EXPECT_LT(image.foldDownLossDb, 0.2);
    // Opposite phase is the worst case.
    std::vector<float> inverted = left;
    for (float& v : inverted) v = -v;
    EXPECT_LT(measureLowEnd(stereo(left, inverted)).correlation, -0.99);
}

}  // namespace
