// The engine's own exponential, logarithm, power, sine and cosine against
// the C library over the ranges the engine feeds them, their exact cases
// and edges, and a digest of their bits that every build must reproduce.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "common/portable_math.h"

namespace {

// Distance in units in the last place of the reference.
double ulps(double value, double reference) {
    if (value == reference) return 0.0;
    const double magnitude = std::fabs(reference);
    const double unit = std::nextafter(magnitude, std::numeric_limits<double>::infinity()) - magnitude;
    return std::fabs(value - reference) / unit;
}

// Largest error in ulp over n uniformly drawn arguments in [low, high].
template <class Ours, class Theirs>
double worstUlps(Ours ours, Theirs theirs, double low, double high, int n = 200000) {
    std::mt19937_64 generator(17);
    std::uniform_real_distribution<double> draw(low, high);
    double worst = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = draw(generator);
        worst = std::max(worst, ulps(ours(x), theirs(x)));
    }
    return worst;
}

TEST(PortableMath, ExponentialsWithinTwoUlpOverTheirWholeRange) {
    auto ours = [](double x) { return portable::exp(x); };
    auto theirs = [](double x) { return std::exp(x); };
    EXPECT_LE(worstUlps(ours, theirs, -30.0, 30.0), 2.0);
    EXPECT_LE(worstUlps(ours, theirs, -708.0, 709.0), 2.0);
    EXPECT_LE(worstUlps(ours, theirs, -1e-3, 1e-3), 2.0);  // one-pole and decay factors
    auto ours2 = [](double x) { return portable::exp2(x); };
    auto theirs2 = [](double x) { return std::exp2(x); };
    EXPECT_LE(worstUlps(ours2, theirs2, -20.0, 20.0), 2.0);
    EXPECT_LE(worstUlps(ours2, theirs2, -1022.0, 1023.0), 2.0);
}

TEST(PortableMath, LogarithmsWithinTwoUlp) {
    auto ours = [](double x) { return portable::log(x); };
    auto theirs = [](double x) { return std::log(x); };
    EXPECT_LE(worstUlps(ours, theirs, 0.5, 2.0), 2.0);
    EXPECT_LE(worstUlps(ours, theirs, 1e-6, 1e6), 2.0);
    EXPECT_LE(worstUlps(ours, theirs, 1e-300, 1e-290), 2.0);
    auto ours2 = [](double x) { return portable::log2(x); };
    auto theirs2 = [](double x) { return std::log2(x); };
    EXPECT_LE(worstUlps(ours2, theirs2, 0.5, 2.0), 2.0);
    EXPECT_LE(worstUlps(ours2, theirs2, 1e-6, 1e6), 2.0);
    // Subnormal arguments.
    EXPECT_LE(ulps(portable::log(4.9e-320), std::log(4.9e-320)), 2.0);
}

TEST(PortableMath, SineAndCosineWithinTwoUlpForAMillionRadians) {
    auto s = [](double x) { return portable::sin(x); };
    auto sRef = [](double x) { return std::sin(x); };
    auto c = [](double x) { return portable::cos(x); };
    auto cRef = [](double x) { return std::cos(x); };
    EXPECT_LE(worstUlps(s, sRef, 0.0, 7.0), 2.0);  // tables, filter and equaliser corners
    EXPECT_LE(worstUlps(c, cRef, 0.0, 7.0), 2.0);
    EXPECT_LE(worstUlps(s, sRef, -1e6, 1e6), 2.0);
    EXPECT_LE(worstUlps(c, cRef, -1e6, 1e6), 2.0);
    // Near the zeros the error counts against the function's own size.
    for (int k = -20; k <= 20; ++k) {
        const double x = k * 3.141592653589793;
        EXPECT_NEAR(portable::sin(x), std::sin(x), 1e-15 * (1 + std::abs(k))) << k;
    }
}

TEST(PortableMath, PowerRelativeErrorBelowFourE15ForTheEnginesBases) {
    const double bases[] = {2.0, 7.0, 8.0, 10.0, 25.0, 50.0, 52.0, 100.0, 200.0, 400.0, 500.0, 800.0, 1000.0,
                            1600.0, 5000.0, 0.01, 1.0920085, 1.1308593};
    std::mt19937_64 generator(5);
    std::uniform_real_distribution<double> draw(-1.0, 1.0);
    double worst = 0.0;
    for (double b : bases) {
        for (int i = 0; i < 20000; ++i) {
            const double x = i < 128 ? i / 127.0 : draw(generator);
            const double reference = std::pow(b, x);
            worst = std::max(worst, std::fabs(portable::pow(b, x) - reference) / reference);
        }
        for (int k = -63; k <= 63; ++k) {  // gain tables: whole exponents
            const double reference = std::pow(b, k);
            if (std::fabs(k * std::log(b)) > 16.0) continue;
            worst = std::max(worst, std::fabs(portable::pow(b, k) - reference) / reference);
        }
    }
    EXPECT_LT(worst, 4e-15);
}

// The single precision overloads round the double result once: at most one
// float ulp from the C library, and on only a few arguments in a thousand.
TEST(PortableMath, FloatOverloadsAtMostOneUlpFromTheCLibrary) {
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> exponent(-20.0f, 20.0f), level(1e-6f, 100.0f), unit(0.0f, 1.0f);
    int differing = 0, worst = 0;
    const int n = 100000;
    auto count = [&](float a, float b) {
        const int d = std::abs(std::bit_cast<int32_t>(a) - std::bit_cast<int32_t>(b));
        worst = std::max(worst, d);
        if (d != 0) ++differing;
    };
    for (int i = 0; i < n; ++i) {
        const float e = exponent(generator), l = level(generator), u = unit(generator);
        count(portable::exp2(e), std::exp2(e));
        count(portable::log2(l), std::log2(l));
        count(portable::pow(200.0f, u), std::pow(200.0f, u));
        count(portable::exp(e), std::exp(e));
    }
    EXPECT_LE(worst, 1);
    EXPECT_LT(differing, 4 * n / 200);  // under 0.5 %
}

TEST(PortableMath, ExactCasesAndEdges) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(portable::exp(0.0), 1.0);
    EXPECT_EQ(portable::log(1.0), 0.0);
    EXPECT_EQ(portable::log2(1.0), 0.0);
    for (int k = -1074; k <= 1023; ++k) {
        ASSERT_EQ(portable::exp2(static_cast<double>(k)), std::ldexp(1.0, k)) << k;
        if (k >= -1022) {
            ASSERT_EQ(portable::log2(std::ldexp(1.0, k)), static_cast<double>(k)) << k;
        }
    }
    EXPECT_EQ(portable::exp2(1024.0), inf);
    EXPECT_EQ(portable::exp(710.0), inf);
    EXPECT_EQ(portable::exp(-746.0), 0.0);
    EXPECT_EQ(portable::exp(-inf), 0.0);
    EXPECT_TRUE(std::isnan(portable::exp(std::nan(""))));
    EXPECT_EQ(portable::log(0.0), -inf);
    EXPECT_EQ(portable::log(inf), inf);
    EXPECT_TRUE(std::isnan(portable::log(-1.0)));
    EXPECT_TRUE(std::isnan(portable::log2(-1.0)));
    EXPECT_EQ(portable::pow(123.0, 0.0), 1.0);
    EXPECT_EQ(portable::pow(1.0, 1e300), 1.0);
    EXPECT_EQ(portable::pow(0.0, 2.0), 0.0);
    EXPECT_EQ(portable::pow(0.0, -2.0), inf);
    EXPECT_NEAR(portable::pow(-2.0, 3.0), -8.0, 1e-14);
    EXPECT_NEAR(portable::pow(-2.0, 2.0), 4.0, 1e-14);
    EXPECT_TRUE(std::isnan(portable::pow(-2.0, 0.5)));
    EXPECT_EQ(portable::sin(0.0), 0.0);
    EXPECT_EQ(portable::cos(0.0), 1.0);
    EXPECT_TRUE(std::isnan(portable::sin(inf)));
    for (double x : {0.1, 1.0, 2.5, 100.0, 12345.678}) {
        EXPECT_EQ(portable::sin(-x), -portable::sin(x));
        EXPECT_EQ(portable::cos(-x), portable::cos(x));
    }
    // Decimal scaling of the project reader: exact powers, and their
    // reciprocals correctly rounded.
    double exact = 1.0;
    for (int k = 0; k <= 22; ++k) {
        EXPECT_EQ(portable::powerOfTen(k), exact) << k;
        EXPECT_EQ(portable::powerOfTen(-k), 1.0 / exact) << k;
        exact *= 10.0;
    }
    EXPECT_NEAR(portable::powerOfTen(300) / 1e300, 1.0, 1e-14);
    EXPECT_NEAR(portable::powerOfTen(-300) / 1e-300, 1.0, 1e-14);
}

// The point of these functions: the same bits on every build. The digest of
// a fixed grid of results is pinned; a change of compiler flags that lets
// the arithmetic contract into fused multiply-adds, reorders it or runs it
// in extended precision changes the digest.
TEST(PortableMath, BitsOfAFixedGridArePinned) {
    uint64_t digest = 1469598103934665603ULL;
    auto mix = [&](double v) {
        digest ^= std::bit_cast<uint64_t>(v);
        digest *= 1099511628211ULL;
    };
    for (int i = 0; i < 4096; ++i) {
        const double x = (i - 2048) * 0.01234567;
        mix(portable::exp(x * 0.5));
        mix(portable::exp2(x));
        mix(portable::log(std::fabs(x) + 1e-3));
        mix(portable::log2(std::fabs(x) * 3.0 + 1e-3));
        mix(portable::pow(1000.0, x / 25.0));
        mix(portable::sin(x));
        mix(portable::cos(x));
        mix(static_cast<double>(portable::exp2(static_cast<float>(x))));
    }
    EXPECT_EQ(digest, 0x875f29a6ba2960efULL) << std::hex << digest;
}

}  // namespace
