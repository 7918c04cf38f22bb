#include <cstring>

#include "slot_fixture.h"

namespace {

uint8_t byte(const VstMidiEvent& e, int i) { return static_cast<uint8_t>(e.midiData[i]); }

}  // namespace

TEST_F(SlotTest, DeliveryBuildsOneListImmediateFirstThenLive) {
    ASSERT_TRUE(createSynth());
    // Sent in mixed order; the module sees the immediate list first.
    EXPECT_TRUE(slot.sendEvent(kLiveEvents, 0, 0x90, 60, 100));
    EXPECT_TRUE(slot.sendEvent(kImmediateEvents, 7, 0xB0, 123, 0));
    EXPECT_TRUE(slot.sendEvent(kImmediateEvents, 130, 0x90, 64, 127));  // past the block: kept as it is
    EXPECT_TRUE(slot.sendEvent(kLiveEvents, 0, 0xE0, 0, 0x40));
    slot.deliverEvents(128, 44100);

    ASSERT_EQ(probe::record().processEventsCalls, 1);
    const auto& events = probe::record().events;
    ASSERT_EQ(events.size(), 4u);
    const VstInt32 expectedFrames[] = {7, 130, 0, 0};
    const uint8_t expectedStatus[] = {0xB0, 0x90, 0x90, 0xE0};
    for (size_t i = 0; i < events.size(); ++i) {
        const VstMidiEvent& e = events[i];
        EXPECT_EQ(e.type, kVstMidiType);
        EXPECT_EQ(e.byteSize, 32);
        EXPECT_EQ(e.flags, kVstMidiEventIsRealtime);
        EXPECT_EQ(e.deltaFrames, expectedFrames[i]) << i;
        EXPECT_EQ(byte(e, 0), expectedStatus[i]) << i;
        EXPECT_EQ(e.midiData[3], 0);
        EXPECT_EQ(e.noteLength, 0);
        EXPECT_EQ(e.noteOffset, 0);
        EXPECT_EQ(e.detune, 0);
        EXPECT_EQ(e.noteOffVelocity, 0);
        EXPECT_EQ(e.reserved1, 0);
        EXPECT_EQ(e.reserved2, 0);
    }
    EXPECT_EQ(byte(events[0], 1), 123);
    EXPECT_EQ(byte(events[2], 1), 60);
    EXPECT_EQ(byte(events[2], 2), 100);
    EXPECT_EQ(byte(events[3], 2), 0x40);

    // Both lists were emptied: the next block sends nothing at all.
    slot.deliverEvents(128, 44100);
    EXPECT_EQ(probe::record().processEventsCalls, 1);
    EXPECT_EQ(probe::count(effProcessEvents), 1);
}

TEST_F(SlotTest, LiveDelayIsAddedToTheDispatchFrameAndLimitedToTheBlock) {
    ASSERT_TRUE(createSynth());
    slot.sendEvent(kLiveEvents, 0, 0x90, 1, 1);          // dispatched at frame 0
    slot.sendEvent(kLiveEvents, 0, 0x90, 2, 1, 100);     // at frame 100
    slot.sendEvent(kLiveEvents, 5, 0x90, 3, 1, 100);     // 220.5 frames after 100: last frame
    slot.sendEvent(kLiveEvents, -1, 0x90, 4, 1, 100);    // 44.1 frames early, in whole frames
    slot.sendEvent(kLiveEvents, -1000, 0x90, 5, 1, 90);  // before the block: first frame
    slot.sendEvent(kLiveEvents, 0, 0x90, 6, 1, 500);     // a frame past the block: last frame
    slot.deliverEvents(128, 44100);
    const auto& events = probe::record().events;
    ASSERT_EQ(events.size(), 6u);
    const VstInt32 expected[] = {0, 100, 127, 100 - 44, 0, 127};
    for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].deltaFrames, expected[i]) << i;

    probe::record().events.clear();
    slot.sendEvent(kLiveEvents, -1, 0x90, 3, 1, 40);
    slot.deliverEvents(64, 96000);
    ASSERT_EQ(probe::record().events.size(), 1u);
    EXPECT_EQ(probe::record().events[0].deltaFrames, 0);  // 96 frames early at frame 40
}

TEST_F(SlotTest, FullListsDropFurtherEvents) {
    ASSERT_TRUE(createSynth());
    for (int i = 0; i < SlotEventList::kCapacity; ++i)
        ASSERT_TRUE(slot.sendEvent(kImmediateEvents, i % 64, 0x90, i % 128, 1));
    EXPECT_FALSE(slot.sendEvent(kImmediateEvents, 0, 0x80, 1, 0));
    for (int i = 0; i < SlotEventList::kCapacity; ++i) ASSERT_TRUE(slot.sendEvent(kLiveEvents, 0, 0x90, 1, 1));
    EXPECT_FALSE(slot.sendEvent(kLiveEvents, 0, 0x80, 1, 0));
    slot.deliverEvents(64, 44100);
    const auto& events = probe::record().events;
    ASSERT_EQ(events.size(), static_cast<size_t>(2 * SlotEventList::kCapacity));
    for (const auto& e : events) EXPECT_EQ(byte(e, 0), 0x90);
    EXPECT_EQ(events[SlotEventList::kCapacity - 1].deltaFrames, (SlotEventList::kCapacity - 1) % 64);
    EXPECT_EQ(events[SlotEventList::kCapacity].deltaFrames, 0);
    // Room again after delivery.
    EXPECT_TRUE(slot.sendEvent(kImmediateEvents, 0, 0x80, 1, 0));
}

TEST_F(SlotTest, ModuleThatTakesNoMidiGetsNoEventsButListsStillEmpty) {
    probe::record().refuseMidi = true;
    ASSERT_TRUE(createSynth());
    slot.sendEvent(kImmediateEvents, 0, 0x90, 60, 100);
    slot.deliverEvents(64, 44100);
    EXPECT_EQ(probe::record().processEventsCalls, 0);
    probe::record().refuseMidi = false;
}

TEST_F(SlotTest, UnloadDiscardsWaitingEvents) {
    ASSERT_TRUE(createSynth());
    slot.sendEvent(kImmediateEvents, 0, 0x90, 60, 100);
    ASSERT_TRUE(createSynth());
    slot.deliverEvents(64, 44100);
    EXPECT_EQ(probe::record().processEventsCalls, 0);
}
