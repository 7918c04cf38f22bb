// Chorus and flanger. Read delays are measured from the output for a ramp:
// the Hermite read reproduces a straight line exactly, so each output sample
// is the ramp's value at the read position.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/dsp/param_curves.h"
#include "tests/effects_time/fx_test_host.h"

using fxtest::HostedEffect;
using fxtest::Stereo;

namespace {

enum { kTime = 0, kRate = 1, kDepth = 2 };
constexpr double kSlope = 1e-5;  // ramp step per sample

struct SweptCase {
    const char* title;
    float rate;
    double timeRangeRatio;  // longest / shortest base delay
    int mix, level;         // parameter indices
};

// The ramp from sample `from` on.
Stereo ramp(size_t from, size_t frames, double slope = kSlope) {
    Stereo s(frames);
    for (size_t n = 0; n < frames; ++n) s.left[n] = s.right[n] = static_cast<float>(slope * double(from + n));
    return s;
}

// Read distance of each output sample, wet only at unity level:
// out = slope * (n - c) + 1e-5.
std::vector<double> readDelays(const std::vector<float>& out, size_t from, double slope = kSlope) {
    const double level = fxdsp::levelGain(0.5f);
    std::vector<double> c(out.size());
    for (size_t n = 0; n < out.size(); ++n) c[n] = double(from + n) - (out[n] / level - 1e-5) / slope;
    return c;
}

class SweptDelay : public testing::TestWithParam<SweptCase> {
protected:
    const SweptCase& p() const { return GetParam(); }
    HostedEffect fx{GetParam().title, GetParam().rate};
    void configure(HostedEffect& e, float time, float depth, float rate) {
        e.set(kTime, time);
        e.set(kDepth, depth);
        e.set(kRate, rate);
        e.set(p().mix, 1.0f);  // wet only
        e.set(p().level, 0.5f);
        e.dispatch(effSetProgram, 0, 0);  // every smoothed value on its target
    }
    double baseDelay(float time) const { return 0.0005 * std::pow(p().timeRangeRatio, double(time)) * p().rate; }
};

}  // namespace

TEST_P(SweptDelay, DepthZeroIsAPlainDelayOfTheBaseTime) {
    for (float time : {0.0f, 0.5f, 1.0f}) {
        HostedEffect e(p().title, p().rate);
        configure(e, time, 0.0f, 0.5f);
        const Stereo out = e.process(ramp(0, 60000));
        const auto cL = readDelays(out.left, 0), cR = readDelays(out.right, 0);
        for (size_t n = 30000; n < out.size(); n += 997) {
            ASSERT_NEAR(cL[n], baseDelay(time), 0.05) << "time " << time << " at " << n;
            ASSERT_NEAR(cR[n], baseDelay(time), 0.05) << "time " << time << " at " << n;
        }
    }
}

TEST_P(SweptDelay, FullDepthSweepsLeftAndRightAnOctaveInOppositeDirections) {
    configure(fx, 0.5f, 1.0f, 1.0f);  // 10 Hz
    const Stereo out = fx.process(ramp(0, 40000));
    const auto cL = readDelays(out.left, 0), cR = readDelays(out.right, 0);
    const double d = baseDelay(0.5f);
    double longest = 0.0, shortest = 1e9;
    for (size_t n = 20000; n < out.size(); ++n) {
        ASSERT_NEAR(cL[n] * cR[n] / (d * d), 1.0, 2e-3) << n;  // k * D and D / k
        longest = std::max(longest, cL[n]);
        shortest = std::min(shortest, cL[n]);
    }
    EXPECT_NEAR(longest / d, 2.0, 0.01);
    EXPECT_NEAR(shortest / d, 0.5, 0.01);
}

TEST_P(SweptDelay, RateChangeWhileFallingTurnsTheSweepUpwardFromWhereItIs) {
    configure(fx, 0.5f, 1.0f, 1.0f);  // 10 Hz: rises for a quarter cycle, then falls
    const auto half = static_cast<size_t>(p().rate / 20.0f);
    const auto before = readDelays(fx.process(ramp(0, half)).left, 0);
    EXPECT_LT(before[half - 1], before[half - 101]);  // falling
    fx.set(kRate, 0.8f);
    const Stereo out = fx.process(ramp(half, 400));
    const auto left = readDelays(out.left, half), right = readDelays(out.right, half);
    EXPECT_NEAR(left[0], before[half - 1], 1.0);  // no jump
    for (size_t n = 1; n < 200; ++n) ASSERT_GT(left[n], left[n - 1] - 1e-3) << n;
    EXPECT_GT(left[200], left[0] + 1.0);
    EXPECT_LT(right[200], right[0] - 1.0);  // and the right channel the other way
}

INSTANTIATE_TEST_SUITE_P(Both, SweptDelay,
                         testing::Values(SweptCase{"KavoChorus", 44100.0f, 600.0, 3, 4},
                                         SweptCase{"KavoChorus", 96000.0f, 600.0, 3, 4},
                                         SweptCase{"KavoFlanger", 44100.0f, 40.0, 4, 5},
                                         SweptCase{"KavoFlanger", 96000.0f, 40.0, 4, 5}),
                         [](const testing::TestParamInfo<SweptCase>& i) {
                             return std::string(i.param.title) + "_" + std::to_string(static_cast<int>(i.param.rate));
                         });

TEST(Chorus, LongestSweepFitsTheRingAt192kHz) {
    // 300 ms doubled by full depth is 115,200 samples at 192 kHz.
    HostedEffect fx("KavoChorus", 192000.0f);
    for (int i : {0, 1, 2, 3}) fx.set(i, 1.0f);  // Time, Rate, Depth, Mix
    fx.dispatch(effSetProgram, 0, 0);
    const double slope = 2e-6;
    const auto c = readDelays(fx.process(ramp(0, 160000, slope), 1024).left, 0, slope);
    EXPECT_NEAR(*std::max_element(c.begin() + 120000, c.end()), 115200.0, 2.0);
}

TEST(Flanger, FullFeedbackWithALoudInputStaysBounded) {
    for (float rate : {44100.0f, 96000.0f}) {
        HostedEffect fx("KavoFlanger", rate);
        fx.set(3, 1.0f);  // Feedback
        fx.set(4, 1.0f);  // wet only
        fx.dispatch(effSetProgram, 0, 0);
        Stereo in(static_cast<size_t>(rate));
        for (size_t n = 0; n < in.size(); ++n) in.left[n] = in.right[n] = (n / 200) % 2 ? 4.0f : -4.0f;
        const Stereo out = fx.process(in);
        double peak = 0.0;
        for (size_t n = 0; n < out.size(); ++n) {
            ASSERT_TRUE(std::isfinite(out.left[n]));
            peak = std::max({peak, std::fabs(double(out.left[n])), std::fabs(double(out.right[n]))});
        }
        // Reads are limited to 10, and the loop does reach the limit.
        EXPECT_LE(peak / fxdsp::levelGain(0.5f), 10.0 + 1e-4);
        EXPECT_GT(peak, 9.0);
    }
}

TEST(SweptDelayText, DisplaysCarryTheirUnits) {
    HostedEffect chorus("KavoChorus"), flanger("KavoFlanger");
    EXPECT_EQ(flanger.name(3), "Feedback");
    EXPECT_EQ(chorus.name(3), "Mix");
    EXPECT_EQ(chorus.display(0), "12.25ms");  // 0.5 ms * sqrt(600)
    EXPECT_EQ(chorus.display(1), "0.71Hz");   // 0.05 Hz * sqrt(200)
    chorus.set(0, 1.0f);
    flanger.set(0, 1.0f);
    chorus.set(1, 1.0f);
    chorus.set(3, 0.0f);
    chorus.set(4, 0.0f);
    EXPECT_EQ(chorus.display(0), "300.00ms");
    EXPECT_EQ(flanger.display(0), "20.00ms");
    EXPECT_EQ(chorus.display(1), "10.00Hz");
    EXPECT_EQ(chorus.display(3), "-1.00");
    EXPECT_EQ(chorus.display(4), "-15.0dB");
}
