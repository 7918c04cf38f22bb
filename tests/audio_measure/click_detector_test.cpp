// The click detector finds seams in smooth sound and leaves alone the
// sharp edges that belong to a sound: periodic resets, noise, drum hits.
#include <gtest/gtest.h>

#include "tests/audio_measure/test_signals.h"
#include "tools/audio_measure/click_detector.h"

namespace {

using namespace test_signals;

// Naive (not band-limited) sawtooth: a full-height reset every period.
std::vector<float> hardSaw(double hz, double amplitude, double seconds) {
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    double phase = 0.0;
    for (float& v : x) {
        v = static_cast<float>(amplitude * (2.0 * phase - 1.0));
        phase += hz / kRate;
        if (phase >= 1.0) phase -= 1.0;
    }
    return x;
}

TEST(ClickDetector, FindsAPhaseJumpInASine) {
    // 20 frames left out of a 440 Hz tone, a step of 0.36: the kind of
    // seam a bad loop or a stolen voice leaves.
    std::vector<float> x = sine(440.0, 0.5, 1.0);
    x.erase(x.begin() + 20000, x.begin() + 20020);
    const auto clicks = measure::findClicks(dual(x));
    ASSERT_EQ(clicks.size(), 2u);  // one per channel
    for (const auto& c : clicks) {
        EXPECT_EQ(c.frame, 20000u);
        EXPECT_GT(c.ratio, 4.0);
    }
    EXPECT_TRUE(measure::findClicks(dual(sine(440.0, 0.5, 1.0))).empty());
}

TEST(ClickDetector, FindsANoteCutOffToSilence) {
    std::vector<float> x = sine(220.0, 0.3, 0.5, 0.3);
    x.resize(x.size() + 22050, 0.0f);
    const auto clicks = measure::findClicks(x, kRate);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].frame, 22050u);
}

TEST(ClickDetector, SmallStepsBelowTheFloorAreNoClicks) {
    std::vector<float> x = sine(100.0, 0.004, 1.0);
    x.erase(x.begin() + 10000, x.begin() + 10100);  // a step of at most 0.008
    EXPECT_TRUE(measure::findClicks(x, kRate).empty());
    // The same seam at a level where it is heard.
    std::vector<float> loud = sine(100.0, 0.4, 1.0);
    loud.erase(loud.begin() + 10000, loud.begin() + 10100);
    EXPECT_EQ(measure::findClicks(loud, kRate).size(), 1u);
}

TEST(ClickDetector, PeriodicEdgesNoiseAndHitsAreTheSoundItself) {
    // A low saw's resets are as large as a click, but every period has one.
    EXPECT_TRUE(measure::findClicks(hardSaw(41.2, 0.5, 2.0), kRate).empty());
    // A pulse starting at full height out of silence, then repeating.
    std::vector<float> pulse(44100, 0.0f);
    for (size_t i = 10000; i < pulse.size(); ++i) pulse[i] = ((i - 10000) / 200) % 2 == 0 ? 0.4f : -0.4f;
    EXPECT_TRUE(measure::findClicks(pulse, kRate).empty());
    EXPECT_TRUE(measure::findClicks(noise(0.5, 1.0, 7), kRate).empty());
    // Noise bursts (hats) over a quiet low tone, starting at full height.
    std::vector<float> mix = sine(60.0, 0.1, 2.0);
    const std::vector<float> hiss = noise(0.4, 2.0, 9);
    for (size_t start = 5000; start + 3000 < mix.size(); start += 11025)
        for (size_t i = 0; i < 3000; ++i) mix[start + i] += hiss[start + i] * static_cast<float>(std::exp(-double(i) / 600.0));
    EXPECT_TRUE(measure::findClicks(mix, kRate).empty());
}

TEST(ClickDetector, WorstRatioGrowsWithTheSeam) {
    std::vector<float> small = sine(440.0, 0.5, 0.5), large = small;
    small.erase(small.begin() + 5000, small.begin() + 5003);
    large.erase(large.begin() + 5000, large.begin() + 5040);
    const double smallRatio = measure::worstStepRatio(dual(small));
    const double largeRatio = measure::worstStepRatio(dual(large));
    EXPECT_LT(smallRatio, 4.0);
    EXPECT_GT(largeRatio, 2.0 * smallRatio);
}

}  // namespace
