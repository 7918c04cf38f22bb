#include "modules/synth_filter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Steady-state gain in dB of the filter for a sine at hz (44.1 kHz).
template <bool FourPole>
double gainDb(const dsp::BiquadCoefficients& k, double hz) {
    dsp::FourPoleFilter f;
    const int n = 44100;
    double inPower = 0.0, outPower = 0.0;
    for (int i = 0; i < n; ++i) {
        const float x = static_cast<float>(0.5 * std::sin(2.0 * kPi * hz * i / 44100.0));
        const float y = FourPole ? f.processFourPole<dsp::DenormalGuard::FlushToZero>(k, x)
                                 : f.processTwoPole<dsp::DenormalGuard::FlushToZero>(k, x);
        if (i >= n / 2) {
            inPower += static_cast<double>(x) * x;
            outPower += static_cast<double>(y) * y;
        }
    }
    return 10.0 * std::log10(outPower / inPower);
}

// Table index of a cutoff in Hz at 44.1 kHz.
int indexForHz(double hz) {
    const double omega = 2.0 * kPi * hz / 44100.0;
    return static_cast<int>(std::log(omega / dsp::kFilterBaseOmega) / (std::log(dsp::kFilterOmegaSpan) / 16384.0));
}

TEST(SynthFilter, IndexHelpersTruncateAndClamp) {
    EXPECT_EQ(dsp::cutoffTableIndex(-3.0f), 0);
    EXPECT_EQ(dsp::cutoffTableIndex(1.0f), 148);
    EXPECT_EQ(dsp::cutoffTableIndex(500.0f), 16383);
    EXPECT_EQ(dsp::cutoffTableIndex(std::nanf("")), 0);
    EXPECT_EQ(dsp::qTableIndex(0.5f), 8192);
    EXPECT_EQ(dsp::qTableIndex(1.0f), 16383);
    EXPECT_EQ(dsp::qTableIndex(-1.0f), 0);
}

TEST(SynthFilter, ThreeModesByTheirSpectra) {
    const dsp::DspTables& t = dsp::dspTables();
    const int fc = indexForHz(1000.0);
    const int q = dsp::qTableIndex(0.25f);  // Q about 0.316, no resonant peak
    const auto lp = dsp::designBiquad(t, fc, q, dsp::FilterMode::LowPass);
    // This band pass peaks at Q (in gain), so Q 1 gives 0 dB at the centre.
    const auto bp = dsp::designBiquad(t, fc, dsp::qTableIndex(0.5f), dsp::FilterMode::BandPass);
    const auto hp = dsp::designBiquad(t, fc, q, dsp::FilterMode::HighPass);

    EXPECT_NEAR(gainDb<false>(lp, 50.0), 0.0, 0.3);
    EXPECT_LT(gainDb<false>(lp, 10000.0), -30.0);
    EXPECT_LT(gainDb<false>(hp, 50.0), -40.0);
    EXPECT_NEAR(gainDb<false>(hp, 15000.0), 0.0, 0.5);
    const double bpCentre = gainDb<false>(bp, 1000.0);
    EXPECT_NEAR(bpCentre, 0.0, 0.5);
    EXPECT_GT(bpCentre, gainDb<false>(bp, 100.0) + 15.0);
    EXPECT_GT(bpCentre, gainDb<false>(bp, 10000.0) + 15.0);
    // Two sections double the attenuation in dB.
    EXPECT_NEAR(gainDb<true>(lp, 8000.0), 2.0 * gainDb<false>(lp, 8000.0), 0.5);
}

TEST(SynthFilter, ResonanceRaisesThePeak) {
    const dsp::DspTables& t = dsp::dspTables();
    const int fc = indexForHz(2000.0);
    const auto flat = dsp::designBiquad(t, fc, dsp::qTableIndex(0.25f), dsp::FilterMode::LowPass);
    const auto sharp = dsp::designBiquad(t, fc, dsp::qTableIndex(1.0f), dsp::FilterMode::LowPass);
    // Q 10 gives a peak of about 20 dB at the cutoff.
    EXPECT_NEAR(gainDb<false>(sharp, 2000.0), 20.0, 1.5);
    EXPECT_LT(gainDb<false>(flat, 2000.0), -5.0);
}

TEST(SynthFilter, DenormalGuards) {
    dsp::BiquadCoefficients pass;
    pass.b0 = 1.0f;
    dsp::BiquadSection s;
    EXPECT_FLOAT_EQ(s.process<dsp::DenormalGuard::SignedFloor>(pass, 0.0f), 1e-8f);
    EXPECT_FLOAT_EQ(s.process<dsp::DenormalGuard::SignedFloor>(pass, -1e-20f), -1e-8f);
    EXPECT_FLOAT_EQ(s.process<dsp::DenormalGuard::SignedFloor>(pass, 0.25f), 0.25f);
    EXPECT_FLOAT_EQ(s.process<dsp::DenormalGuard::FlushToZero>(pass, 1e-10f), 0.0f);
    EXPECT_FLOAT_EQ(s.process<dsp::DenormalGuard::FlushToZero>(pass, 2e-10f), 2e-10f);
}

}  // namespace

namespace {

uint32_t bitsOf(float x) { return std::bit_cast<uint32_t>(x); }

}  // namespace

// The guards are selects on the magnitude; checked bit for bit against the
// comparisons they stand for, across both thresholds, zeros of either sign,
// denormals and NaN.
TEST(SynthFilter, GuardsMatchTheirComparisonsBitForBit) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float inputs[] = {0.0f, -0.0f, tiny, -tiny, 1e-20f, -1e-20f, 1e-10f, -1e-10f,
                            std::nextafter(1e-10f, 1.0f), -std::nextafter(1e-10f, 1.0f), 5e-9f, -5e-9f,
                            std::nextafter(1e-8f, 0.0f), -std::nextafter(1e-8f, 0.0f), 1e-8f, -1e-8f,
                            0.25f, -0.25f, 3.0e5f, -3.0e5f, std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
    for (float y : inputs) {
        const float floored = (y < 1e-8f && y > -1e-8f) ? ((y < 0.0f) ? -1e-8f : 1e-8f) : y;
        const float flushed = (y <= 1e-10f && y >= -1e-10f) ? 0.0f : y;
        EXPECT_EQ(bitsOf(dsp::signedFloor(y)), bitsOf(floored)) << y;
        EXPECT_EQ(bitsOf(dsp::flushTiny(y)), bitsOf(flushed)) << y;
    }
    EXPECT_EQ(bitsOf(dsp::signedFloor(-0.0f)), bitsOf(1e-8f));  // zero counts as positive
    EXPECT_EQ(bitsOf(dsp::flushTiny(-1e-10f)), bitsOf(0.0f));
    EXPECT_TRUE(std::isnan(dsp::signedFloor(std::nanf(""))));
    EXPECT_TRUE(std::isnan(dsp::flushTiny(std::nanf(""))));
}
