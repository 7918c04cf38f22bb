#include <gtest/gtest.h>

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
