// What hosts do at the edges: odd and changing block sizes, every sample
// rate from 8000 to 192000 Hz, events outside their block, many events in
// one block, transport jumping back, and audio before the plug-in was
// switched on. Output stays finite within ±0.99, every block returns, and no
// note loses its note-off.
#include <gtest/gtest.h>

#include <cmath>

#include "project/project.h"
#include "project/project_loader.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

struct Engine : TestEngine {
    explicit Engine(bool empty = true) : TestEngine(empty) {}
    // Renders a block and answers whether every sample was finite and
    // within the output limit.
    bool render(int frames) {
        TestEngine::render(frames);
        return outputFinite();
    }
};

}  // namespace

TEST(HostEdgeInputs, OddAndChangingBlockSizesPlayTheDemonstration) {
    Engine e;
    ASSERT_TRUE(loadBuiltInProject(*e.effect, "HOUSEGROOVE"));
    e.startDemonstration();
    const int sizes[] = {1, 7, 4096, 64, 1, 1, 333, 4096, 7, 16384, 20000, 2};
    float loudest = 0.0f;
    for (int round = 0; round < 6; ++round)
        for (int size : sizes) {
            ASSERT_TRUE(e.render(size)) << size;
            loudest = std::max(loudest, e.peak());
        }
    EXPECT_GT(loudest, 0.01f);  // it really played
}

TEST(HostEdgeInputs, EverySampleRateFrom8000To192000) {
    for (double rate : {8000.0, 11025.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
        Engine e;
        e.host.time.sampleRate = rate;
        ASSERT_TRUE(loadBuiltInProject(*e.effect, "HOUSEGROOVE"));
        e.startDemonstration();
        float loudest = 0.0f;
        const int blocks = static_cast<int>(rate * 1.5 / 512);
        for (int b = 0; b < blocks; ++b) {
            ASSERT_TRUE(e.render(512)) << rate;
            loudest = std::max(loudest, e.peak());
        }
        EXPECT_GT(loudest, 0.01f) << rate;
        EXPECT_EQ(e.effect->moduleSampleRate(), static_cast<int>(rate));
    }
}

TEST(HostEdgeInputs, EventsBeforeAndBeyondTheBlockKeepTheirNoteOffs) {
    Engine e;
    addProbeTrack(*e.effect);
    e.send({midiEvent(-100, 0x90, 60, 100), midiEvent(-1, 0x90, 61, 100), midiEvent(63, 0x90, 62, 100),
            midiEvent(64, 0x90, 63, 100), midiEvent(1000, 0x90, 64, 100), midiEvent(0x7fffffff, 0x90, 65, 100),
            midiEvent(-0x7fffffff, 0x80, 60, 0)});
    ASSERT_TRUE(e.render(64));
    ASSERT_EQ(ProbeInstrument::received.size(), 4u);
    EXPECT_EQ(ProbeInstrument::received[0].deltaFrames, 0);  // negative: the block's first frame
    EXPECT_EQ(ProbeInstrument::received[2].deltaFrames, 0);
    EXPECT_EQ(ProbeInstrument::received[3].deltaFrames, 63);
    ASSERT_TRUE(e.render(64));  // deltaFrames 64 is frame 0 of the next block
    ASSERT_EQ(ProbeInstrument::received.size(), 5u);
    EXPECT_EQ(ProbeInstrument::received[4].data[1], 63);
    EXPECT_EQ(ProbeInstrument::received[4].deltaFrames, 0);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(e.render(64));
    EXPECT_EQ(ProbeInstrument::received.size(), 6u);  // 1000 arrived; the far one still waits
    e.send({midiEvent(5, 0x80, 61, 0), midiEvent(-7, 0x80, 62, 0), midiEvent(70, 0x80, 63, 0),
            midiEvent(10, 0x80, 64, 0), midiEvent(0, 0xB0, 123, 0)});
    ASSERT_TRUE(e.render(64));
    ASSERT_TRUE(e.render(64));
    EXPECT_EQ(keysLeftOn(), 0);
}

TEST(HostEdgeInputs, FiveHundredTwelveEventsInOneBlockAllArriveInOrder) {
    Engine e;
    addProbeTrack(*e.effect).keyLimit = 128;
    std::vector<VstMidiEvent> events;
    for (int i = 0; i < 256; ++i) {
        events.push_back(midiEvent(i * 2, 0x90, static_cast<uint8_t>(i % 128), 100));
        events.push_back(midiEvent(i * 2 + 1, 0x80, static_cast<uint8_t>(i % 128), 0));
    }
    e.send(events);
    ASSERT_TRUE(e.render(512));
    ASSERT_EQ(ProbeInstrument::received.size(), 512u);
    for (size_t i = 0; i < 512; ++i) {
        EXPECT_EQ(ProbeInstrument::received[i].deltaFrames, static_cast<VstInt32>(i)) << i;
        EXPECT_EQ(ProbeInstrument::received[i].data[2] != 0, i % 2 == 0) << i;
    }
    EXPECT_EQ(keysLeftOn(), 0);
}

TEST(HostEdgeInputs, TransportJumpingBackwardsRestartsTheSteps) {
    Engine e(false);
    ASSERT_TRUE(loadBuiltInProject(*e.effect, "HOUSEGROOVE"));
    e.host.time.flags |= kVstTransportPlaying;
    for (double jump : {1.0e6, 0.0, 5.0e5, 12.0, 3.0e7, 0.0}) {
        e.host.time.samplePos = jump;
        for (int b = 0; b < 20; ++b) {
            ASSERT_TRUE(e.render(512)) << jump;
            EXPECT_LE(e.effect->stepMarkCount(), 1);
        }
        // The step counter follows the host's position, wherever it went:
        // after a block it names the first boundary past the block's end.
        EXPECT_NEAR(e.effect->currentStep(), e.host.time.samplePos / e.effect->samplesPerStep(), 1.0) << jump;
    }
}

TEST(HostEdgeInputs, AudioBeforeTheHostSwitchesThePluginOn) {
    Engine e(false);
    AEffect* a = e.aeffect();
    std::vector<float> l(256, 7.0f), r(256, 7.0f);
    float* outs[2] = {l.data(), r.data()};
    a->processReplacing(a, nullptr, outs, 256);  // no effMainsChanged, no rate, no block size yet
    for (int i = 0; i < 256; ++i) {
        ASSERT_TRUE(std::isfinite(l[static_cast<size_t>(i)]));
        ASSERT_LE(std::fabs(l[static_cast<size_t>(i)]), 0.99f);
    }
    a->dispatcher(a, effMainsChanged, 0, 1, nullptr, 0.0f);
    a->processReplacing(a, nullptr, outs, 256);
    EXPECT_TRUE(std::isfinite(r[255]));
}

TEST(HostEdgeInputs, MuteKeyAndPlayControllerThatAreNoMidiNumbersMatchNothing) {
    for (float bad : {std::nanf(""), -1.0f, 128.0f, 1e30f, -1e30f}) {
        Engine e;
        addProbeTrack(*e.effect);
        ProbeInstrument::outputLevel = 0.5f;
        // The play controller: controller messages pass to the track.
        e.effect->playController = bad;
        e.send({midiEvent(0, 0x90, 60, 100), midiEvent(0, 0xB0, 64, 0), midiEvent(1, 0x80, 60, 0)});
        ASSERT_TRUE(e.render(64));
        EXPECT_EQ(ProbeInstrument::received.size(), 3u) << bad;
        EXPECT_FLOAT_EQ(e.effect->playSwitch.load(), 1.0f) << bad;
        // The mute key: no note opens the gate, so nothing sounds.
        e.effect->muteKeySwitch = 1.0f;
        e.effect->muteKey = bad;
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(e.render(4096));
        e.send({midiEvent(0, 0x90, 0, 100), midiEvent(0, 0x90, 127, 100), midiEvent(0, 0x90, 60, 100)});
        ASSERT_TRUE(e.render(256));
        EXPECT_EQ(e.peak(), 0.0f) << bad;
    }
}

TEST(HostEdgeInputs, TranspositionsThatAreNoNumbersNeitherCrashNorShiftKeys) {
    const struct {
        float live;
        int expectedKey;  // -1: no note reaches the module
    } cases[] = {{std::nanf(""), 60}, {1e30f, -1}, {-1e30f, -1}, {12.0f, 72}, {-300.0f, -1}};
    for (const auto& c : cases) {
        Engine e;
        CInstrument& t = addProbeTrack(*e.effect);
        t.keyTransposition = 0.0f;  // follows the live transposition
        e.effect->liveTransposition = c.live;
        e.send({midiEvent(0, 0x90, 60, 100)});
        ASSERT_TRUE(e.render(64));
        if (c.expectedKey < 0) {
            EXPECT_TRUE(ProbeInstrument::received.empty()) << c.live;
        } else {
            ASSERT_EQ(ProbeInstrument::received.size(), 1u) << c.live;
            EXPECT_EQ(ProbeInstrument::received[0].data[1], c.expectedKey) << c.live;
        }
    }
}
