// The SSE2 and AVX2 lanes of the portable exponential and logarithm against
// the scalar functions: every lane must give the scalar's bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "common/portable_math.h"
#include "effects/dsp/portable_lanes.h"
#include "effects/dsp/portable_lanes_wide.h"

namespace {

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

#if defined(__x86_64__)
// The AVX2 kernel over the same arguments, four doubles and eight floats at
// a time, against the scalar functions.
__attribute__((target("avx2"))) void expectWideLanes(const std::vector<double>& xs, bool exponential) {
    for (size_t i = 0; i + 3 < xs.size(); i += 4) {
        alignas(32) double got[4];
        const __m256d x = _mm256_setr_pd(xs[i], xs[i + 1], xs[i + 2], xs[i + 3]);
        _mm256_store_pd(got, exponential ? fxdsp::wide::exp2Four(x) : fxdsp::wide::log2Four(x));
        for (size_t l = 0; l < 4; ++l)
            ASSERT_EQ(got[l], exponential ? portable::exp2(xs[i + l]) : portable::log2(xs[i + l])) << xs[i + l];
    }
    for (size_t i = 0; i + 7 < xs.size(); i += 8) {
        alignas(32) float x[8], got[8];
        for (size_t l = 0; l < 8; ++l) x[l] = static_cast<float>(xs[i + l]);
        const __m256 v = _mm256_load_ps(x);
        _mm256_store_ps(got, exponential ? fxdsp::wide::exp2Eight(v) : fxdsp::wide::log2Eight(v));
        for (size_t l = 0; l < 8; ++l) {
            // Float arguments that rounded out of the covered range are not asked.
            if (!exponential && !(x[l] >= 0x1p-126f && x[l] <= 0x1.fffffep127f)) continue;
            ASSERT_EQ(bitsOf(got[l]), bitsOf(exponential ? portable::exp2(x[l]) : portable::log2(x[l]))) << x[l];
        }
    }
}
#endif

}  // namespace

TEST(Exp2Lanes, EveryLaneIsThePortableExponentialBitForBit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> wide(-fxdsp::kExp2LanesLimit, fxdsp::kExp2LanesLimit);
    std::uniform_real_distribution<double> narrow(-1.1, 1.1);
    std::vector<double> xs = {0.0, -0.0, 1.0, -1.0, 0.5 / 64, -0.5 / 64, 1.5 / 64, -1.5 / 64, 63.5 / 64, 511.0,
                              -511.99, fxdsp::kExp2LanesLimit, -fxdsp::kExp2LanesLimit};
    for (int i = 0; i < 20000; ++i) xs.push_back(i % 2 ? wide(random) : narrow(random));
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        alignas(16) double got[2];
        _mm_store_pd(got, fxdsp::exp2Lanes(_mm_setr_pd(xs[i], xs[i + 1])));
        ASSERT_EQ(got[0], portable::exp2(xs[i])) << xs[i];
        ASSERT_EQ(got[1], portable::exp2(xs[i + 1])) << xs[i + 1];
    }
    // Float lanes round once, as portable::exp2(float) does.
    for (size_t i = 0; i + 3 < xs.size(); i += 4) {
        alignas(16) float x[4], got[4];
        for (int l = 0; l < 4; ++l) x[l] = static_cast<float>(xs[i + static_cast<size_t>(l)]);
        _mm_store_ps(got, fxdsp::exp2Lanes(_mm_load_ps(x)));
        for (int l = 0; l < 4; ++l) ASSERT_EQ(bitsOf(got[l]), bitsOf(portable::exp2(x[l]))) << x[l];
    }
#if defined(__x86_64__)
    if (cpuHasAvx2()) expectWideLanes(xs, true);
#endif
}

TEST(Exp2Lanes, RangeCheckRefusesWhatTheLanesDoNotCover) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(fxdsp::insideExp2Lanes(_mm_setr_ps(0.0f, -1.0f, 512.0f, -512.0f)));
    EXPECT_FALSE(fxdsp::insideExp2Lanes(_mm_setr_ps(0.0f, 513.0f, 0.0f, 0.0f)));
    EXPECT_FALSE(fxdsp::insideExp2Lanes(_mm_setr_ps(0.0f, 0.0f, 0.0f, nan)));
    EXPECT_FALSE(fxdsp::insideExp2Lanes(_mm_setr_ps(-std::numeric_limits<float>::infinity(), 0.0f, 0.0f, 0.0f)));
}

TEST(Log2Lanes, EveryLaneIsThePortableLogarithmBitForBit) {
    std::mt19937 random(9);
    std::uniform_real_distribution<double> exponent(-1022.0, 1023.0);
    std::uniform_real_distribution<double> near(0.5, 2.0);
    std::vector<double> xs = {1.0, 2.0, 0.5, 0x1.6a09e667f3bcdp+0, 0x1.6a09e667f3bcep+0, 0x1.6a09e667f3bccp+0,
                              1e-5, 0x1p-1022, 0x1.fffffffffffffp+1023, 3.0, 0.75};
    for (int i = 0; i < 20000; ++i) xs.push_back(i % 2 ? std::exp2(exponent(random)) : near(random));
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        alignas(16) double got[2];
        _mm_store_pd(got, fxdsp::log2Lanes(_mm_setr_pd(xs[i], xs[i + 1])));
        ASSERT_EQ(got[0], portable::log2(xs[i])) << xs[i];
        ASSERT_EQ(got[1], portable::log2(xs[i + 1])) << xs[i + 1];
    }
    // Float lanes, down to the smallest normal float.
    std::uniform_real_distribution<double> floatExponent(-126.0, 127.9);
    for (int i = 0; i < 5000; ++i) {
        alignas(16) float x[4], got[4];
        for (float& v : x) v = static_cast<float>(std::exp2(floatExponent(random)));
        if (i == 0) x[0] = 0x1p-126f;
        _mm_store_ps(got, fxdsp::log2Lanes(_mm_load_ps(x)));
        for (int l = 0; l < 4; ++l) ASSERT_EQ(bitsOf(got[l]), bitsOf(portable::log2(x[l]))) << x[l];
    }
#if defined(__x86_64__)
    if (cpuHasAvx2()) expectWideLanes(xs, false);
#endif
}

TEST(Log2Lanes, RangeCheckRefusesWhatTheLanesDoNotCover) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(fxdsp::insideLog2Lanes(_mm_setr_ps(1e-5f, 1.0f, 0x1p-126f, 3e38f)));
    EXPECT_FALSE(fxdsp::insideLog2Lanes(_mm_setr_ps(1.0f, 0.0f, 1.0f, 1.0f)));
    EXPECT_FALSE(fxdsp::insideLog2Lanes(_mm_setr_ps(1.0f, 1.0f, -1.0f, 1.0f)));
    EXPECT_FALSE(fxdsp::insideLog2Lanes(_mm_setr_ps(1.0f, 1.0f, 1.0f, inf)));
    EXPECT_FALSE(fxdsp::insideLog2Lanes(_mm_setr_ps(std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f, 1.0f)));
    EXPECT_FALSE(fxdsp::insideLog2Lanes(_mm_setr_ps(1.0f, 1.0f, 1e-40f, 1.0f)));
}
