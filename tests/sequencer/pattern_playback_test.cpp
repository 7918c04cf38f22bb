#include <gtest/gtest.h>

#include <limits>

#include "tests/sequencer/sequencer_test_rig.h"

// Frames on the rig's timeline: step s begins at s * 1000.

TEST(PatternPlayback, NoteAtThreeAndAHalfPlaysHalfAStepIntoStepThree) {
    SequencerRig rig;
    rig.addNote(0, 3.5f, 1.0f, 60);
    rig.steps(3);
    EXPECT_TRUE(rig.sink.notes.empty());
    rig.step();
    ASSERT_EQ(rig.sink.ons().size(), 1u);
    EXPECT_EQ(rig.sink.ons()[0].frame, 3500);
    EXPECT_EQ(rig.sink.ons()[0].key, 60);
    EXPECT_EQ(rig.sink.ons()[0].velocity, 100);
    ASSERT_EQ(rig.sink.offs().size(), 1u);
    EXPECT_EQ(rig.sink.offs()[0].frame, 4500);
}

TEST(PatternPlayback, SwingDelaysOddStepsOnly) {
    SequencerRig rig;
    rig.patterns.swing = 0.25f;
    for (int s = 0; s < 4; ++s) rig.addNote(0, static_cast<float>(s), 0.5f, 60 + s);
    rig.steps(4);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 4u);
    EXPECT_EQ(ons[0].frame, 0);
    EXPECT_EQ(ons[1].frame, 1250);
    EXPECT_EQ(ons[2].frame, 2000);
    EXPECT_EQ(ons[3].frame, 3250);
    // The length counts from the swung start.
    EXPECT_EQ(rig.sink.offs()[1].frame, 1750);
}

TEST(PatternPlayback, NoteLongerThanItsPatternIsCutAtPositionPlusPatternLength) {
    SequencerRig rig;
    rig.addNote(0, 0.0f, 40.0f, 60);
    rig.addNote(0, 2.0f, 40.0f, 62);
    rig.addNote(0, 3.0f, 5.0f, 64);  // shorter than the limit: untouched
    rig.steps(4);
    const auto offs = rig.sink.offs();
    ASSERT_EQ(offs.size(), 3u);
    EXPECT_EQ(offs[0].frame, 16000);
    EXPECT_EQ(offs[1].frame, 2000 + 18000);
    EXPECT_EQ(offs[2].frame, 3000 + 5000);
}

TEST(PatternPlayback, ZeroLengthNoteStillLastsOneFrame) {
    SequencerRig rig;
    rig.addNote(0, 0.0f, 0.0f, 60);
    rig.step();
    ASSERT_EQ(rig.sink.notes.size(), 2u);
    EXPECT_EQ(rig.sink.offs()[0].frame, rig.sink.ons()[0].frame + 1);
}

TEST(PatternPlayback, KeyboardGatedPlaysEveryNoteOncePerHeldKey) {
    SequencerRig rig;
    rig.env.keyboardGated = true;
    rig.addNote(0, 1.0f, 1.0f, 64);
    rig.addNote(0, 2.0f, 1.0f, 60);

    rig.steps(2);  // the note at step 1 with no key held: silence
    EXPECT_TRUE(rig.sink.notes.empty());

    rig.holdKeys({36, 43});
    rig.step();
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].key, 60);  // untransposed with 36
    EXPECT_EQ(ons[1].key, 67);  // a fifth up with 43
    EXPECT_EQ(ons[0].frame, 2000);
    EXPECT_EQ(ons[1].frame, 2000);
    const auto offs = rig.sink.offs();
    ASSERT_EQ(offs.size(), 2u);
    EXPECT_EQ(offs[0].key, 60);
    EXPECT_EQ(offs[1].key, 67);
    EXPECT_EQ(offs[1].frame, 3000);
}

TEST(PatternPlayback, KeyboardGatedSkipsKeysOutsideTheMidiRange) {
    SequencerRig rig;
    rig.env.keyboardGated = true;
    rig.holdKeys({36, 100});
    rig.addNote(0, 0.0f, 1.0f, 100);
    rig.step();
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].key, 100);
}

TEST(PatternPlayback, FollowingTracksCarryTheirTransposition) {
    SequencerRig rig;
    rig.addNote(0, 0.0f, 1.0f, 60);
    rig.addNote(0, 1.0f, 1.0f, 60);
    rig.env.followsTransposition = false;
    rig.env.transposition = 7;
    rig.step();
    rig.env.followsTransposition = true;
    rig.step();
    ASSERT_EQ(rig.sink.notes.size(), 4u);
    EXPECT_EQ(rig.sink.notes[0].transposition, 0);
    EXPECT_EQ(rig.sink.notes[2].transposition, 7);
    EXPECT_EQ(rig.sink.notes[3].transposition, 7);  // the note-off as well
}

TEST(PatternPlayback, EditPatternPlaysAfterTheCurrentPatternAndItsStopEndsTheStep) {
    SequencerRig rig;
    rig.addNote(0, 2.0f, 4.0f, 60);
    rig.addNote(-1, 1.0f, 1.0f, 50);
    rig.addNote(-1, 2.25f, 1.0f, 60, 0);   // stop key 60
    rig.addNote(-1, 2.5f, 1.0f, 62, 100);  // never reached
    rig.steps(3);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].key, 50);
    EXPECT_EQ(ons[1].key, 60);
    ASSERT_EQ(rig.sink.stops.size(), 1u);
    EXPECT_EQ(rig.sink.stops[0].key, 60);
    EXPECT_EQ(rig.sink.stops[0].frame, 2250);
}

TEST(PatternPlayback, DamagedNotesNeitherCrashNorPlayOutOfRangeKeys) {
    SequencerRig rig;
    rig.addNote(0, 0.0f, std::numeric_limits<float>::quiet_NaN(), 60);
    rig.addNote(0, 0.5f, 1e30f, 200);
    rig.addNote(0, 0.75f, -3.0f, 61, 900);
    rig.patterns.patterns[0].lengthSteps = 1e30f;
    rig.step();
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[1].velocity, 127);
    for (const auto& n : rig.sink.notes) EXPECT_GE(n.frame, 0);
}
