// Chorus and flanger: read delays measured from the output of a ramp (the
// Hermite read reproduces a straight line exactly, so output = ramp value at
// the read position), sweep direction, the flanger's bound, names, displays.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/dsp/param_curves.h"
#include "tests/effects_time/fx_test_host.h"

using fxtest::HostedEffect;
using fxtest::Stereo;

namespace {

enum { kTime = 0, kRate = 1, kDepth = 2 };

struct SweptCase {
    const char* title;
    float rate;
    double timeRangeRatio;  // longest / shortest base delay
    int mix, level;         // parameter indices
};

std::string sweptName(const testing::TestParamInfo<SweptCase>& info) {
    return std::string(info.param.title) + "_" + std::to_string(static_cast<int>(info.param.rate));
}

// Ramp of `slope` per sample on both channels.
Stereo ramp(size_t frames, double slope) {
    Stereo s(frames);
    for (size_t n = 0; n < frames; ++n) s.left[n] = s.right[n] = static_cast<float>(slope * static_cast<double>(n));
    return s;
}

// Read distance of every output sample: out = level * (slope * (n - c) + 1e-5).
std::vector<double> readDelays(const std::vector<float>& out, double slope, double level) {
    std::vector<double> c(out.size());
    for (size_t n = 0; n < out.size(); ++n)
        c[n] = static_cast<double>(n) - (static_cast<double>(out[n]) / level - 1e-5) / slope;
    return c;
}

class SweptDelay : public testing::TestWithParam<SweptCase> {
protected:
    const SweptCase& p() const { return GetParam(); }
    HostedEffect fx{GetParam().title, GetParam().rate};
    // Wet only at unity level, values set at once.
    double wetOnly() {
        fx.set(p().mix, 1.0f);
        fx.set(p().level, 0.5f);
        fx.dispatch(effSetProgram, 0, fx.dispatch(effGetProgram));
        return static_cast<float>(fxdsp::levelGain(0.5f));
    }
    double baseDelay(float time) const {
        return 0.0005 * std::pow(p().timeRangeRatio, static_cast<double>(time)) * static_cast<double>(p().rate);
    }
};

}  // namespace

TEST_P(SweptDelay, DepthZeroIsAPlainDelayOfTheBaseTime) {
    for (float time : {0.0f, 0.5f, 1.0f}) {
        HostedEffect e(p().title, p().rate);
        e.set(kDepth, 0.0f);
        e.set(kTime, time);
        e.set(p().mix, 1.0f);
        e.set(p().level, 0.5f);
        e.dispatch(effSetProgram, 0, 0);
        const double slope = 1e-5;
        const Stereo out = e.process(ramp(60000, slope));
        const double level = fxdsp::levelGain(0.5f);
        const auto cL = readDelays(out.left, slope, level);
        const auto cR = readDelays(out.right, slope, level);
        const double expected = baseDelay(time);
        for (size_t n = 30000; n < out.size(); n += 997) {
            ASSERT_NEAR(cL[n], expected, 0.05) << "time " << time << " at " << n;
            ASSERT_NEAR(cR[n], expected, 0.05) << "time " << time << " at " << n;
        }
    }
}

TEST_P(SweptDelay, FullDepthSweepsLeftAndRightInOppositeOctaves) {
    fx.set(kTime, 0.5f);
    fx.set(kDepth, 1.0f);
    fx.set(kRate, 1.0f);  // 10 Hz
    const double level = wetOnly();
    const double slope = 1e-5;
    const Stereo out = fx.process(ramp(40000, slope));
    const auto cL = readDelays(out.left, slope, level);
    const auto cR = readDelays(out.right, slope, level);
    const double d = baseDelay(0.5f);
    double maxL = 0.0, minL = 1e9;
    for (size_t n = 20000; n < out.size(); ++n) {
        // k * D and D / k: the product stays D squared.
        ASSERT_NEAR(cL[n] * cR[n] / (d * d), 1.0, 2e-3) << n;
        maxL = std::max(maxL, cL[n]);
        minL = std::min(minL, cL[n]);
    }
    // One octave either way (the oscillator passes ±1 by less than one step).
    EXPECT_NEAR(maxL / d, 2.0, 0.01);
    EXPECT_NEAR(minL / d, 0.5, 0.01);
}

TEST_P(SweptDelay, RateChangeWhileFallingTurnsTheSweepUpward) {
    fx.set(kTime, 0.5f);
    fx.set(kDepth, 1.0f);
    fx.set(kRate, 1.0f);  // 10 Hz: rises for a quarter cycle, then falls
    const double level = wetOnly();
    const double slope = 1e-5;
    const size_t quarter = static_cast<size_t>(p().rate / 40.0f);
    const size_t firstFrames = quarter * 2;  // well into the falling half
    Stereo in = ramp(firstFrames + 400, slope);
    Stereo first(firstFrames), second(400);
    std::copy(in.left.begin(), in.left.begin() + static_cast<long>(firstFrames), first.left.begin());
    std::copy(in.right.begin(), in.right.begin() + static_cast<long>(firstFrames), first.right.begin());
    std::copy(in.left.begin() + static_cast<long>(firstFrames), in.left.end(), second.left.begin());
    std::copy(in.right.begin() + static_cast<long>(firstFrames), in.right.end(), second.right.begin());

    const Stereo out1 = fx.process(first);
    fx.set(kRate, 0.8f);  // a new rate, as a host automation would send
    const Stereo out2 = fx.process(second);
    auto c1 = readDelays(out1.left, slope, level);
    std::vector<float> shifted(out2.left);
    auto c2 = readDelays(shifted, slope, level);
    for (size_t n = 0; n < c2.size(); ++n) c2[n] += static_cast<double>(firstFrames);

    // Falling before the change: the left delay shortens.
    EXPECT_LT(c1[firstFrames - 1], c1[firstFrames - 101]);
    // Rising straight after it, from where it was: no jump.
    EXPECT_GT(c2[100], c2[0]);
    for (size_t n = 1; n < 100; ++n) EXPECT_GT(c2[n], c2[n - 1] - 1e-3) << n;
    EXPECT_NEAR(c2[0], c1[firstFrames - 1], 1.0);
    // The right channel moves the other way.
    const auto r2 = readDelays(out2.right, slope, level);
    EXPECT_LT(r2[100], r2[0]);
}

TEST_P(SweptDelay, ProgramChangeAlsoRestartsTheSweepUpward) {
    fx.set(kDepth, 1.0f);
    fx.set(kRate, 1.0f);
    const double level = wetOnly();
    const double slope = 1e-5;
    const size_t frames = static_cast<size_t>(p().rate / 20.0f);  // half a cycle: falling
    const Stereo out1 = fx.process(ramp(frames, slope));
    const auto c1 = readDelays(out1.left, slope, level);
    EXPECT_LT(c1[frames - 1], c1[frames - 50]);
    fx.dispatch(effSetProgram, 0, 0);
    Stereo next = ramp(frames + 200, slope);
    next.left.erase(next.left.begin(), next.left.begin() + static_cast<long>(frames));
    next.right.erase(next.right.begin(), next.right.begin() + static_cast<long>(frames));
    const Stereo out2 = fx.process(next);
    const auto c2 = readDelays(out2.left, slope, level);
    EXPECT_GT(c2[150], c2[1]);
}

INSTANTIATE_TEST_SUITE_P(Both, SweptDelay,
                         testing::Values(SweptCase{"KavoChorus", 44100.0f, 600.0, 3, 4},
                                         SweptCase{"KavoChorus", 96000.0f, 600.0, 3, 4},
                                         SweptCase{"KavoFlanger", 44100.0f, 40.0, 4, 5},
                                         SweptCase{"KavoFlanger", 96000.0f, 40.0, 4, 5}),
                         sweptName);

TEST(Chorus, LongestSweepFitsTheRingAt192kHz) {
    // 300 ms doubled by full depth is 115,200 samples at 192 kHz.
    HostedEffect fx("KavoChorus", 192000.0f);
    fx.set(kTime, 1.0f);
    fx.set(kDepth, 1.0f);
    fx.set(kRate, 1.0f);
    fx.set(3, 1.0f);
    fx.set(4, 0.5f);
    fx.dispatch(effSetProgram, 0, 0);
    const double slope = 2e-6;
    const Stereo out = fx.process(ramp(160000, slope), 1024);
    const auto c = readDelays(out.left, slope, fxdsp::levelGain(0.5f));
    double longest = 0.0;
    for (size_t n = 120000; n < out.size(); ++n) longest = std::max(longest, c[n]);
    EXPECT_NEAR(longest, 115200.0, 2.0);
}

TEST(Flanger, FullFeedbackWithALoudInputStaysBounded) {
    for (float rate : {44100.0f, 96000.0f}) {
        HostedEffect fx("KavoFlanger", rate);
        fx.set(3, 1.0f);  // Feedback
        fx.set(4, 1.0f);  // wet only
        fx.set(5, 0.5f);
        fx.set(kDepth, 0.5f);
        fx.dispatch(effSetProgram, 0, 0);
        Stereo in(static_cast<size_t>(rate));
        for (size_t n = 0; n < in.size(); ++n) in.left[n] = in.right[n] = (n / 200) % 2 ? 4.0f : -4.0f;
        const Stereo out = fx.process(in);
        const double level = fxdsp::levelGain(0.5f);
        double peak = 0.0;
        for (size_t n = 0; n < out.size(); ++n) {
            ASSERT_TRUE(std::isfinite(out.left[n]));
            peak = std::max(peak, std::max(std::fabs(out.left[n]), std::fabs(out.right[n])) / level);
        }
        // Reads are limited to 10; the loop does reach the limit.
        EXPECT_LE(peak, 10.0 + 1e-4);
        EXPECT_GT(peak, 9.0);
    }
}

TEST(Chorus, FeedbackNeverReachesTheRing) {
    // The same square as above: without feedback the output stays at the
    // input's size.
    HostedEffect fx("KavoChorus", 44100.0f);
    fx.set(3, 1.0f);
    fx.set(4, 0.5f);
    fx.dispatch(effSetProgram, 0, 0);
    Stereo in(44100);
    for (size_t n = 0; n < in.size(); ++n) in.left[n] = in.right[n] = (n / 200) % 2 ? 4.0f : -4.0f;
    const Stereo out = fx.process(in);
    EXPECT_LT(fxtest::peakAbs(out.left, 0, out.size()), 4.6);
}

TEST(SweptDelayText, NamesAndDisplays) {
    HostedEffect chorus("KavoChorus"), flanger("KavoFlanger");
    const char* chorusNames[] = {"Time", "Rate", "Depth", "Mix", "Level"};
    const char* flangerNames[] = {"Time", "Rate", "Depth", "Feedback", "Mix", "Level"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(chorus.name(i), chorusNames[i]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(flanger.name(i), flangerNames[i]);

    EXPECT_EQ(chorus.display(0), "12.25ms");  // 0.5 * sqrt(600)
    chorus.set(0, 1.0f);
    EXPECT_EQ(chorus.display(0), "300.00ms");
    chorus.set(0, 0.0f);
    EXPECT_EQ(chorus.display(0), "0.50ms");
    flanger.set(0, 1.0f);
    EXPECT_EQ(flanger.display(0), "20.00ms");
    EXPECT_EQ(chorus.display(1), "0.71Hz");  // 0.05 * sqrt(200)
    chorus.set(1, 0.0f);
    EXPECT_EQ(chorus.display(1), "0.05Hz");
    chorus.set(1, 1.0f);
    EXPECT_EQ(chorus.display(1), "10.00Hz");
    EXPECT_EQ(chorus.display(2), "0.50");
    EXPECT_EQ(flanger.display(3), "0.00");
    chorus.set(3, 0.0f);
    EXPECT_EQ(chorus.display(3), "-1.00");
    chorus.set(4, 0.0f);
    EXPECT_EQ(chorus.display(4), "-15.0dB");
    flanger.set(5, 1.0f);
    EXPECT_EQ(flanger.display(5), "15.0dB");
}

TEST(SweptDelayChunks, ChorusTakes20ByteAndFlanger24BytePresets) {
    HostedEffect chorus("KavoChorus"), flanger("KavoFlanger");
    std::vector<char> bytes(24, 0);
    EXPECT_EQ(chorus.setChunk(bytes, true), 0);
    EXPECT_EQ(flanger.setChunk(bytes, true), 1);
    bytes.resize(20);
    EXPECT_EQ(chorus.setChunk(bytes, true), 1);
    EXPECT_EQ(chorus.chunk(false).size(), 2112u);
    EXPECT_EQ(flanger.chunk(false).size(), 768u);
}
