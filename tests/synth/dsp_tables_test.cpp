#include "modules/dsp_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Amplitude of harmonic h in one table cycle, by direct correlation.
double harmonicAmplitude(const float* cycle, int h) {
    double s = 0.0, c = 0.0;
    for (int i = 0; i < dsp::kTableSize; ++i) {
        const double a = 2.0 * kPi * h * i / dsp::kTableSize;
        s += cycle[i] * std::sin(a);
        c += cycle[i] * std::cos(a);
    }
    return 2.0 * std::sqrt(s * s + c * c) / dsp::kTableSize;
}

TEST(DspTables, SineAndTriangleCycles) {
    const dsp::DspTables& t = dsp::dspTables();
    EXPECT_FLOAT_EQ(t.sine[0], 0.0f);
    EXPECT_FLOAT_EQ(t.sine[4096], 1.0f);
    EXPECT_FLOAT_EQ(t.sine[12288], -1.0f);
    EXPECT_NEAR(t.sine[1000], std::sin(2.0 * kPi * 1000 / 16384), 1e-7);
    EXPECT_FLOAT_EQ(t.triangle[0], -1.0f);
    EXPECT_FLOAT_EQ(t.triangle[4096], 0.0f);
    EXPECT_FLOAT_EQ(t.triangle[8192], 1.0f);
    EXPECT_FLOAT_EQ(t.triangle[12288], 0.0f);
    EXPECT_NEAR(t.triangle[16383], -1.0f + 4.0f / 16384.0f, 1e-6);
}

TEST(DspTables, SawtoothTablesAreBandLimitedFallingRamps) {
    const dsp::DspTables& t = dsp::dspTables();
    // Table k keeps 2^(10-k) - 1 harmonics at 0.6 / j and nothing above.
    for (int k : {0, 3, 6, 8, 9}) {
        const int top = (1 << (10 - k)) - 1;
        EXPECT_NEAR(harmonicAmplitude(t.saw[k], 1), 0.6, 1e-4) << "table " << k;
        EXPECT_NEAR(harmonicAmplitude(t.saw[k], top), 0.6 / top, 1e-4) << "table " << k;
        EXPECT_LT(harmonicAmplitude(t.saw[k], top + 1), 1e-5) << "table " << k;
    }
    EXPECT_NEAR(t.saw[9][4096], 0.6f, 1e-6);  // one harmonic: 0.6 sine
    // Falling: positive just after the start, negative just before the end.
    EXPECT_GT(t.saw[0][100], 0.8f);
    EXPECT_LT(t.saw[0][16284], -0.8f);
    EXPECT_NEAR(t.saw[0][8192], 0.0f, 1e-5);
}

TEST(DspTables, HarmonicMapChoosesOneTablePerOctave) {
    const dsp::DspTables& t = dsp::dspTables();
    // Increment m reads table 0 for m = 0, else map entry m - 1; entries 0..2
    // give 0 and 3..13 give 1.
    EXPECT_EQ(t.sawTableNumber(0), 0);
    for (int m = 1; m <= 3; ++m) EXPECT_EQ(t.sawTableNumber(m), 0) << m;
    for (int m = 4; m <= 14; ++m) EXPECT_EQ(t.sawTableNumber(m), 1) << m;
    EXPECT_EQ(t.sawTableNumber(15), 2);
    EXPECT_EQ(t.sawTableNumber(16384), 9);
    EXPECT_EQ(t.sawTableNumber(1 << 30), 9);
    EXPECT_EQ(t.sawTableNumberForIncrement(1e12f), 9);
    EXPECT_EQ(t.sawTableNumberForIncrement(-5.0f), 0);
    EXPECT_EQ(t.sawTableNumberForIncrement(std::nanf("")), 0);
    // The top harmonic of the chosen table stays below 22.05 kHz at 44.1 kHz
    // for every increment from 40 Hz up to the table's range.
    for (int m = 15; m < 8000; m += 7) {
        const int k = t.sawTableNumber(m);
        const double topHz = ((1 << (10 - k)) - 1) * m * 44100.0 / 16384.0;
        EXPECT_LT(topHz, 22050.0 * 1.01) << "increment " << m;
    }
    // Monotonic: higher pitch never picks a richer table.
    for (int m = 1; m <= 16384; ++m) ASSERT_GE(t.sawTableNumber(m), t.sawTableNumber(m - 1));
}

TEST(DspTables, FilterTablesSpanTheAudioBand) {
    const dsp::DspTables& t = dsp::dspTables();
    auto hzAt44k = [&](int i) { return std::acos(static_cast<double>(t.filterCos[i])) * 44100.0 / (2.0 * kPi); };
    EXPECT_NEAR(hzAt44k(0), 33.5, 0.1);
    EXPECT_NEAR(hzAt44k(16383), 19979.0, 15.0);
    EXPECT_NEAR(t.filterSin[0], std::sin(0.004776659) / 2.0, 1e-7);
    // 148.1008 steps make one semitone.
    const double ratio = std::exp((std::log(595.9091) / 16384.0) * dsp::kCutoffStepsPerSemitone);
    EXPECT_NEAR(ratio, std::pow(2.0, 1.0 / 12.0), 1e-6);
    EXPECT_FLOAT_EQ(t.filterQ[0], 0.1f);
    EXPECT_NEAR(t.filterQ[8192], 1.0f, 1e-4);
    EXPECT_NEAR(t.filterQ[16383], 10.0f, 1e-2);
}

TEST(DspTables, TwoThreadsSeeOneTableSet) {
    const dsp::DspTables* seen[2] = {nullptr, nullptr};
    std::thread a([&] { seen[0] = &dsp::dspTables(); });
    std::thread b([&] { seen[1] = &dsp::dspTables(); });
    a.join();
    b.join();
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], &dsp::dspTables());
}

TEST(Random15, StaysInRangeAndCoversIt) {
    dsp::Random15 r(12345);
    int lo = 32767, hi = 0;
    double mean = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const int v = r.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        mean += v;
    }
    mean /= 100000.0;
    EXPECT_LT(lo, 50);
    EXPECT_GT(hi, 32700);
    EXPECT_NEAR(mean, 16383.5, 200.0);
}

}  // namespace
