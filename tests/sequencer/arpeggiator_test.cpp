#include <gtest/gtest.h>

#include <set>

#include "tests/sequencer/sequencer_test_rig.h"

namespace {

// A rig with the arpeggiator on and no pattern notes.
SequencerRig arpeggioRig(std::vector<int> held, float mode) {
    SequencerRig rig;
    rig.env.arpeggiatorEnabled = true;
    rig.env.arpeggiator.on = 1.0f;
    rig.env.arpeggiator.mode = mode;
    rig.holdKeys(std::move(held));
    return rig;
}

std::vector<int> keysOn(const RecordingSink& sink) {
    std::vector<int> keys;
    for (const auto& n : sink.ons()) keys.push_back(n.key);
    return keys;
}

}  // namespace

TEST(Arpeggiator, UpAndDownTurnsAtBothEndsRepeatingTheEndKeys) {
    SequencerRig rig = arpeggioRig({60, 64, 67}, 2.0f);
    rig.steps(12);
    EXPECT_EQ(keysOn(rig.sink), (std::vector<int>{60, 64, 67, 67, 64, 60, 60, 64, 67, 67, 64, 60}));
}

TEST(Arpeggiator, UpWrapsAndDownFallsFromTheFirstKey) {
    SequencerRig up = arpeggioRig({60, 64, 67}, 0.0f);
    up.steps(7);
    EXPECT_EQ(keysOn(up.sink), (std::vector<int>{60, 64, 67, 60, 64, 67, 60}));
    SequencerRig down = arpeggioRig({60, 64, 67}, 1.0f);
    down.steps(7);
    EXPECT_EQ(keysOn(down.sink), (std::vector<int>{60, 67, 64, 60, 67, 64, 60}));
}

TEST(Arpeggiator, NotesStartOnTheStepAndLastAWholeStep) {
    SequencerRig rig = arpeggioRig({60, 64}, 0.0f);
    rig.steps(3);
    const auto ons = rig.sink.ons();
    const auto offs = rig.sink.offs();
    ASSERT_EQ(ons.size(), 3u);
    for (size_t i = 0; i < ons.size(); ++i) {
        EXPECT_EQ(ons[i].frame, static_cast<int>(i) * 1000);
        EXPECT_EQ(ons[i].velocity, 127);
        EXPECT_EQ(offs[i].frame - ons[i].frame, 1000);
    }
}

TEST(Arpeggiator, TempoOnePlaysEverySecondStep) {
    SequencerRig rig = arpeggioRig({60, 64}, 0.0f);
    rig.env.arpeggiator.tempo = 1.0f;
    rig.steps(6);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].frame, 0);
    EXPECT_EQ(ons[1].frame, 2000);
    EXPECT_EQ(ons[2].frame, 4000);
    EXPECT_EQ(keysOn(rig.sink), (std::vector<int>{60, 64, 60}));
}

TEST(Arpeggiator, GateTimeDividesTheStep) {
    for (int gate = 0; gate <= 3; ++gate) {
        SequencerRig rig = arpeggioRig({60}, 0.0f);
        rig.env.arpeggiator.gateTime = static_cast<float>(gate);
        rig.steps(2);
        const auto ons = rig.sink.ons();
        const auto offs = rig.sink.offs();
        ASSERT_EQ(offs.size(), 2u);
        EXPECT_EQ(offs[1].frame - ons[1].frame, 1000 >> gate) << "gate time " << gate;
    }
}

TEST(Arpeggiator, RandomGateTimeStaysBetweenAStepAndAFifteenth) {
    SequencerRig rig = arpeggioRig({60}, 0.0f);
    rig.env.arpeggiator.gateTime = 5.0f;
    rig.steps(200);
    std::set<int> lengths;
    const auto ons = rig.sink.ons();
    const auto offs = rig.sink.offs();
    for (size_t i = 0; i < ons.size(); ++i) lengths.insert(offs[i].frame - ons[i].frame);
    EXPECT_GE(*lengths.begin(), 1000 / 15);
    EXPECT_LE(*lengths.rbegin(), 1000);
    EXPECT_GT(lengths.size(), 8u);
}

TEST(Arpeggiator, RepeatModeAddsTheIntervalBeforeMovingOn) {
    SequencerRig rig = arpeggioRig({60, 64}, 0.0f);
    rig.env.arpeggiator.extensionMode = 0.0f;
    rig.env.arpeggiator.extension = 1.0f;
    rig.env.arpeggiator.interval = 12.0f;
    rig.steps(6);
    EXPECT_EQ(keysOn(rig.sink), (std::vector<int>{60, 72, 64, 76, 60, 72}));
}

TEST(Arpeggiator, CycleModeRaisesEachPassThroughTheKeys) {
    // Mode 1: the extension steps with every key; keys beyond 127 are left out.
    SequencerRig rig = arpeggioRig({60, 64, 67}, 0.0f);
    rig.env.arpeggiator.extensionMode = 1.0f;
    rig.env.arpeggiator.extension = 1.0f;
    rig.env.arpeggiator.interval = 12.0f;
    rig.steps(6);
    EXPECT_EQ(keysOn(rig.sink), (std::vector<int>{60, 76, 67, 72, 64, 79}));
}

TEST(Arpeggiator, SwingDelaysOddNotes) {
    SequencerRig rig = arpeggioRig({60, 64}, 0.0f);
    rig.env.arpeggiator.swing = 0.5f;
    rig.steps(4);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 4u);
    EXPECT_EQ(ons[0].frame, 0);
    EXPECT_EQ(ons[1].frame, 1500);
    EXPECT_EQ(ons[2].frame, 2000);
    EXPECT_EQ(ons[3].frame, 3500);
}

TEST(Arpeggiator, VelocityRandomnessStaysAudibleAndVaries) {
    SequencerRig rig = arpeggioRig({60}, 0.0f);
    // Strong randomness: many draws fall below 33 (velocity 32) and many
    // below 1, which must still be a note-on.
    rig.env.arpeggiator.velocity = 8.0f;
    rig.steps(300);
    std::multiset<int> velocities;
    for (const auto& n : rig.sink.ons()) velocities.insert(n.velocity);
    ASSERT_EQ(velocities.size(), 300u);
    EXPECT_EQ(*velocities.begin(), 1);
    EXPECT_LE(*velocities.rbegin(), 127);
    EXPECT_GT(velocities.count(32), 100u);
    EXPECT_GT(std::set<int>(velocities.begin(), velocities.end()).size(), 20u);
    SequencerRig plain = arpeggioRig({60}, 0.0f);
    plain.steps(20);
    for (const auto& n : plain.sink.ons()) EXPECT_EQ(n.velocity, 127);
}

TEST(Arpeggiator, RandomModeWithHolesRestsSometimesAndPlaysOnlyHeldKeys) {
    SequencerRig rig = arpeggioRig({60, 64}, 3.0f);
    rig.env.arpeggiator.hole = 2.0f;
    rig.steps(400);
    const auto keys = keysOn(rig.sink);
    EXPECT_LT(keys.size(), 300u);  // about half the steps rest
    EXPECT_GT(keys.size(), 100u);
    EXPECT_EQ(std::set<int>(keys.begin(), keys.end()), (std::set<int>{60, 64}));
}

TEST(Arpeggiator, SilentWithoutKeysAndWhenGatedOrSwitchedOff) {
    SequencerRig none = arpeggioRig({}, 2.0f);
    none.steps(5);
    EXPECT_TRUE(none.sink.notes.empty());
    SequencerRig gated = arpeggioRig({60}, 0.0f);
    gated.env.keyboardGated = true;
    gated.steps(3);
    EXPECT_TRUE(gated.sink.notes.empty());
    SequencerRig off = arpeggioRig({60}, 0.0f);
    off.env.arpeggiatorEnabled = false;
    off.steps(3);
    EXPECT_TRUE(off.sink.notes.empty());
}

TEST(Arpeggiator, TransposedKeysOutsideTheMidiRangeAreLeftOut) {
    SequencerRig rig = arpeggioRig({60, 120}, 0.0f);
    rig.env.followsTransposition = true;
    rig.env.transposition = 10;
    rig.steps(2);
    const auto ons = rig.sink.ons();
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].key, 60);
    EXPECT_EQ(ons[0].transposition, 10);
    // Downward transpositions play.
    SequencerRig down = arpeggioRig({60}, 0.0f);
    down.env.followsTransposition = true;
    down.env.transposition = -12;
    down.step();
    ASSERT_EQ(down.sink.ons().size(), 1u);
    EXPECT_EQ(down.sink.ons()[0].transposition, -12);
}

TEST(Arpeggiator, TransportStartBeginsAgainOnTheFirstKey) {
    SequencerRig rig = arpeggioRig({60, 64, 67}, 0.0f);
    rig.env.arpeggiator.tempo = 2.0f;
    rig.steps(5);  // played 60 (step 0) and 64 (step 4)
    rig.sequencer.transportStarted(rig.patterns, false);
    rig.step();
    EXPECT_EQ(keysOn(rig.sink), (std::vector<int>{60, 64, 60}));
}
