#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "host/pending_notes.h"
#include "sequencer/drum_mirror.h"
#include "sequencer/edit_pattern.h"

namespace {

std::vector<std::pair<int, int>> positionsAndKeys(const Pattern& p) {
    std::vector<std::pair<int, int>> out;
    for (const auto& n : p.notes) out.emplace_back(static_cast<int>(n.position), n.key);
    return out;
}

}  // namespace

TEST(DrumPatternEdit, HitsAreInsertedInPositionOrder) {
    Pattern edit;
    applyDrumPatternEdit(edit, 8, 36, false, 1.0f);
    applyDrumPatternEdit(edit, 2, 38, false, 1.0f);
    applyDrumPatternEdit(edit, 8, 42, false, 1.0f);
    applyDrumPatternEdit(edit, 5, 36, false, 2.0f);
    applyDrumPatternEdit(edit, 0, 36, false, 1.0f);
    EXPECT_EQ(positionsAndKeys(edit), (std::vector<std::pair<int, int>>{{0, 36}, {2, 38}, {5, 36}, {8, 36}, {8, 42}}));
    EXPECT_EQ(edit.notes[2].velocity, 0);  // command 2: a stop
    EXPECT_EQ(edit.notes[0].velocity, 127);
    EXPECT_FLOAT_EQ(edit.notes[0].length, 1.0f);
}

TEST(DrumPatternEdit, AHitOnAnOccupiedStepReplacesTheNoteAndZeroRemovesIt) {
    Pattern edit;
    applyDrumPatternEdit(edit, 4, 36, false, 1.0f);
    applyDrumPatternEdit(edit, 4, 36, true, 64.0f);
    ASSERT_EQ(edit.notes.size(), 1u);
    EXPECT_EQ(edit.notes[0].velocity, 64);
    applyDrumPatternEdit(edit, 4, 36, false, 1.0f);
    ASSERT_EQ(edit.notes.size(), 1u);
    EXPECT_EQ(edit.notes[0].velocity, 127);
    applyDrumPatternEdit(edit, 4, 36, false, 0.0f);
    EXPECT_TRUE(edit.notes.empty());
    // Setting the velocity of a note that is not there changes nothing.
    applyDrumPatternEdit(edit, 4, 36, true, 10.0f);
    EXPECT_TRUE(edit.notes.empty());
}

TEST(DrumPatternEdit, NeverReallocatesAndDropsWhatDoesNotFit) {
    Pattern edit;
    const PatternNote* storage = edit.notes.data();
    for (int i = 0; i < kPatternNoteCapacity + 10; ++i) applyDrumPatternEdit(edit, i % 64, (i / 64) % 128, false, 1.0f);
    EXPECT_EQ(edit.notes.size(), static_cast<size_t>(kPatternNoteCapacity));
    EXPECT_EQ(edit.notes.data(), storage);
    for (size_t i = 1; i < edit.notes.size(); ++i) EXPECT_LE(edit.notes[i - 1].position, edit.notes[i].position);
}

TEST(DrumMirror, SendsTheSelectedPatternInTheModulesPackedIndices) {
    PatternStore store;
    store.stepMode[0] = 0.0f;
    store.stepMode[1] = 1.0f;
    store.swing = 0.125f;
    store.patterns[0].chain = 1;
    store.patterns[3].chain = 1;
    store.patterns[3].lengthSteps = 32.0f;
    store.patterns[3].notes.push_back({0.0f, 1.0f, 36, 100});
    store.patterns[3].notes.push_back({4.5f, 1.0f, 38, 90});
    store.patterns[3].notes.push_back({200.0f, 1.0f, 38, 90});  // outside the grid
    std::vector<std::pair<int32_t, float>> sent;
    const bool sendOn[2] = {true, false};
    drum_mirror::mirrorPattern(store, 3, 1, sendOn, [&](int32_t i, float v) { sent.emplace_back(i, v); });
    const std::vector<std::pair<int32_t, float>> expected = {
        {0x500002, 3.0f},
        {0x500009, 1.0f},
        {0x500004, 0.0f},
        {0x400000 + 0 + 128 * 36, 1.0f},
        {0x400000 + 4 + 128 * 38, 1.0f},
        {0x480000 + 0 + 128 * 36, 100.0f},
        {0x480000 + 4 + 128 * 38, 90.0f},
        {0x500008, static_cast<float>(0x8000 | 0x1000)},
        {0x500006, 1.0f},
        {0x500003, 32.0f},
        {0x500005, 0.125f},
        {0x510000, 1.0f},
        {0x510001, 0.0f},
    };
    EXPECT_EQ(sent, expected);
}

TEST(DrumMirror, StepModeCodes) {
    PatternStore store;
    EXPECT_EQ(drum_mirror::stepModeCode(store), 0.0f);
    store.stepMode[2] = 1.0f;
    EXPECT_EQ(drum_mirror::stepModeCode(store), 2.0f);
    store.stepMode[1] = 1.0f;
    EXPECT_EQ(drum_mirror::stepModeCode(store), 1.0f);
    store.stepMode[0] = store.stepMode[1] = store.stepMode[2] = 0.0f;
    EXPECT_EQ(drum_mirror::stepModeCode(store), -1.0f);
}

TEST(PendingNotes, StopKeyDropsWaitingStartsAndBringsReleasesForward) {
    PendingNoteList list;
    auto* slotA = reinterpret_cast<CPlugin*>(0x1000);
    auto* slotB = reinterpret_cast<CPlugin*>(0x2000);
    list.add({slotA, 60, 0, 900, 0});    // release of a sounding note
    list.add({slotA, 60, 100, 1200, 0}); // a later start
    list.add({slotA, 60, 0, 1800, 0});   // and its release
    list.add({slotA, 62, 100, 1200, 0}); // another key
    list.add({slotB, 60, 100, 1200, 0}); // another track
    list.add({slotA, 60, 0, 200, 5});    // a release due before the stop
    list.stopKey(slotA, 60, 500);
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list.at(0).frameOffset, 500);
    EXPECT_EQ(list.at(0).velocity, 0);
    EXPECT_EQ(list.at(1).frameOffset, 500);
    EXPECT_EQ(list.at(1).velocity, 0);
    EXPECT_EQ(list.at(2).key, 62);
    EXPECT_EQ(list.at(3).slot, slotB);
    EXPECT_EQ(list.at(4).frameOffset, 200);
    EXPECT_EQ(list.at(4).transposition, 5);
}
