// The room module, measured from impulse responses (a module fed an impulse
// minus a twin fed silence) and from its output for silence.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "tests/effects_time/fx_test_host.h"

using fxtest::HostedEffect;
using fxtest::Stereo;

namespace {

enum { kPreDelay, kSize, kDamp, kLowCut, kEarlyRef, kMix, kLevel, kMono };

constexpr double kPi = 3.141592653589793;
constexpr size_t kFirstCombLeft = 1116, kFirstCombRight = 1139;
constexpr double kCombLengthsLeft[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};

using Settings = std::function<void(HostedEffect&)>;

Stereo reverbResponse(float rate, const Settings& settings, const Stereo& input) {
    HostedEffect hit("KavoReverb", rate), quiet("KavoReverb", rate);
    for (HostedEffect* e : {&hit, &quiet}) {
        e->set(kMix, 1.0f);  // wet only, unity level
        e->set(kLevel, 0.5f);
        settings(*e);
        e->dispatch(effSetProgram, 0, 0);  // every smoothed value on its target
    }
    const Stereo a = hit.process(input, 512);
    const Stereo b = quiet.silence(input.size(), 512);
    Stereo d(input.size());
    d.left = fxtest::minus(a.left, b.left);
    d.right = fxtest::minus(a.right, b.right);
    return d;
}

// Samples until the energy of 1024-sample windows has fallen `drop` dB below
// the loudest window.
size_t decayTime(const std::vector<float>& h, double drop) {
    const size_t window = 1024;
    std::vector<double> level;
    for (size_t at = 0; at + window <= h.size(); at += window) level.push_back(fxtest::rmsDb(h, at, at + window));
    const double peak = *std::max_element(level.begin(), level.end());
    size_t last = 0;
    for (size_t i = 0; i < level.size(); ++i)
        if (level[i] > peak - drop) last = i;
    return (last + 1) * window;
}

// Undamped combs of feedback R: each lap of a comb of length L costs
// 20 log10 R dB, so `drop` dB take drop / (-20 log10 R) laps of the mean comb.
double predictedDecay(double roomFeedback, double drop) {
    double mean = 0.0;
    for (double l : kCombLengthsLeft) mean += l / 8.0;
    return drop / (-20.0 * std::log10(roomFeedback)) * mean;
}

class ReverbAtRate : public testing::TestWithParam<float> {
protected:
    float rate() const { return GetParam(); }
};

}  // namespace

TEST_P(ReverbAtRate, SilenceGivesATinyConstantOutput) {
    HostedEffect fx("KavoReverb", rate());
    const Stereo out = fx.silence(200000);
    for (const auto* side : {&out.left, &out.right}) {
        double lo = 1.0, hi = -1.0;
        for (size_t n = out.size() - 8192; n < out.size(); ++n) {
            lo = std::min(lo, static_cast<double>((*side)[n]));
            hi = std::max(hi, static_cast<double>((*side)[n]));
        }
        // Dry offset plus 0.05 of the diffused offset, never exactly 0.
        EXPECT_GT(lo, 0.0);
        EXPECT_NEAR(lo, 1.05e-5, 0.02e-5);
        EXPECT_LT(hi - lo, 1e-11);
    }
}

TEST_P(ReverbAtRate, PreDelayZeroReadsTheSampleJustWrittenAndEarlyRefSubtractsTheCombSum) {
    for (float preDelay : {0.0f, 0.5f, 1.0f}) {
        const auto p = static_cast<size_t>(static_cast<double>(preDelay) * 0.15 * rate());
        for (float early : {0.0f, 1.0f}) {
            const Stereo h = reverbResponse(
                rate(),
                [=](HostedEffect& e) {
                    e.set(kPreDelay, preDelay);
                    e.set(kEarlyRef, early);
                },
                fxtest::impulse(p + 1200));
            // Nothing before the first comb lap; then 0.05 of the diffused
            // signal (at first the comb sum itself) minus 0.4 of the comb sum.
            const double expected = early == 0.0f ? 0.05 : 0.05 - 0.4;
            EXPECT_EQ(fxtest::peakAbs(h.left, 0, p + kFirstCombLeft), 0.0) << preDelay;
            EXPECT_EQ(fxtest::peakAbs(h.right, 0, p + kFirstCombRight), 0.0) << preDelay;
            EXPECT_NEAR(h.left[p + kFirstCombLeft], expected, 0.003) << preDelay << " " << early;
            EXPECT_NEAR(h.right[p + kFirstCombRight], expected, 0.003) << preDelay << " " << early;
        }
    }
}

TEST_P(ReverbAtRate, LowCutCornerFollowsTheSampleRate) {
    // At LowCut 1 (20 kHz) the input high-pass lets through a = exp(-2 pi f / rate)
    // of the impulse's first sample.
    const Stereo h = reverbResponse(rate(), [](HostedEffect& e) { e.set(kLowCut, 1.0f); }, fxtest::impulse(1200));
    const double a = std::exp(-2 * kPi * 20000.0 / rate());
    EXPECT_NEAR(h.left[kFirstCombLeft] / 0.05, a, 1e-4);
}

TEST_P(ReverbAtRate, TailGrowsWithSizeAndKeepsItsLengthInSamples) {
    size_t previous = 0;
    for (float size : {0.0f, 0.5f, 1.0f}) {
        const double feedback = 0.68 + 0.3 * size;
        const auto frames = static_cast<size_t>(predictedDecay(feedback, 40.0) * 1.6) + 8192;
        const Stereo h = reverbResponse(
            rate(),
            [size](HostedEffect& e) {
                e.set(kSize, size);
                e.set(kDamp, 1.0f);  // undamped: the decay follows the feedback alone
            },
            fxtest::impulse(frames));
        // From 10 dB to 40 dB below the peak: the onset (first lap, diffusion)
        // drops out and the slope remains.
        const size_t measured = decayTime(h.left, 40.0) - decayTime(h.left, 10.0);
        const double ratio = static_cast<double>(measured) / predictedDecay(feedback, 30.0);
        // The same number of samples at every rate: the lines do not scale.
        EXPECT_NEAR(ratio, 1.0, 0.12) << size;
        EXPECT_GT(measured, previous) << size;
        previous = measured;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ReverbAtRate, testing::Values(44100.0f, 96000.0f),
                         [](const testing::TestParamInfo<float>& i) {
                             return std::to_string(static_cast<int>(i.param));
                         });

TEST(Reverb, DisplaysOfPreDelaySizeAndMono) {
    HostedEffect e("KavoReverb");
    EXPECT_EQ(e.display(kPreDelay), "0ms");
    EXPECT_EQ(e.display(kSize), "1.0m2");
    e.set(kPreDelay, 0.5f);
    e.set(kSize, 0.5f);
    EXPECT_EQ(e.display(kPreDelay), "75ms");
    EXPECT_EQ(e.display(kSize), "22.4m2");  // sqrt(500) square metres
    e.set(kPreDelay, 1.0f);
    e.set(kSize, 1.0f);
    EXPECT_EQ(e.display(kPreDelay), "150ms");
    EXPECT_EQ(e.display(kSize), "500.0m2");
    e.set(kMono, 0.5f);
    EXPECT_EQ(e.display(kMono), "off");
}
