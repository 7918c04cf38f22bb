#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/project/project_fixture.h"

namespace {

const std::string kProject = synthTrack(
    line("INSERT1_PLUGIN", {"\\PluginEffects\\KavoChorus.dll"}) + line("PRESET_SOUND_BALL", {"64.0000", "64.0000", "0"}) +
    line("PRESET_SOUND_MIDI", {"1", "74", "71"}) +
    line("PRESET_SOUND_MIX_PARAM_HORZ", {"1", "0", "0.0000", "128.0000", "0.0000"}) +
    line("PRESET_SOUND_PARAM_VERT", {"0", "37", "0.0000", "128.0000", "0.0000"}) +
    line("PRESET_SOUND_INSERT1_PARAM_VERT", {"2", "0", "0.0000", "128.0000", "0.0000"}) +
    line("PRESET_SOUND_BALL", {"10", "10", "0"}) + line("PRESET_SOUND_FLY", {"1", "0", "0"}));

}  // namespace

TEST(BallEngine, LevelTargetAtTheCentreSetsHalfItsRange) {
    TestEngine e;
    e.load(kProject);
    CInstrument& t = e.track(0);
    t.balls.notify(0, false, false);
    e.render(64);
    EXPECT_FLOAT_EQ(t.level.load(), 63.5f);
    EXPECT_FLOAT_EQ(t.mainSlot().getParameter(37), 0.5f);
}

TEST(BallEngine, MovesReachModulesOnlyAtTheNextBlock) {
    TestEngine e;
    e.load(kProject);
    CInstrument& t = e.track(0);
    e.render(64);
    t.balls.move(0, 32.0f, 96.0f, false, false);
    EXPECT_NE(t.level.load(), 31.75f);  // nothing happens on this thread
    e.render(64);
    EXPECT_FLOAT_EQ(t.level.load(), 31.75f);
    EXPECT_FLOAT_EQ(t.mainSlot().getParameter(37), 0.75f);
    EXPECT_FLOAT_EQ(t.insertSlot(0).getParameter(0), 0.75f);
}

TEST(BallEngine, ControllersMoveAssignedBallsAndTheModWheelTakesOver) {
    TestEngine e;
    e.load(kProject);
    CInstrument& t = e.track(0);
    e.send(0xB5, 74, 127);
    e.render(64);
    EXPECT_FLOAT_EQ(t.balls.ball(0).x.load(), 127.0f);
    EXPECT_NEAR(t.level.load(), 127.0f * 127.0f / 128.0f, 1e-3f);
    e.render(64);
    EXPECT_GT(t.balls.ball(1).x.load(), 10.0f);  // flying
    e.send(0xB0, 1, 0);
    e.render(64);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(t.balls.ball(b).fullRange.load(), 1.0f);
        EXPECT_EQ(t.balls.ball(b).flyOn.load(), 0.0f);
    }
    const float x = t.balls.ball(1).x.load();
    e.render(64);
    EXPECT_EQ(t.balls.ball(1).x.load(), x);
    EXPECT_EQ(e.effect->padX.load(), 64.0f);
}

TEST(BallEngine, OutOfRangeModuleTargetsAreNotSent) {
    TestEngine e;
    e.load(synthTrack(line("PRESET_SOUND_BALL", {"64", "64", "0"}) +
                      line("PRESET_SOUND_PARAM_HORZ", {"0", "100000", "0", "128", "0"}) +
                      line("PRESET_SOUND_PARAM_HORZ", {"3", "-4", "0", "128", "0"}) +
                      line("PRESET_SOUND_PARAM_HORZ", {"7", "0", "0", "128", "0"})));
    e.track(0).balls.notify(0, false, false);
    e.render(64);  // nothing to see but that it survives the sanitizers
    EXPECT_EQ(e.track(0).balls.ball(0).horizontal.size(), 3u);
}

// Switch and rate values from a damaged program chunk or project reach the
// balls as they are: NaN or 1e37 must neither be undefined conversions nor
// start motion that a valid setting would not.
TEST(BallEngine, FlySwitchAndRandomRateOutsideAnyIntegerAreSafe) {
    TestEngine e;
    e.load(kProject);
    CInstrument& t = e.track(0);
    SoundBall& flying = t.balls.ball(1);
    e.render(64);
    flying.flyOn = std::numeric_limits<float>::quiet_NaN();
    const float x = flying.x.load(), y = flying.y.load();
    e.render(256);
    e.render(256);
    EXPECT_EQ(flying.x.load(), x);  // NaN is off
    EXPECT_EQ(flying.y.load(), y);
    flying.flyOn = 1e37f;  // as an integer it would be "on"; it stays so
    e.render(256);
    e.render(256);
    EXPECT_TRUE(flying.x.load() != x || flying.y.load() != y);
    for (float rate : {1e37f, -1e37f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        t.balls.ball(0).randomRate = rate;
        for (int step = 0; step < 40; ++step) e.render(2048);
        EXPECT_TRUE(std::isfinite(t.balls.ball(0).x.load()));
    }
}
