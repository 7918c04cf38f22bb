#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/effects_dynamics/hosted_effect.h"
#include "tests/effects_dynamics/signal_analysis.h"

namespace {

enum { kThreshold, kLookahead, kAttack, kRelease, kLevel, kStereo };

float floatAt(const std::vector<char>& bytes, size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, sizeof(v));
    return v;
}

StereoBuffer constant(size_t frames, float value) {
    StereoBuffer b(frames);
    for (size_t i = 0; i < frames; ++i) b.left[i] = b.right[i] = value;
    return b;
}

class LimiterTest : public ::testing::TestWithParam<float> {
protected:
    double rate() const { return GetParam(); }
    size_t lookahead() const { return static_cast<size_t>(rate() * 0.5 * 0.005); }
};

}  // namespace

TEST_P(LimiterTest, FullScaleSineSettlesAtTheCeiling) {
    HostedEffect fx("KavoLimiter", static_cast<float>(rate()));
    ASSERT_TRUE(fx.valid());
    ASSERT_EQ(fx.getParameter(kThreshold), 1.0f);  // drive x1
    const size_t frames = static_cast<size_t>(rate());
    StereoBuffer in(frames);
    in.left = measure::sine(frames, 1000.0, rate(), 1.0);
    in.right = measure::sine(frames, 1000.0, rate(), 1.0, 1.0);
    const StereoBuffer out = fx.process(in);
    EXPECT_NEAR(measure::peak(out.left, frames / 2, frames), 0.99, 0.002);
    EXPECT_NEAR(measure::peak(out.right, frames / 2, frames), 0.99, 0.002);
    // Twice full scale is divided down to the same ceiling.
    HostedEffect hot("KavoLimiter", static_cast<float>(rate()));
    in.left = in.right = measure::sine(frames, 1000.0, rate(), 2.0);
    EXPECT_NEAR(measure::peak(hot.process(in).left, frames / 2, frames), 0.99, 0.01);
    // Below full scale nothing but the ceiling's scale applies.
    HostedEffect quiet("KavoLimiter", static_cast<float>(rate()));
    in.left = in.right = measure::sine(frames, 1000.0, rate(), 0.5);
    const StereoBuffer soft = quiet.process(in);
    for (size_t i = lookahead(); i < frames; i += 97)
        ASSERT_NEAR(soft.left[i], 0.99f * in.left[i - lookahead()], 1e-6) << i;
}

TEST_P(LimiterTest, ThresholdDrivesUpToTwentyDb) {
    HostedEffect fx("KavoLimiter", static_cast<float>(rate()));
    fx.setParameter(kThreshold, 0.0f);  // drive x10
    const size_t frames = static_cast<size_t>(rate() / 2);
    StereoBuffer in(frames);
    in.left = in.right = measure::sine(frames, 440.0, rate(), 0.05);
    const StereoBuffer out = fx.process(in);
    EXPECT_NEAR(measure::peak(out.left, frames / 2, frames), 0.5 * 0.99, 0.002);
    EXPECT_EQ(fx.parameterDisplay(kThreshold), "-39.9dB");
    fx.setParameter(kThreshold, 0.5f);  // drive x3.16
    EXPECT_EQ(fx.parameterDisplay(kThreshold), "-19.9dB");
}

TEST_P(LimiterTest, NeverLeavesFullScale) {
    HostedEffect fx("KavoLimiter", static_cast<float>(rate()));
    fx.setParameter(kThreshold, 0.0f);
    fx.setParameter(kRelease, 0.0f);
    const size_t frames = static_cast<size_t>(rate() / 2);
    StereoBuffer in(frames);
    unsigned state = 12345;
    for (size_t i = 0; i < frames; ++i) {
        state = state * 1103515245u + 12345u;
        const float noise = static_cast<float>(static_cast<int>(state >> 16 & 0x7FFF) - 16384) / 4096.0f;
        in.left[i] = (i / 2000) % 2 ? noise : 0.01f * noise;  // bursts of +-4 between quiet stretches
        in.right[i] = -in.left[i];
    }
    const StereoBuffer out = fx.process(in);
    EXPECT_LE(measure::peak(out.left, 0, frames), 1.0);
    EXPECT_LE(measure::peak(out.right, 0, frames), 1.0);
    EXPECT_GT(measure::peak(out.left, 0, frames), 0.9);
}

TEST_P(LimiterTest, LookaheadIsFixedAt2point5ms) {
    for (float x : {0.0f, 0.1f, 0.9f, 1.0f}) {
        HostedEffect fx("KavoLimiter", static_cast<float>(rate()));
        fx.setParameter(kLookahead, x);
        EXPECT_EQ(fx.getParameter(kLookahead), 0.5f);
        EXPECT_EQ(fx.parameterDisplay(kLookahead), "2.5ms");
        // The record keeps what was set; the preset chunk has the live 0.5.
        EXPECT_EQ(floatAt(fx.getChunk(false), 24 + 4 * kLookahead), x);
        EXPECT_EQ(floatAt(fx.getChunk(true), 4 * kLookahead), 0.5f);
        StereoBuffer click(2000);
        click.left[300] = click.right[300] = 0.5f;
        const StereoBuffer out = fx.process(click, 64);
        EXPECT_EQ(measure::peakIndex(out.left), 300 + lookahead()) << x;
        EXPECT_FLOAT_EQ(out.left[300 + lookahead()], 0.5f * 0.99f);
    }
}

TEST_P(LimiterTest, ReleaseRecoversInTheChosenTime) {
    for (float x : {0.0f, 0.5f}) {
        HostedEffect fx("KavoLimiter", static_cast<float>(rate()));
        fx.setParameter(kRelease, x);
        // A level of 4 sets the follower to 4, then the input drops to 0.5:
        // the follower falls as 0.5 + 3.5 * 0.01^(t / N) and lets the output
        // reach 0.99 * 0.5 when it crosses 1, after N * ln 7 / ln 100.
        const size_t drop = 2000;
        const double releaseSamples = 20.0 * std::pow(100.0, x) * 0.001 * rate();
        const size_t expected = drop + static_cast<size_t>(releaseSamples * std::log(7.0) / std::log(100.0));
        StereoBuffer in = constant(expected + 5000, 0.5f);
        for (size_t i = 0; i < drop; ++i) in.left[i] = in.right[i] = 4.0f;
        const StereoBuffer out = fx.process(in);
        EXPECT_NEAR(out.left[drop - 1], 0.99, 1e-4);  // 4 limited to the ceiling
        size_t recovered = drop + lookahead();
        while (recovered < out.size() && out.left[recovered] < 0.99f * 0.5f * 0.9999f) ++recovered;
        EXPECT_NEAR(static_cast<double>(recovered), static_cast<double>(expected), 2.0) << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, LimiterTest, ::testing::Values(44100.0f, 96000.0f));

TEST(LimiterPrograms, TwentyFourRecordsBehindSixteen) {
    HostedEffect fx("KavoLimiter", 44100.0f);
    EXPECT_EQ(fx.effect()->numPrograms, 16);
    AudioEffectX* module = fx.module();
    // The hidden records are reachable by the class's own calls.
    module->setProgram(20);
    EXPECT_EQ(fx.program(), 20);
    fx.setParameter(kRelease, 0.25f);
    char name[24] = "Hidden";
    fx.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(fx.dispatch(effCopyProgram, 23), 1);
    EXPECT_EQ(fx.dispatch(effCopyProgram, 24), 0);
    char text[24];
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, 23, 0, text), 1);
    EXPECT_STREQ(text, "Hidden");
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, 24, 0, text), 0);
    module->setProgram(24);
    EXPECT_EQ(fx.program(), 20);
    module->setProgram(0);
    EXPECT_EQ(fx.getParameter(kRelease), 1.0f);
    module->setProgram(23);
    EXPECT_EQ(fx.getParameter(kRelease), 0.25f);
    // The bank chunk covers the reported 16.
    const std::vector<char> bank = fx.getChunk(false);
    ASSERT_EQ(bank.size(), 768u);
    EXPECT_STREQ(&bank[48 * 15], "-");
}

TEST(LimiterPrograms, ChunksAndRefusals) {
    HostedEffect a("KavoLimiter", 44100.0f);
    const float values[6] = {0.3f, 0.9f, 0.2f, 0.4f, 0.6f, 1.0f};
    for (int i = 0; i < 6; ++i) a.setParameter(i, values[i]);
    const std::vector<char> preset = a.getChunk(true);
    ASSERT_EQ(preset.size(), 24u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(floatAt(preset, 4 * static_cast<size_t>(i)), i == kLookahead ? 0.5f : values[i]);
    HostedEffect b("KavoLimiter", 44100.0f);
    EXPECT_EQ(b.setChunk(preset, true), 1);
    EXPECT_EQ(b.setChunk(a.getChunk(false), false), 1);
    EXPECT_EQ(b.getChunk(false), a.getChunk(false));
    EXPECT_EQ(b.getChunk(true), preset);
    const std::vector<char> before = b.getChunk(false);
    for (size_t size : {0u, 23u, 25u, 28u, 768u}) EXPECT_EQ(b.setChunk(std::vector<char>(size, 1), true), 0);
    for (size_t size : {0u, 24u, 767u, 769u, 1152u}) EXPECT_EQ(b.setChunk(std::vector<char>(size, 1), false), 0);
    EXPECT_EQ(b.getChunk(false), before);
    EXPECT_EQ(b.getChunk(true), preset);
}

TEST(LimiterPrograms, MidiIsAcceptedAndIgnored) {
    HostedEffect fx("KavoLimiter", 44100.0f);
    EXPECT_EQ(fx.sendMidi(0xC0, 5, 0, 0), 1);
    fx.process(constant(64, 0.0f));
    EXPECT_EQ(fx.program(), 0);
}

TEST(LimiterText, NamesAndDisplays) {
    HostedEffect fx("KavoLimiter", 44100.0f);
    const char* names[6] = {"Threshold", "Lookahead", "Attack", "Release", "Level", "Stereo"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(fx.parameterName(i), names[i]);
    EXPECT_EQ(fx.parameterDisplay(kThreshold), "0.0dB");
    EXPECT_EQ(fx.parameterDisplay(kAttack), "0.23ms");
    EXPECT_EQ(fx.parameterDisplay(kRelease), "2.268s");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "0.0dB");
    EXPECT_EQ(fx.parameterDisplay(kStereo), "");
    fx.setParameter(kAttack, 0.0f);
    fx.setParameter(kRelease, 0.0f);
    fx.setParameter(kLevel, 1.0f);
    EXPECT_EQ(fx.parameterDisplay(kAttack), "0.02ms");
    EXPECT_EQ(fx.parameterDisplay(kRelease), "0.002s");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "19.9dB");
}
