#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "modulehost/edit_section.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

using Engine = TestEngine;

std::vector<ProbeInstrument::Received> notesReceived() {
    std::vector<ProbeInstrument::Received> notes;
    for (const auto& r : ProbeInstrument::received)
        if ((r.data[0] & 0xF0) == 0x90 || (r.data[0] & 0xF0) == 0x80) notes.push_back(r);
    return notes;
}

}  // namespace

TEST(RenderEngine, BlockWithoutTimeInformationIsSilent) {
    Engine e;
    addProbeTrack(*e.effect);
    ProbeInstrument::outputLevel = 0.5f;
    e.render(256);
    EXPECT_GT(e.peak(), 0.1f);
    e.host.giveTimeInfo = false;
    e.render(256);
    EXPECT_EQ(e.peak(), 0.0f);
}

TEST(RenderEngine, PlayedNotesReachTheModuleAtTheirDeltaFrames) {
    Engine e;
    addProbeTrack(*e.effect);
    e.send({midiEvent(0, 0x90, 60, 100), midiEvent(5, 0x80, 60, 0), midiEvent(511, 0x90, 62, 90),
            midiEvent(513, 0x90, 64, 80)});
    e.render(512);
    auto notes = notesReceived();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].data[1], 60);
    EXPECT_EQ(notes[0].deltaFrames, 0);
    // A note-off reaches the module as a note-on with velocity 0.
    EXPECT_EQ(notes[1].data[0], 0x90);
    EXPECT_EQ(notes[1].data[2], 0);
    EXPECT_EQ(notes[1].deltaFrames, 5);
    EXPECT_EQ(notes[2].data[1], 62);
    EXPECT_EQ(notes[2].deltaFrames, 511);
    ProbeInstrument::received.clear();
    e.render(128);
    notes = notesReceived();
    ASSERT_EQ(notes.size(), 1u);  // delay 513 carried into the next block
    EXPECT_EQ(notes[0].data[1], 64);
    EXPECT_EQ(notes[0].deltaFrames, 1);
}

TEST(RenderEngine, MuteKeyAndPlayControllerNeverReachATrack) {
    Engine e;
    addProbeTrack(*e.effect);
    e.effect->muteKeySwitch = 1.0f;
    e.effect->playController = 20.0f;
    ProbeInstrument::outputLevel = 0.5f;
    e.render(64);
    EXPECT_EQ(e.peak(), 0.0f);  // gate closed and meters silent: nothing renders
    e.send({midiEvent(0, 0x91, 48, 100), midiEvent(0, 0xB3, 20, 0)});
    EXPECT_FLOAT_EQ(e.effect->playSwitch.load(), 0.0f);
    e.render(4096);
    // The module heard only the All Notes Off that began the silence.
    ASSERT_EQ(ProbeInstrument::received.size(), 1u);
    EXPECT_EQ(ProbeInstrument::received[0].data[1], 123);
    ProbeInstrument::received.clear();
    EXPECT_GT(e.peak(), 0.1f);  // the mute key opened the gate
    e.send({midiEvent(0, 0x81, 48, 0), midiEvent(0, 0xB0, 20, 5)});
    EXPECT_FLOAT_EQ(e.effect->playSwitch.load(), 1.0f);
    // Releasing the mute key fades out and then stops rendering.
    for (int i = 0; i < 40; ++i) e.render(4096);
    EXPECT_LT(e.peak(), 0.0001f);
    ASSERT_EQ(ProbeInstrument::received.size(), 1u);
    EXPECT_EQ(ProbeInstrument::received[0].data[1], 123);
}

TEST(RenderEngine, FilterPassesPitchBendCoarseOnlyAndDropsOtherControllers) {
    Engine e;
    CInstrument& t = addProbeTrack(*e.effect);
    t.keyLimit = 127;
    e.send({midiEvent(0, 0xE0, 0x7F, 0x40), midiEvent(0, 0xB0, 7, 100), midiEvent(0, 0x90, 127, 100),
            midiEvent(0, 0xB0, 64, 127), midiEvent(0, 0xB0, 1, 30)});
    e.render(64);
    const auto& r = ProbeInstrument::received;
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].data[0], 0xE0);
    EXPECT_EQ(r[0].data[1], 0x00);
    EXPECT_EQ(r[0].data[2], 0x40);
    EXPECT_EQ(r[1].data[1], 64);
    EXPECT_EQ(r[2].data[1], 1);
}

TEST(RenderEngine, StepBoundariesAt120BpmFallOnTheIntegerPartOfTheExactPosition) {
    Engine e;
    e.host.time.flags |= kVstTransportPlaying;
    std::vector<long> boundaries;
    long start = 0;
    for (int block = 0; block < 40; ++block) {
        e.render(512);
        EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), 5512.5);
        for (int i = 0; i < e.effect->stepMarkCount(); ++i) boundaries.push_back(start + e.effect->stepMark(i));
        start += 512;
    }
    ASSERT_GE(boundaries.size(), 3u);
    for (size_t k = 0; k < boundaries.size(); ++k)
        EXPECT_EQ(boundaries[k], static_cast<long>(std::floor(static_cast<double>(k) * 5512.5)));
}

TEST(RenderEngine, OutputNeverExceedsTheLimit) {
    Engine e;
    addProbeTrack(*e.effect);
    ProbeInstrument::outputLevel = 5.0f;
    for (int i = 0; i < 4; ++i) e.render(1024);
    EXPECT_FLOAT_EQ(e.peak(), 0.99f);
    ProbeInstrument::outputLevel = -5.0f;
    for (int i = 0; i < 4; ++i) e.render(1024);
    EXPECT_FLOAT_EQ(*std::min_element(e.left.begin(), e.left.end()), -0.99f);
}

TEST(RenderEngine, MasterLevelZeroDecaysToTheSilenceGain) {
    Engine e;
    addProbeTrack(*e.effect);
    ProbeInstrument::outputLevel = 0.1f;
    e.render(2048);
    const float before = e.left.back();
    e.effect->masterLevel = 0.0f;
    for (int i = 0; i < 8; ++i) e.render(2048);
    EXPECT_NEAR(e.left.back() / before, 1e-6f, 1e-7f);
}

TEST(RenderEngine, TransportStopSendsAllNotesOff) {
    Engine e;
    addProbeTrack(*e.effect);
    e.host.time.flags |= kVstTransportPlaying;
    e.render(64);
    EXPECT_TRUE(ProbeInstrument::received.empty());
    e.host.time.flags &= ~kVstTransportPlaying;
    e.render(64);
    ASSERT_EQ(ProbeInstrument::received.size(), 1u);
    const auto& r = ProbeInstrument::received[0];
    EXPECT_EQ(r.data[0], 0xB0);
    EXPECT_EQ(r.data[1], 123);
    EXPECT_EQ(r.deltaFrames, 0);
}

TEST(RenderEngine, DemonstrationPlaysItsEventsAndStopsAfterTheLast) {
    Engine e;
    addProbeTrack(*e.effect);
    auto& demo = e.effect->project()->demoEvents;
    demo.push_back(midiEvent(0, 0x90, 60, 100));
    demo.push_back(midiEvent(3000, 0x80, 60, 0));
    AEffect* a = e.effect->getAeffect();
    a->dispatcher(a, effVendorSpecific, kVendorDemoIndex, kVendorDemoValue, nullptr, 1.0f);
    e.render(1024);
    EXPECT_TRUE(e.effect->demonstrationPlaying());
    ASSERT_EQ(notesReceived().size(), 1u);
    e.render(1024);
    e.render(1024);  // clock reaches 3072: the note-off plays, the demonstration ends
    EXPECT_EQ(notesReceived().size(), 2u);
    ProbeInstrument::received.clear();
    e.render(1024);
    EXPECT_FALSE(e.effect->demonstrationPlaying());
    ASSERT_EQ(ProbeInstrument::received.size(), 1u);
    EXPECT_EQ(ProbeInstrument::received[0].data[1], 123);
}

TEST(RenderEngineThreads, EditCounterRaisedWhileBlocksRender) {
    Engine e;
    addProbeTrack(*e.effect);
    ProbeInstrument::outputLevel = 0.25f;
    std::vector<float> l, r;
    // The gain from module to output once the strip and master gains have
    // settled, measured before the writer starts.
    for (int i = 0; i < 200; ++i) renderBlock(*e.effect, 64, l, r);
    const float gain = l.back() / 0.25f;
    ASSERT_GT(gain, 0.1f);
    std::atomic<bool> stop{false};
    std::atomic<int> sections{0};
    std::thread writer([&] {
        while (!stop.load()) {
            {
                EditSection section(*e.effect, 0, 1000);
                // Inside the section no block renders, so this plain write
                // cannot race with the module reading it (ThreadSanitizer
                // checks).
                ProbeInstrument::outputLevel = ProbeInstrument::outputLevel == 0.25f ? 0.3f : 0.25f;
                ++sections;
            }
            std::this_thread::yield();  // give the renderer its turns
        }
    });
    int rendered = 0, silent = 0, wrong = 0;
    // Bounded by time, not by a count of blocks: on a loaded machine (or
    // under ThreadSanitizer) either side may get few turns for a while.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((sections.load() < 200 || rendered < 200) && std::chrono::steady_clock::now() < deadline) {
        renderBlock(*e.effect, 64, l, r);
        // A block is either silent throughout (a writer held the project) or
        // renders one of the two levels throughout: never a mixture, never
        // a level that no writer set.
        const bool blockSilent = l[0] == 0.0f;
        (blockSilent ? silent : rendered) += 1;
        for (size_t i = 0; i < l.size(); ++i) {
            const bool ok = blockSilent ? (l[i] == 0.0f && r[i] == 0.0f)
                                        : (l[i] == r[i] && (std::fabs(l[i] - 0.25f * gain) < 1e-4f ||
                                                            std::fabs(l[i] - 0.3f * gain) < 1e-4f) &&
                                           std::fabs(l[i] - l[0]) < 1e-6f);
            if (!ok) {
                ++wrong;
                break;
            }
        }
    }
    stop = true;
    writer.join();
    EXPECT_GE(sections.load(), 200);
    EXPECT_GE(rendered, 200);
    EXPECT_EQ(wrong, 0);
}
