// Blocks that the mute gate keeps silent: what the modules hear while it is
// shut and when it opens again.
#include <gtest/gtest.h>

#include "tests/host/test_host_fixture.h"

namespace {

struct Engine : TestEngine {
    // Renders one block; answers how many events the module received in it.
    size_t render(int frames) {
        const size_t before = ProbeInstrument::received.size();
        TestEngine::render(frames);
        return ProbeInstrument::received.size() - before;
    }
};

}  // namespace

TEST(MutedBlocks, ShutGateDrainsTheListsAndNoNoteHangsOrBurstsOut) {
    Engine e;
    addProbeTrack(*e.effect);
    ProbeInstrument::outputLevel = 0.5f;
    e.effect->muteKeySwitch = 1.0f;
    e.effect->muteKey = 36.0f;
    // Gate open, a chord sounds.
    e.send({midiEvent(0, 0x90, 36, 100), midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 64, 100)});
    e.render(1024);
    EXPECT_GT(e.peak(), 0.1f);
    EXPECT_EQ(keysLeftOn(), 2);
    // Gate shut: the output fades until the meters fall silent.
    e.send({midiEvent(0, 0x80, 36, 0)});
    int blocks = 0;
    while (e.peak() > 0.0f && blocks < 100) {
        e.render(4096);
        ++blocks;
    }
    ASSERT_LT(blocks, 100);
    // The chord's note-offs and 3000 further events arrive while nothing
    // renders, more than a slot's list holds.
    e.send({midiEvent(0, 0x80, 60, 0), midiEvent(3, 0x80, 64, 0)});
    size_t heardWhileSilent = e.render(512);
    for (int block = 0; block < 6; ++block) {
        std::vector<VstMidiEvent> burst;
        for (int i = 0; i < 250; ++i) {
            burst.push_back(midiEvent(i, 0x90, static_cast<uint8_t>(40 + i % 40), 90));
            burst.push_back(midiEvent(i + 1, 0x80, static_cast<uint8_t>(40 + i % 40), 0));
        }
        e.send(burst);
        heardWhileSilent += e.render(512);
        EXPECT_EQ(e.peak(), 0.0f);
    }
    // While silent the module heard at most the one All Notes Off.
    EXPECT_LE(heardWhileSilent, 1u);
    EXPECT_EQ(keysLeftOn(), 0);
    // The gate opens: only this block's events arrive.
    e.send({midiEvent(0, 0x90, 36, 100), midiEvent(10, 0x90, 72, 100)});
    const size_t heardOnOpening = e.render(512);
    EXPECT_EQ(heardOnOpening, 1u);  // key 72; the mute key itself reaches no track
    EXPECT_EQ(keysLeftOn(), 1);
    e.send({midiEvent(0, 0x80, 72, 0)});
    e.render(512);
    EXPECT_EQ(keysLeftOn(), 0);
}

TEST(MutedBlocks, BlocksWithoutOutputBuffersStillEmptyTheLists) {
    Engine e;
    addProbeTrack(*e.effect);
    e.send({midiEvent(0, 0x90, 60, 100)});
    e.render(256);
    ASSERT_EQ(keysLeftOn(), 1);
    AEffect* a = e.effect->getAeffect();
    for (int block = 0; block < 12; ++block) {
        std::vector<VstMidiEvent> burst;
        for (int i = 0; i < 200; ++i) {
            burst.push_back(midiEvent(i, 0x90, 61, 90));
            burst.push_back(midiEvent(i, 0x80, 61, 0));
        }
        if (block == 0) burst.push_back(midiEvent(300, 0x80, 60, 0));
        e.send(burst);
        a->processReplacing(a, nullptr, nullptr, 512);
    }
    EXPECT_EQ(keysLeftOn(), 0);
    EXPECT_LE(e.render(256), 0u);  // nothing stale left for the next real block
}
