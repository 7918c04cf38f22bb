// Zeroed page arrays: they read as zero, move without copying, and on Linux
// only the pages written to become resident (what keeps a slot's buffers,
// sized for the longest host block, from costing memory at short blocks).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "modulehost/slot_events.h"
#include "platform/zeroed_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

TEST(ZeroedPages, ReadAsZeroAndMoveWithTheirOwnership) {
    platform::ZeroedArray<float> a(100000);
    ASSERT_NE(a.data(), nullptr);
    ASSERT_EQ(a.size(), 100000u);
    for (size_t i = 0; i < a.size(); i += 997) ASSERT_EQ(a[i], 0.0f) << i;
    a[5] = 1.5f;
    const float* where = a.data();
    platform::ZeroedArray<float> b(std::move(a));
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(b.data(), where);
    EXPECT_EQ(b[5], 1.5f);
    platform::ZeroedArray<float> c(10);
    c = std::move(b);
    EXPECT_EQ(c.data(), where);
    EXPECT_EQ(c.size(), 100000u);
    c.reset();
    EXPECT_EQ(c.data(), nullptr);
    EXPECT_EQ(platform::ZeroedArray<float>(0).data(), nullptr);
}

#if defined(__linux__)
namespace {

size_t residentPages(const void* p, size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> state((bytes + page - 1) / page);
    if (mincore(const_cast<void*>(p), bytes, state.data()) != 0) return SIZE_MAX;
    size_t n = 0;
    for (unsigned char s : state) n += s & 1u;
    return n;
}

}  // namespace

TEST(ZeroedPages, OnlyWrittenPagesBecomeResident) {
    constexpr size_t kFloats = 4 * 16384;  // a slot's four buffers
    platform::ZeroedArray<float> buffers(kFloats);
    ASSERT_NE(buffers.data(), nullptr);
    EXPECT_EQ(residentPages(buffers.data(), kFloats * sizeof(float)), 0u);
    // A 512-frame block in each buffer.
    for (size_t b = 0; b < 4; ++b)
        for (size_t i = 0; i < 512; ++i) buffers[b * 16384 + i] = 0.25f;
    EXPECT_LE(residentPages(buffers.data(), kFloats * sizeof(float)), 4u);
}

// Touching makes exactly the pages under the range resident, also when the
// range starts and ends inside a page, and keeps what they hold.
TEST(ZeroedPages, TouchMakesTheRangeResidentAndKeepsItsContents) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t floatsPerPage = page / sizeof(float);
    platform::ZeroedArray<float> a(16 * floatsPerPage);
    ASSERT_NE(a.data(), nullptr);
    a[floatsPerPage + 7] = 0.5f;  // page 1
    // From the middle of page 1 to the first bytes of page 4.
    const size_t from = floatsPerPage + floatsPerPage / 2;
    const size_t to = 4 * floatsPerPage + 1;
    platform::touchPages(&a[from], (to - from) * sizeof(float));
    EXPECT_EQ(residentPages(a.data(), 16 * page), 4u);  // pages 1, 2, 3 and 4
    EXPECT_EQ(residentPages(&a[5 * floatsPerPage], 11 * page), 0u);
    EXPECT_EQ(a[floatsPerPage + 7], 0.5f);
    for (size_t i = 0; i < 16 * floatsPerPage; ++i) {
        if (i != floatsPerPage + 7) {
            ASSERT_EQ(a[i], 0.0f) << i;
        }
    }
}
#endif

// The delivery record still carries every event of a full block.
TEST(ZeroedPages, DeliveryOfTheMostEventsABlockCarries) {
    SlotEventList immediate, live;
    for (int i = 0; i < SlotEventList::kCapacity; ++i) {
        SlotEvent e;
        e.offset = i % 512;
        e.status = 0x90;
        e.data1 = static_cast<uint8_t>(i % 128);
        e.data2 = 100;
        ASSERT_TRUE(immediate.push(e));
        e.offset = 0;
        e.frame = 100;
        ASSERT_TRUE(live.push(e));
    }
    SlotEventDelivery delivery;
    VstEvents* events = delivery.build(immediate, live, 512, 44100);
    ASSERT_NE(events, nullptr);
    ASSERT_EQ(events->numEvents, SlotEventDelivery::kMaxEvents);
    // The pointer array runs on past its declared two entries.
    VstEvent* lastEvent = nullptr;
    std::memcpy(&lastEvent,
                reinterpret_cast<const unsigned char*>(events->events) +
                    sizeof(VstEvent*) * (SlotEventDelivery::kMaxEvents - 1),
                sizeof lastEvent);
    const auto* last = reinterpret_cast<const VstMidiEvent*>(lastEvent);
    EXPECT_EQ(last->type, kVstMidiType);
    EXPECT_EQ(last->deltaFrames, 100);
    EXPECT_EQ(static_cast<unsigned char>(last->midiData[0]), 0x90);
    const auto* first = reinterpret_cast<const VstMidiEvent*>(events->events[0]);
    EXPECT_EQ(first->deltaFrames, 0);
}
