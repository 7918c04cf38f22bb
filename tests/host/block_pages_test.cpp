// The pages a block writes in the slots' buffers are made resident when a
// project loads and when the host announces its block size, not in the
// first block on the audio thread; pages past the announced size stay out
// of memory. Counted with mincore on the slots' own buffers.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tests/host/project_instance.h"
#include "track/instrument.h"

namespace {

size_t pageBytes() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// Resident pages among the first pages of a buffer (the buffers start on a
// page).
size_t residentPages(const float* buffer, size_t pages) {
    std::vector<unsigned char> state(pages);
    if (mincore(const_cast<float*>(buffer), pages * pageBytes(), state.data()) != 0) return SIZE_MAX;
    size_t n = 0;
    for (unsigned char s : state) n += s & 1u;
    return n;
}

struct SlotBuffers {
    std::string role;
    float* buffer;
    bool written;  // the render writes it
};

// Every buffer of the loaded slots, with whether blocks write it: a track's
// instrument writes its outputs, a send its inputs and outputs, a master
// insert its outputs; a track's insert works in the track's buffers.
std::vector<SlotBuffers> slotBuffers(Project& p) {
    std::vector<SlotBuffers> all;
    const auto add = [&all](CPlugin& slot, const char* role, bool inputs, bool outputs) {
        if (!slot.loaded()) return;
        for (int c = 0; c < slot.inputBufferCount(); ++c)
            all.push_back({std::string(role) + " in", slot.inputs()[c], inputs});
        for (int c = 0; c < slot.outputBufferCount(); ++c)
            all.push_back({std::string(role) + " out", slot.outputs()[c], outputs});
    };
    for (auto& t : p.tracks) {
        add(t->mainSlot(), "instrument", false, true);
        add(t->insertSlot(0), "insert", false, false);
        add(t->insertSlot(1), "insert", false, false);
    }
    for (CPlugin& s : p.masterInserts) add(s, "master insert", true, true);
    for (CPlugin& s : p.sendSlots) add(s, "send", true, true);
    return all;
}

// Each written buffer has exactly the pages of `frames` frames resident,
// every other buffer none of its first 8 pages.
void expectResidentFor(Project& p, int frames, const char* when) {
    const size_t page = pageBytes();
    const size_t want = (static_cast<size_t>(frames) * sizeof(float) + page - 1) / page;
    int sends = 0, instruments = 0;
    for (const SlotBuffers& b : slotBuffers(p)) {
        sends += b.role == "send out";
        instruments += b.role == "instrument out";
        EXPECT_EQ(residentPages(b.buffer, want + 4), b.written ? want : 0) << when << ": " << b.role;
    }
    EXPECT_GT(sends, 0);
    EXPECT_GT(instruments, 0);
}

}  // namespace

class BlockPages : public testing::TestWithParam<const char*> {};

TEST_P(BlockPages, AreResidentBeforeTheFirstBlockAndOnlyThose) {
    const int project = builtInProjectIndex(GetParam());
    ASSERT_GE(project, 0);
    TestHost host;
    // 3000 frames end inside a page; a block of them writes 3 pages per
    // buffer of 4096 bytes.
    ProjectInstance instance(host, project, 3000);
    Project& p = *instance.main().project();
    expectResidentFor(p, 3000, "after the load");

    // Blocks of the announced size take no page the load did not make
    // resident; the demonstration runs so that every slot renders.
    instance.main().requestDemonstration(1);
    instance.play(40, {});
    expectResidentFor(p, 3000, "after 40 blocks");

    // A longer block announced: its pages come at once, still no more.
    instance.main().getAeffect()->dispatcher(instance.main().getAeffect(), effSetBlockSize, 0, 5000, nullptr, 0.0f);
    expectResidentFor(p, 5000, "after a longer block size");
}

INSTANTIATE_TEST_SUITE_P(Projects, BlockPages, testing::Values("HALOLAYERS", "FOUNDRYSTOMP"));
#endif
