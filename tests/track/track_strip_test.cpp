#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/project/project_fixture.h"

namespace {

constexpr float kSignal = 0.01f;
constexpr int kSettle = 8192;  // the strip's one-pole gains settle long before

struct Strip {
    TestEngine engine;
    CInstrument* track;
    explicit Strip(int outputs = 2, bool drum = false) {
        track = &addProbeTrack(engine, outputs, drum);
        for (float& l : ProbeSynth::level) l = kSignal;
        track->level = 127.0f;       // T2: 2
        track->planetLevel = 64.0f;  // T3: 1
    }
    // Output of the last frame of a long block, per unit of input.
    std::pair<float, float> settledGain() {
        engine.render(kSettle);
        return {engine.left.back() / kSignal, engine.right.back() / kSignal};
    }
};

}  // namespace

TEST(TrackStrip, PanLawGivesTheFarSideAQuarterAtHalfPan) {
    Strip s;
    s.track->pan = 0.5f;
    auto [l, r] = s.settledGain();
    EXPECT_NEAR(r, 2.0f, 1e-3f);
    EXPECT_NEAR(l / r, 0.25f, 1e-3f);
    s.track->pan = -1.0f;
    std::tie(l, r) = s.settledGain();
    EXPECT_NEAR(l, 2.0f, 1e-3f);
    EXPECT_LT(std::fabs(r), 1e-4f);
    s.track->pan = 0.25f;  // 1 - 1.5 p
    std::tie(l, r) = s.settledGain();
    EXPECT_NEAR(l / r, 0.625f, 1e-3f);
    s.track->pan = -0.75f;  // 0.5 + 0.5 p
    std::tie(l, r) = s.settledGain();
    EXPECT_NEAR(r / l, 0.125f, 1e-3f);
}

TEST(TrackStrip, TrackAndPlanetLevelsMultiply) {
    Strip s;
    s.track->planetLevel = 127.0f;
    auto [l, r] = s.settledGain();
    EXPECT_NEAR(l, 8.0f, 1e-2f);
    EXPECT_NEAR(r, 8.0f, 1e-2f);
    s.track->level = 63.0f;  // T2: 0.25
    s.track->planetLevel = 63.0f;
    std::tie(l, r) = s.settledGain();
    EXPECT_NEAR(l, 0.25f, 1e-3f);
    s.track->level = 0.0f;
    s.track->planetLevel = 64.0f;
    std::tie(l, r) = s.settledGain();
    EXPECT_LE(std::fabs(l), 0.000004f);
}

TEST(TrackStrip, LevelsOutsideTheControlRangeNeverWrapAround) {
    // Ball ranges and project data can push a level below 0 or past 127: a
    // negative level is silence (not the loudest entry), a level past 127
    // the loudest (not silence), and NaN silence.
    Strip s;
    s.track->level = -1.0f;
    auto [l, r] = s.settledGain();
    EXPECT_LE(std::fabs(l), 0.000004f);
    s.track->level = 200.0f;  // T2 at its top: 2
    std::tie(l, r) = s.settledGain();
    EXPECT_NEAR(l, 2.0f, 1e-3f);
    EXPECT_NEAR(r, 2.0f, 1e-3f);
    s.track->planetLevel = std::numeric_limits<float>::quiet_NaN();
    std::tie(l, r) = s.settledGain();
    EXPECT_LE(std::fabs(l), 0.000004f);
    EXPECT_LE(std::fabs(r), 0.000004f);
}

TEST(TrackStrip, CrossfadeGroupsFollowTheMasterCrossfade) {
    for (const float fade : {0.0f, 127.0f, 63.0f}) {
        Strip a, b, both;
        a.track->crossfadeA = 1.0f;
        b.track->crossfadeB = 1.0f;
        both.track->crossfadeA = 1.0f;
        both.track->crossfadeB = 1.0f;
        float gains[3];
        Strip* strips[3] = {&a, &b, &both};
        for (int i = 0; i < 3; ++i) {
            strips[i]->engine.effect->crossfade = fade;
            strips[i]->settledGain();  // the crossfade gains settle block by block
            gains[i] = strips[i]->settledGain().first / 2.0f;
        }
        const float expectA = fade == 127.0f ? 1e-6f : 1.0f;
        const float expectB = fade == 0.0f ? 1e-6f : 1.0f;
        EXPECT_NEAR(gains[0], expectA, 1e-3f) << fade;
        EXPECT_NEAR(gains[1], expectB, 1e-3f) << fade;
        EXPECT_NEAR(gains[2], expectA, 1e-3f) << fade;  // both switches follow A
    }
}

TEST(TrackStrip, OneOutputModuleIsHeardOnBothSides) {
    Strip s(1);
    auto [l, r] = s.settledGain();
    EXPECT_NEAR(l, 2.0f, 1e-3f);
    EXPECT_EQ(l, r);
}

TEST(TrackStrip, MuteAndUnmuteGlideAtPointFiveHundredthsPerSample) {
    Strip s;
    s.settledGain();
    s.track->mute = 1.0f;
    EXPECT_LT(s.settledGain().first, 2e-5f);
    s.track->mute = 0.0f;
    s.engine.render(64);
    for (int n : {0, 10, 63}) {
        const float expected = 1e-6f + (2.0f - 1e-6f) * (1.0f - std::pow(0.995f, static_cast<float>(n + 1)));
        EXPECT_NEAR(s.engine.left[static_cast<size_t>(n)] / kSignal, expected, 2e-3f) << n;
    }
    s.track->silencedBySolo = 1.0f;
    EXPECT_LT(s.settledGain().first, 2e-5f);
}

TEST(TrackStrip, SendFeedsItsBusAfterTheStripGain) {
    Strip s;
    addProbeSend(s.engine, 0);
    s.track->sendOn[0] = 1.0f;
    s.track->sendLevel[0] = 127.0f;  // T1: 1
    s.settledGain();
    const auto [l, r] = s.settledGain();
    EXPECT_NEAR(l, 4.0f, 1e-2f);  // direct 2 plus the bus's 2
    EXPECT_NEAR(r, 4.0f, 1e-2f);
    EXPECT_NEAR(s.track->smoothedSendGain(0), 1.0f, 1e-3f);
}

TEST(TrackStrip, DrumMachinePadPairsFeedSendsWithoutTheSendLevel) {
    Strip s(6, true);
    ProbeSynth::level[0] = ProbeSynth::level[1] = 0.0f;  // only outputs 3 and 4 carry sound
    ProbeSynth::level[4] = ProbeSynth::level[5] = 0.0f;
    addProbeSend(s.engine, 0);
    s.track->sendOn[0] = 1.0f;
    s.track->sendLevel[0] = 0.0f;
    s.settledGain();
    const auto [l, r] = s.settledGain();
    EXPECT_NEAR(l, 2.0f, 1e-2f);
    EXPECT_NEAR(r, 2.0f, 1e-2f);
    EXPECT_GE(s.track->smoothedSendGain(0), 0.000021f);
    // Switched off, the pair no longer reaches the bus.
    s.track->sendOn[0] = 0.0f;
    s.settledGain();
    EXPECT_LT(std::fabs(s.settledGain().first), 1e-3f);
}
