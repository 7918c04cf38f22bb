// The shared effect building blocks, measured on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/control_clock.h"
#include "effects/dsp/delay_ring.h"
#include "effects/dsp/param_display.h"

TEST(BalanceLaw, FullAtTheCentreQuarterAtTheQuarterPointsZeroAtTheEnds) {
    const float cases[][3] = {{0.0f, 1.0f, 0.0f}, {0.1f, 1.0f, 0.1f},  {0.25f, 1.0f, 0.25f}, {0.4f, 1.0f, 0.7f},
                              {0.5f, 1.0f, 1.0f}, {0.6f, 0.7f, 1.0f},  {0.75f, 0.25f, 1.0f}, {1.0f, 0.0f, 1.0f}};
    for (const auto& c : cases) {
        const fxdsp::SideGains g = fxdsp::balanceGains(c[0]);
        EXPECT_NEAR(g.first, c[1], 1e-6) << c[0];
        EXPECT_NEAR(g.second, c[2], 1e-6) << c[0];
    }
}

TEST(DelayRing, ReadsInterpolateAcrossTheRingEnd) {
    fxdsp::DelayRing<4> ring;  // 16 slots
    ring.store(15, 1.0f);
    ring.store(0, 3.0f);
    // At write index 0 the newest slot is 15; distance 0.75 lies between slot
    // 15 and slot 0 of the same ring.
    EXPECT_FLOAT_EQ(ring.readLinear(0, 1.0), 1.0f);
    EXPECT_FLOAT_EQ(ring.readLinear(0, 0.75), 1.5f);
    EXPECT_FLOAT_EQ(ring.readLinear(1, 1.5), 2.0f);

    // The Hermite read delays a sine by fractional distances.
    fxdsp::DelayRing<10> big;
    const double cyclesPerSample = 0.01, twoPi = 6.283185307179586;
    int w = 0;
    for (int n = 0; n < 2000; ++n) {
        big.store(w, static_cast<float>(std::sin(twoPi * cyclesPerSample * n)));
        w = (w + 1) & big.kMask;
        if (n < 710) continue;  // the longest read needs its history
        for (double delay : {3.25, 10.5, 700.75})
            ASSERT_NEAR(big.readHermite(w, delay), std::sin(twoPi * cyclesPerSample * (n + 1 - delay)), 2e-5) << delay;
    }
}

TEST(ControlClock, SmoothingFiresEvery16thSampleWhateverTheBlockSplit) {
    for (int firstBlock : {1, 7, 16, 100}) {
        fxdsp::ControlClock clock;
        std::vector<int> fired;
        int position = 0;
        for (int block : {firstBlock, 93, 5, 200}) {
            fxdsp::runControlledBlock(
                clock, block, [] { return false; }, [&] { fired.push_back(position); }, [] {},
                [&](int /*offset*/, int count) {
                    // A run never spans a smoothing step.
                    for (int i = 1; i < count; ++i) EXPECT_NE((position + i) % 16, 15);
                    position += count;
                });
        }
        ASSERT_EQ(fired.size(), static_cast<size_t>(position / 16));
        for (size_t i = 0; i < fired.size(); ++i) EXPECT_EQ(fired[i], 15 + 16 * static_cast<int>(i));
    }
}

TEST(ParamDisplay, LocaleFreeTextsWithinTheCapacity) {
    char text[64];
    auto fixed = [&](double v, int decimals, const char* suffix) {
        fxdsp::displayFixed(text, v, decimals, suffix);
        return std::string(text);
    };
    auto truncated = [&](double v, const char* suffix) {
        fxdsp::displayTruncated(text, v, suffix);
        return std::string(text);
    };
    EXPECT_EQ(fixed(-1.0, 2, ""), "-1.00");
    EXPECT_EQ(fixed(299.999, 2, "ms"), "300.00ms");
    EXPECT_EQ(fixed(std::nan(""), 2, ""), "nan");
    EXPECT_EQ(truncated(19999.99, "Hz"), "19999Hz");
    EXPECT_EQ(truncated(-3.7, ""), "-3");
    EXPECT_EQ(truncated(1e30, "Hz"), "2147483647Hz");
    // Nothing is written past the capacity, whatever the value.
    std::memset(text, '#', sizeof(text));
    fxdsp::displayFixed(text, 1e300, 2, "a long suffix that does not fit");
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(fxdsp::kParamTextCapacity - 1));
    EXPECT_EQ(text[fxdsp::kParamTextCapacity], '#');
}
