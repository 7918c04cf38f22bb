#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/effects_dynamics/filter_response.h"
#include "tests/effects_dynamics/hosted_effect.h"
#include "tests/effects_dynamics/signal_analysis.h"

namespace {

enum { kDrive, kFilterType, kFilterFrequency, kFilterQ, kMix, kLevel };

class OverdriveTest : public ::testing::TestWithParam<float> {
protected:
    double rate() const { return GetParam(); }

    StereoBuffer sineIn(double hz, double amplitude, double seconds = 0.2) const {
        const size_t frames = static_cast<size_t>(rate() * seconds);
        StereoBuffer in(frames);
        in.left = in.right = measure::sine(frames, hz, rate(), amplitude);
        return in;
    }
};

}  // namespace

TEST_P(OverdriveTest, FullScaleSineAtFullDrivePeaksAtOne) {
    HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
    ASSERT_TRUE(fx.valid());
    fx.setParameter(kDrive, 1.0f);
    fx.setProgram(0);
    const StereoBuffer in = sineIn(100.0, 1.0);
    const StereoBuffer out = fx.process(in);
    const size_t n = out.size();
    EXPECT_NEAR(measure::peak(out.left, n / 2, n), 1.0, 0.01);
    // The square root fattens the wave: a strong third harmonic appears.
    EXPECT_GT(measure::toneAmplitude(out.left, n / 2, n, 300.0, rate()), 0.1);
}

TEST_P(OverdriveTest, SmallSignalsGainThirtyDbPerUnitOfDrive) {
    for (float drive : {0.0f, 0.25f, 0.5f}) {
        HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
        fx.setParameter(kDrive, drive);
        fx.setProgram(0);
        // 0.001 * sqrt(1000^x) stays below the clipper's knee for x <= 0.5:
        // the driven signal is back-scaled by sqrt(g) only.
        EXPECT_NEAR(gainDb(fx, 500.0, rate(), 0.001), 30.0 * drive, 0.05) << drive;
    }
}

TEST_P(OverdriveTest, NoDriveIsTransparentBelowFullScale) {
    HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
    fx.setParameter(kDrive, 0.0f);
    fx.setProgram(0);
    const StereoBuffer out = fx.process(sineIn(1000.0, 0.9));
    const size_t n = out.size();
    // Only the top-of-range low pass acts: no harmonics, unity at 1 kHz.
    EXPECT_NEAR(measure::toneAmplitude(out.left, n / 2, n, 1000.0, rate()), 0.9, 0.005);
    EXPECT_LT(measure::toneAmplitude(out.left, n / 2, n, 3000.0, rate()), 1e-4);
}

TEST_P(OverdriveTest, DryMixPassesTheInputScaledByLevel) {
    HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
    fx.setParameter(kDrive, 1.0f);
    fx.setParameter(kMix, 0.0f);
    fx.setParameter(kLevel, 1.0f);  // +15 dB: 32 / sqrt(32)
    fx.setProgram(0);
    const StereoBuffer in = sineIn(1000.0, 0.1, 0.05);
    const StereoBuffer out = fx.process(in);
    for (size_t i = 0; i < out.size(); i += 37) ASSERT_NEAR(out.left[i], in.left[i] * std::sqrt(32.0), 1e-5) << i;
}

TEST_P(OverdriveTest, FilterTypesBySpectrum) {
    const double f0 = cornerHz(0.5, rate());
    for (float type : {0.0f, 0.5f, 1.0f}) {
        HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
        fx.setParameter(kDrive, 0.0f);
        fx.setParameter(kFilterType, type);
        fx.setParameter(kFilterFrequency, 0.5f);
        fx.setParameter(kFilterQ, 0.5f);  // Q = 1: each section passes exactly 1 at the corner
        fx.setProgram(0);
        const double below = gainDb(fx, f0 / 8.0, rate());
        const double at = gainDb(fx, f0, rate());
        const double above = gainDb(fx, f0 * 4.0, rate());
        EXPECT_NEAR(at, 0.0, 0.3) << type;
        if (type == 0.0f) {
            EXPECT_NEAR(below, 0.0, 0.3);
            EXPECT_LT(above, -40.0);
        } else if (type == 0.5f) {
            EXPECT_LT(below, -30.0);
            EXPECT_LT(above, -20.0);
        } else {
            EXPECT_LT(below, -60.0);
            EXPECT_NEAR(above, 0.0, 0.7);
        }
    }
}

TEST_P(OverdriveTest, ProgramsAndChunks) {
    HostedEffect fx("KavoOverdrive", static_cast<float>(rate()));
    fx.setParameter(kDrive, 0.8f);
    fx.dispatch(effSetProgram, 0, 16);  // out of range: ignored
    EXPECT_EQ(fx.program(), 0);
    fx.module()->setProgram(16);
    EXPECT_EQ(fx.program(), 0);
    EXPECT_EQ(fx.getParameter(kDrive), 0.8f);
    const std::vector<char> preset = fx.getChunk(true);
    const std::vector<char> bank = fx.getChunk(false);
    ASSERT_EQ(preset.size(), 24u);
    ASSERT_EQ(bank.size(), 768u);
    EXPECT_STREQ(&bank[48 * 3], "-");
    float v;
    std::memcpy(&v, &bank[48 * 3 + 24 + 4 * kFilterFrequency], 4);
    EXPECT_EQ(v, 1.0f);
    for (size_t size : {0u, 20u, 23u, 25u, 768u}) EXPECT_EQ(fx.setChunk(std::vector<char>(size, 7), true), 0);
    for (size_t size : {0u, 24u, 767u, 769u}) EXPECT_EQ(fx.setChunk(std::vector<char>(size, 7), false), 0);
    EXPECT_EQ(fx.getChunk(true), preset);
    EXPECT_EQ(fx.getChunk(false), bank);
}

INSTANTIATE_TEST_SUITE_P(Rates, OverdriveTest, ::testing::Values(44100.0f, 96000.0f));

TEST(OverdriveText, NamesAndDisplays) {
    HostedEffect fx("KavoOverdrive", 44100.0f);
    const char* names[6] = {"OverDrive", "FilterType", "FilterFrequency", "FilterQ", "Mix", "Level"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(fx.parameterName(i), names[i]);
    EXPECT_EQ(fx.parameterDisplay(kDrive), "50%");
    EXPECT_EQ(fx.parameterDisplay(kFilterType), "Low Pass");
    EXPECT_EQ(fx.parameterDisplay(kFilterFrequency), "16000Hz");
    EXPECT_EQ(fx.parameterDisplay(kFilterQ), "0.50");
    EXPECT_EQ(fx.parameterDisplay(kMix), "1.00");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "0.0dB");
    fx.setParameter(kDrive, 0.29f);
    fx.setParameter(kFilterType, 0.5f);
    fx.setParameter(kFilterFrequency, 0.5f);
    fx.setParameter(kMix, 0.25f);
    fx.setParameter(kLevel, 0.0f);
    EXPECT_EQ(fx.parameterDisplay(kDrive), "29%");
    EXPECT_EQ(fx.parameterDisplay(kFilterType), "Band Pass");
    EXPECT_EQ(fx.parameterDisplay(kFilterFrequency), "400Hz");
    EXPECT_EQ(fx.parameterDisplay(kMix), "-0.50");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "-15.0dB");
    fx.setParameter(kFilterType, 0.7f);
    EXPECT_EQ(fx.parameterDisplay(kFilterType), "High Pass");
}
