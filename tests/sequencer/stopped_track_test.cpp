// A stopped track in a step mode starts again on the very step that finds it
// stopped, not through a restart request that would only take effect on the
// step after: that would leave the pattern a sixteenth behind the beat for
// good. (Synchronised tracks keep the request, which waits for the beat.)
#include <gtest/gtest.h>

#include "tests/sequencer/sequencer_test_rig.h"

TEST(StoppedTrack, StepModeStartsItOnTheStepThatFindsItStopped) {
    SequencerRig rig;
    for (Pattern& p : rig.patterns.patterns) p.lengthSteps = 4.0f;
    rig.addNote(0, 0.0f, 1.0f, 60);
    rig.steps(1);
    auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].frame, 0);
    EXPECT_EQ(rig.sequencer.restartRequest(), -1);
    // Played on, it loops in time: every fourth step from the first.
    rig.steps(8);
    ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[1].frame, 4000);
    EXPECT_EQ(ons[2].frame, 8000);
}

TEST(StoppedTrack, ChainModeStartsTheChainedPatternAtOnce) {
    SequencerRig rig;
    for (Pattern& p : rig.patterns.patterns) p.lengthSteps = 2.0f;
    rig.patterns.stepMode[0] = 0.0f;
    rig.patterns.stepMode[1] = 1.0f;
    rig.patterns.patterns[0].chain = 1;
    rig.addNote(0, 0.0f, 1.0f, 64);
    rig.steps(1);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].frame, 0);
    EXPECT_EQ(rig.sequencer.currentPattern(), 0);
}
