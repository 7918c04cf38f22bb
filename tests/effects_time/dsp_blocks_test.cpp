// The shared effect building blocks, measured on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/control_clock.h"
#include "effects/dsp/delay_ring.h"
#include "effects/dsp/one_pole.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"

namespace {

constexpr double kPi = 3.141592653589793;

std::string fixed(double v, int decimals, const char* suffix = "") {
    char text[64];
    fxdsp::displayFixed(text, v, decimals, suffix);
    return text;
}

std::string truncated(double v, const char* suffix = "") {
    char text[64];
    fxdsp::displayTruncated(text, v, suffix);
    return text;
}

}  // namespace

TEST(BalanceLaw, CentreFullQuarterPointsAndEnds) {
    struct Case {
        float position, first, second;
    } cases[] = {{0.0f, 1.0f, 0.0f},  {0.1f, 1.0f, 0.1f},  {0.25f, 1.0f, 0.25f}, {0.4f, 1.0f, 0.7f},
                 {0.5f, 1.0f, 1.0f},  {0.6f, 0.7f, 1.0f},  {0.75f, 0.25f, 1.0f}, {0.9f, 0.1f, 1.0f},
                 {1.0f, 0.0f, 1.0f}};
    for (const Case& c : cases) {
        const fxdsp::SideGains g = fxdsp::balanceGains(c.position);
        EXPECT_NEAR(g.first, c.first, 1e-6) << c.position;
        EXPECT_NEAR(g.second, c.second, 1e-6) << c.position;
    }
    // Continuous and monotonic over the whole travel.
    float previous = fxdsp::balanceGains(0.0f).second;
    for (int i = 1; i <= 1000; ++i) {
        const float g = fxdsp::balanceGains(static_cast<float>(i) / 1000.0f).second;
        EXPECT_GE(g, previous);
        EXPECT_LT(g - previous, 0.0031f);
        previous = g;
    }
}

TEST(DelayRing, LinearReadAtTheRingEndInterpolatesTowardsSlotZero) {
    fxdsp::DelayRing<4> ring;  // 16 slots
    ring.store(15, 1.0f);
    ring.store(0, 3.0f);
    ring.store(1, 7.0f);
    // Write index 1: slot 0 is one sample old, slot 15 two samples old.
    EXPECT_FLOAT_EQ(ring.readLinear(1, 1.0), 3.0f);
    EXPECT_FLOAT_EQ(ring.readLinear(1, 2.0), 1.0f);
    EXPECT_FLOAT_EQ(ring.readLinear(1, 1.5), 2.0f);
    // At write index 0 the position 15.25 lies between slot 15 and slot 0.
    EXPECT_FLOAT_EQ(ring.readLinear(0, 0.75), 1.5f);
}

TEST(DelayRing, HermiteReadDelaysASineByAFractionalDistance) {
    fxdsp::DelayRing<10> ring;
    const double cyclesPerSample = 0.01;
    int w = 0;
    for (int n = 0; n < 2000; ++n) {
        ring.store(w, static_cast<float>(std::sin(2 * kPi * cyclesPerSample * n)));
        w = (w + 1) & ring.kMask;
        const int now = n + 1;  // the next sample to be written
        if (n < 710) continue;  // the longest read needs its history
        for (double delay : {3.25, 10.5, 700.75}) {
            const double expected = std::sin(2 * kPi * cyclesPerSample * (now - delay));
            ASSERT_NEAR(ring.readHermite(w, delay), expected, 2e-5) << "delay " << delay << " at " << n;
        }
    }
}

TEST(DelayRing, ClampDelayKeepsNaNAndInfinityInsideTheRing) {
    EXPECT_EQ(fxdsp::clampDelay(std::nan(""), 3.0, 100.0), 3.0);
    EXPECT_EQ(fxdsp::clampDelay(INFINITY, 3.0, 100.0), 100.0);
    EXPECT_EQ(fxdsp::clampDelay(-INFINITY, 3.0, 100.0), 3.0);
    EXPECT_EQ(fxdsp::clampDelay(42.5, 3.0, 100.0), 42.5);
}

TEST(OnePole, LowpassIsThreeDbDownAtItsCornerAndHighpassComplements) {
    const double rate = 44100.0;
    for (double cornerHz : {50.0, 200.0, 1000.0}) {
        const fxdsp::OnePoleCoefficients c = fxdsp::onePoleLowpass(cornerHz, rate);
        float lowState = 0.0f, highState = 0.0f;
        double lowSum = 0.0, highSum = 0.0, inSum = 0.0;
        const int frames = 44100;
        for (int n = 0; n < frames; ++n) {
            const float x = static_cast<float>(std::sin(2 * kPi * cornerHz * n / rate));
            const float low = fxdsp::onePoleStep(lowState, x, c);
            const float high = fxdsp::onePoleHighpassStep(highState, x, c);
            if (n < frames / 2) continue;
            lowSum += double(low) * low;
            highSum += double(high) * high;
            inSum += double(x) * x;
        }
        // Against the analytic response of (1 - a) / (1 - a z^-1) and its
        // complement a (1 - z^-1) / (1 - a z^-1).
        const double a = c.feedback, w = 2 * kPi * cornerHz / rate;
        const double denominator = 1 - 2 * a * std::cos(w) + a * a;
        const double lowDb = 10 * std::log10((1 - a) * (1 - a) / denominator);
        const double highDb = 10 * std::log10(a * a * 2 * (1 - std::cos(w)) / denominator);
        EXPECT_NEAR(10 * std::log10(lowSum / inSum), lowDb, 0.02) << cornerHz;
        EXPECT_NEAR(10 * std::log10(highSum / inSum), highDb, 0.02) << cornerHz;
        // Well below Nyquist the corner is the -3 dB point.
        if (cornerHz <= 200.0) {
            EXPECT_NEAR(lowDb, -3.01, 0.05);
        }
    }
    // DC passes the low-pass and is removed by the high-pass.
    const fxdsp::OnePoleCoefficients c = fxdsp::onePoleLowpass(100.0, rate);
    float lowState = 0.0f, highState = 0.0f, low = 0.0f, high = 1.0f;
    for (int n = 0; n < 20000; ++n) {
        low = fxdsp::onePoleStep(lowState, 1.0f, c);
        high = fxdsp::onePoleHighpassStep(highState, 1.0f, c);
    }
    EXPECT_NEAR(low, 1.0f, 1e-5);
    EXPECT_NEAR(high, 0.0f, 1e-5);
}

TEST(Smoothing, JumpLandsExactlyAndGlideCoversOnePercent) {
    float s = 1e-8f;
    fxdsp::glide(s, 1.0f, fxdsp::kJumpFactor);
    EXPECT_EQ(s, 1.0f);
    fxdsp::glide(s, 2.0f, fxdsp::kControlGlideFactor);
    EXPECT_FLOAT_EQ(s, 1.01f);
    fxdsp::glide(s, 0.1, fxdsp::kJumpFactor);  // double target, rounded first
    EXPECT_EQ(s, 0.1f);
}

TEST(ControlClock, SmoothingFiresEvery16thSampleWhateverTheBlockSplit) {
    for (int firstBlock : {1, 7, 16, 100}) {
        fxdsp::ControlClock clock;
        std::vector<int> fired;
        int position = 0;
        bool crossed = false;
        for (int block : {firstBlock, 93, 5, 200}) {
            int base = position;
            fxdsp::runControlledBlock(
                clock, block, [] { return false; }, [&] { fired.push_back(position); }, [] {},
                [&](int offset, int count) {
                    // A run starts where the previous one ended and never
                    // spans a smoothing step.
                    EXPECT_EQ(base + offset, position);
                    for (int i = 1; i < count; ++i)
                        if ((position + i) % 16 == 15) crossed = true;
                    position += count;
                });
        }
        EXPECT_FALSE(crossed);
        ASSERT_FALSE(fired.empty());
        for (size_t i = 0; i < fired.size(); ++i) EXPECT_EQ(fired[i], 15 + 16 * static_cast<int>(i));
    }
}

TEST(ControlClock, WaitingEventsMakeEveryRunOneSampleLong) {
    fxdsp::ControlClock clock;
    int eventsLeft = 5, calls = 0, longest = 0;
    fxdsp::runControlledBlock(
        clock, 40, [&] { return eventsLeft > 0; }, [] {}, [&] { --eventsLeft, ++calls; },
        [&](int offset, int count) {
            if (offset < 5) longest = std::max(longest, count);
        });
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(longest, 1);
}

TEST(ParamCurves, UnitParamAndLevelGain) {
    EXPECT_EQ(fxdsp::unitParam(std::nanf("")), 0.0f);
    EXPECT_EQ(fxdsp::unitParam(-2.0f), 0.0f);
    EXPECT_EQ(fxdsp::unitParam(3.0f), 1.0f);
    EXPECT_NEAR(20 * std::log10(fxdsp::levelGain(0.0f)), -15.05, 0.01);
    EXPECT_NEAR(20 * std::log10(fxdsp::levelGain(0.5f)), 0.0, 0.001);
    EXPECT_NEAR(20 * std::log10(fxdsp::levelGain(1.0f)), 15.05, 0.01);
    EXPECT_DOUBLE_EQ(fxdsp::cutoffHz(0.0f), 10.0);
    EXPECT_NEAR(fxdsp::cutoffHz(1.0f), 20000.0, 1e-9);
}

TEST(ParamDisplay, FixedTruncatedAndBounded) {
    EXPECT_EQ(fixed(0.5, 2), "0.50");
    EXPECT_EQ(fixed(-1.0, 2), "-1.00");
    EXPECT_EQ(fixed(299.99999, 2, "ms"), "300.00ms");
    EXPECT_EQ(fixed(-15.0, 1, "dB"), "-15.0dB");
    EXPECT_EQ(fixed(0.05, 3, "\""), "0.050\"");
    EXPECT_EQ(fixed(std::nan(""), 2), "nan");
    EXPECT_EQ(truncated(19999.99, "Hz"), "19999Hz");
    EXPECT_EQ(truncated(-3.7), "-3");
    EXPECT_EQ(truncated(1e30, "Hz"), "2147483647Hz");
    // Nothing is written past the capacity, whatever the value.
    char text[64];
    std::memset(text, '#', sizeof(text));
    fxdsp::displayFixed(text, 1e300, 2, "a long suffix that does not fit");
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(fxdsp::kParamTextCapacity - 1));
    EXPECT_EQ(text[fxdsp::kParamTextCapacity], '#');
    std::memset(text, '#', sizeof(text));
    fxdsp::displayFixed(text, -123456789012345.0, 6, "Hz");
    EXPECT_LT(std::strlen(text), static_cast<size_t>(fxdsp::kParamTextCapacity));
    EXPECT_EQ(text[fxdsp::kParamTextCapacity], '#');
}
