#include <gtest/gtest.h>

#include <set>

#include "tests/sequencer/sequencer_test_rig.h"

namespace {

void setLengths(SequencerRig& rig, float steps) {
    for (Pattern& p : rig.patterns.patterns) p.lengthSteps = steps;
}

void chainMode(SequencerRig& rig) {
    rig.patterns.stepMode[0] = 0.0f;
    rig.patterns.stepMode[1] = 1.0f;
}

}  // namespace

TEST(PatternFlow, ChainModeAlternatesBetweenTheChainedPatterns) {
    SequencerRig rig;
    setLengths(rig, 4.0f);
    chainMode(rig);
    rig.patterns.patterns[2].chain = 1;
    rig.patterns.patterns[5].chain = 1;
    ASSERT_TRUE(rig.sequencer.select(2, false));
    rig.steps(20);
    const std::vector<int> expected = {2, 2, 2, 2, 5, 5, 5, 5, 2, 2, 2, 2, 5, 5, 5, 5, 2, 2, 2, 2};
    EXPECT_EQ(rig.currentAfterStep, expected);
    // The selection follows what plays, and each change rewinds automation.
    EXPECT_EQ(rig.sequencer.selectedPattern(), 2);
    EXPECT_EQ(rig.sink.follows, 4);
}

TEST(PatternFlow, ChainModeWithoutFlagsKeepsTheCurrentPattern) {
    SequencerRig rig;
    setLengths(rig, 4.0f);
    chainMode(rig);
    rig.sequencer.select(7, false);
    rig.steps(13);
    for (int p : rig.currentAfterStep) EXPECT_EQ(p, 7);
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);  // looped back three times
    EXPECT_EQ(rig.sink.follows, 0);
}

TEST(PatternFlow, RandomModeOnlyPicksChainedPatterns) {
    SequencerRig rig;
    setLengths(rig, 1.0f);
    rig.patterns.stepMode[0] = 0.0f;
    rig.patterns.stepMode[2] = 1.0f;
    for (int p : {3, 9, 12}) rig.patterns.patterns[p].chain = 1;
    rig.steps(300);
    std::set<int> seen(rig.currentAfterStep.begin() + 1, rig.currentAfterStep.end());
    EXPECT_EQ(seen, (std::set<int>{3, 9, 12}));
}

TEST(PatternFlow, LoopModeRepeatsAndPlaysEveryPass) {
    SequencerRig rig;
    setLengths(rig, 3.0f);
    rig.addNote(0, 1.0f, 1.0f, 60);
    rig.steps(9);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].frame, 1000);
    EXPECT_EQ(ons[1].frame, 4000);
    EXPECT_EQ(ons[2].frame, 7000);
}

TEST(PatternFlow, WithoutStepModeAPatternPlaysOnceUnlessAnotherIsQueued) {
    SequencerRig rig;
    setLengths(rig, 2.0f);
    rig.patterns.stepMode[0] = 0.0f;
    rig.addNote(0, 0.0f, 1.0f, 60);
    rig.addNote(4, 0.0f, 1.0f, 64);
    // Selected while playing, so it starts at once with a restart.
    rig.sequencer.select(0, true);
    rig.steps(2);
    rig.sequencer.select(4, true);  // queued behind pattern 0
    EXPECT_EQ(rig.sequencer.queuedPattern(), 4);
    rig.steps(4);
    EXPECT_EQ(rig.sequencer.stepPosition(), -1);  // pattern 4 ran out: stopped
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].key, 60);
    EXPECT_EQ(ons[1].key, 64);
    EXPECT_EQ(ons[1].frame, 2000);
    rig.steps(3);
    EXPECT_EQ(rig.sink.ons().size(), 2u);
}

TEST(PatternFlow, StepNumberIsReportedWhenAPatternRunsPastIt) {
    SequencerRig rig;
    rig.patterns.stepMode[0] = 0.0f;
    rig.patterns.patterns[0].lengthSteps = 300.0f;
    rig.sequencer.select(0, true);
    rig.steps(258);
    EXPECT_GE(rig.sink.stepNumberReports, 1);
}

TEST(PatternSelection, QueuesWhilePlayingAndSwitchesAtThePatternEnd) {
    SequencerRig rig;
    setLengths(rig, 4.0f);
    rig.steps(2);
    rig.sequencer.select(3, true);
    EXPECT_EQ(rig.sequencer.currentPattern(), 0);
    EXPECT_EQ(rig.sequencer.selectedPattern(), 3);
    rig.steps(3);
    const std::vector<int> expected = {0, 0, 0, 0, 3};
    EXPECT_EQ(rig.currentAfterStep, expected);
    EXPECT_EQ(rig.sequencer.queuedPattern(), -1);
}

TEST(PatternSelection, SelectingTheQueuedPatternAgainSwitchesAtOnce) {
    SequencerRig rig;
    setLengths(rig, 8.0f);
    rig.steps(3);
    rig.sequencer.select(6, true);
    rig.sequencer.select(6, true);
    EXPECT_EQ(rig.sequencer.currentPattern(), 6);
    EXPECT_EQ(rig.sequencer.restartRequest(), 0);
    rig.step();
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);
}

TEST(PatternSelection, SelectingTheSelectedPatternRestartsIt) {
    SequencerRig rig;
    rig.steps(5);
    EXPECT_EQ(rig.sequencer.stepPosition(), 4);
    rig.sequencer.select(0, true);
    rig.step();
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);
}

TEST(PatternSelection, WhileTheOwnerIsStoppedTheSelectionIsCurrentAtOnceWithoutRestart) {
    SequencerRig rig;
    rig.steps(5);
    rig.sequencer.select(9, false);
    EXPECT_EQ(rig.sequencer.currentPattern(), 9);
    EXPECT_EQ(rig.sequencer.restartRequest(), -1);
}

TEST(PatternSelection, NumbersOutsideTheStoreAreRefused) {
    SequencerRig rig;
    rig.sequencer.select(4, false);
    EXPECT_FALSE(rig.sequencer.select(16, false));
    EXPECT_FALSE(rig.sequencer.select(-1, true));
    EXPECT_EQ(rig.sequencer.selectedPattern(), 4);
    EXPECT_EQ(rig.sequencer.currentPattern(), 4);
    EXPECT_TRUE(rig.sequencer.select(15, false));
}

TEST(PatternSelection, TransportStartPlaysTheSelectedPatternFromTheTop) {
    SequencerRig rig;
    rig.addNote(2, 0.0f, 1.0f, 60);
    rig.steps(5);
    rig.sequencer.select(2, false);
    rig.sequencer.transportStarted(rig.patterns, false);
    rig.step();
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);
    ASSERT_EQ(rig.sink.ons().size(), 1u);
    EXPECT_EQ(rig.sink.ons()[0].frame, 5000);
}

TEST(Synchro, SynchronisedStartAtStepZeroPlaysTheFirstStep) {
    SequencerRig rig;
    rig.env.masterSynchro = true;
    rig.addNote(0, 0.0f, 1.0f, 60);
    rig.step();
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);
    ASSERT_EQ(rig.sink.ons().size(), 1u);
    EXPECT_EQ(rig.sink.ons()[0].frame, 0);
}

TEST(Synchro, RestartWaitsForABeatWhileThePatternGoesOn) {
    SequencerRig rig;
    rig.env.trackSynchro = true;
    rig.env.timeSignatureNumerator = 4;
    rig.steps(6);  // steps 0..5, positions 0..5
    EXPECT_EQ(rig.sequencer.stepPosition(), 5);
    rig.sequencer.select(0, true);  // restart at 0
    rig.step();                     // step 6: not on a beat
    EXPECT_EQ(rig.sequencer.stepPosition(), 6);
    rig.step();  // step 7
    EXPECT_EQ(rig.sequencer.stepPosition(), 7);
    rig.step();  // step 8: a multiple of the numerator
    EXPECT_EQ(rig.sequencer.stepPosition(), 0);
    EXPECT_EQ(rig.sequencer.restartRequest(), -1);
}

TEST(Synchro, LockTakesThePositionFromTheOwnerStep) {
    SequencerRig rig;
    rig.env.trackSynchro = true;
    rig.steps(3);
    // A block that starts inside step 37: the next boundary is step 38.
    rig.sequencer.lockToStep(rig.patterns, 37);
    EXPECT_EQ(rig.sequencer.stepPosition(), 5);
    rig.stepAt(38);
    EXPECT_EQ(rig.sequencer.stepPosition(), 6);
    // A block that starts right on step 40's boundary runs step 40 itself.
    rig.sequencer.lockToStep(rig.patterns, 40);
    rig.stepAt(40);
    EXPECT_EQ(rig.sequencer.stepPosition(), 8);
}

TEST(Synchro, StoppedTracksAreNotStartedByTheLock) {
    SequencerRig rig;
    rig.sequencer.lockToStep(rig.patterns, 21);
    EXPECT_EQ(rig.sequencer.stepPosition(), -1);
}
