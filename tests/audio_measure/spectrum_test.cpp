// Spectra, envelopes and the FFT against signals whose answers are known.
#include <gtest/gtest.h>

#include <complex>

#include "tests/audio_measure/test_signals.h"
#include "tools/audio_measure/envelope.h"
#include "tools/audio_measure/fft.h"
#include "tools/audio_measure/spectrum.h"

namespace {

using namespace test_signals;

TEST(Fft, MatchesTheDirectTransform) {
    std::vector<std::complex<double>> x(64);
    for (size_t i = 0; i < x.size(); ++i) x[i] = {std::sin(0.3 * i) + 0.1 * i, std::cos(1.7 * i)};
    std::vector<std::complex<double>> fast = x;
    ASSERT_TRUE(measure::fft(fast));
    for (size_t k = 0; k < x.size(); ++k) {
        std::complex<double> direct = 0.0;
        for (size_t n = 0; n < x.size(); ++n)
            direct += x[n] * std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k * n) / 64.0);
        EXPECT_NEAR(std::abs(fast[k] - direct), 0.0, 1e-9) << k;
    }
    std::vector<std::complex<double>> odd(48);
    EXPECT_FALSE(measure::fft(odd));
}

TEST(Spectrum, CentroidOfOneAndTwoTones) {
    EXPECT_NEAR(measure::spectralCentroidHz(sine(1000.0, 0.5, 2.0), kRate), 1000.0, 20.0);
    std::vector<float> two = sine(500.0, 0.3, 2.0);
    const std::vector<float> high = sine(2000.0, 0.3, 2.0);
    for (size_t i = 0; i < two.size(); ++i) two[i] += high[i];
    EXPECT_NEAR(measure::spectralCentroidHz(two, kRate), 1250.0, 30.0);
    EXPECT_EQ(measure::spectralCentroidHz(std::vector<float>(10000, 0.0f), kRate), 0.0);
}

TEST(Spectrum, PeakBandShareAndThirdOctaves) {
    const auto power = measure::averagePowerSpectrum(sine(25.0, 0.5, 3.0));
    EXPECT_NEAR(measure::spectralPeakHz(power, kRate), 25.0, 2.7);
    EXPECT_GT(measure::bandEnergyShare(power, kRate, 0.0, 30.0), 0.95);
    EXPECT_LT(measure::bandEnergyShare(power, kRate, 100.0, 20000.0), 0.01);

    const auto bands = measure::thirdOctaveLevelsDb(measure::averagePowerSpectrum(sine(1000.0, 0.5, 3.0)), kRate);
    const auto& centres = measure::thirdOctaveCentresHz();
    ASSERT_EQ(bands.size(), centres.size());
    const size_t loudest = static_cast<size_t>(std::max_element(bands.begin(), bands.end()) - bands.begin());
    EXPECT_NEAR(centres[loudest], 1000.0, 1.0);
    EXPECT_GT(bands[loudest] - bands[loudest + 3], 40.0);  // an octave up
}

TEST(Spectrum, ToneLevelPicksOneComponent) {
    std::vector<float> x = sine(440.0, 0.5, 0.5);
    const std::vector<float> other = sine(466.16, 0.05, 0.5);  // a semitone up, 20 dB down
    for (size_t i = 0; i < x.size(); ++i) x[i] += other[i];
    EXPECT_NEAR(measure::toneLevelDb(x, 0, 8820, 440.0, kRate), -6.02, 0.2);
    EXPECT_NEAR(measure::toneLevelDb(x, 4410, 8820, 466.16, kRate), -26.02, 1.0);
    EXPECT_LT(measure::toneLevelDb(x, 0, 8820, 880.0, kRate), -60.0);
}

TEST(Spectrum, SpectrogramShowsAFullScaleSineAtZeroDecibels) {
    const auto frames = measure::spectrogramDb(sine(44100.0 * 64 / 1024, 1.0, 1.0), 1024, 512);
    ASSERT_GT(frames.size(), 10u);
    EXPECT_NEAR(frames[5][64], 0.0, 0.1);
    EXPECT_LT(frames[5][200], -60.0);
}

TEST(Envelope, FindsAStepUpAndTheEndOfASound) {
    std::vector<float> x = sine(440.0, 0.01, 1.0);
    const std::vector<float> loud = sine(440.0, 0.1, 1.0);
    x.insert(x.end(), loud.begin(), loud.end());
    x.resize(x.size() + 44100, 0.0f);
    const auto env = measure::envelopeDb(dual(x), 0.01);
    ASSERT_EQ(env.size(), 300u);
    const measure::Rise rise = measure::largestRise(env, 1);
    EXPECT_NEAR(rise.db, 20.0, 0.5);
    EXPECT_EQ(rise.frame, 100u);
    EXPECT_EQ(measure::silentFrom(env, -80.0), 200u);
    // A rise out of the floor counts only from the floor.
    EXPECT_NEAR(measure::largestRise(env, 1, -30.0).db, 30.0 - 23.0, 0.5);
}

}  // namespace
