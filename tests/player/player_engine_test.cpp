// The player's audio side against the render probe, an instrument of our
// own that writes every event it receives at its frame and every field of
// the host's time record into its outputs: where played MIDI lands in the
// block, what the host answers, and the transport it reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/render/fixture/render_probe_plugin.h"
#include "tests/support/allocation_counter.h"
#include "tools/player/block_timing.h"
#include "tools/player/player_engine.h"
#include "tools/player/player_host.h"
#include "tools/vst_host/plugin_library.h"
#include "tools/vst_host/plugin_session.h"

namespace {

constexpr float kNoteOnCode = static_cast<float>(probe::kNoteOn);
constexpr float kNoteOffCode = static_cast<float>(probe::kNoteOff);
constexpr float kControlCode = static_cast<float>(probe::kControl);

class ProbeEngine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(library.open(RENDER_PROBE_PATH, error)) << error;
        host = std::make_unique<PlayerHost>(44100.0, 512);
        AEffect* effect = library.entry()(HostCallback::callback);
        ASSERT_NE(effect, nullptr);
        session = std::make_unique<PluginSession>(effect);
        session->dispatch(effOpen);
        engine = std::make_unique<PlayerEngine>(effect, *host, transport);
        engine->prepareAudio(kRate, kFrames);
        outputs.assign(probe::kOutputs, std::vector<float>(kFrames, 0.0f));
    }
    void TearDown() override {
        if (engine) engine->suspend();
        engine.reset();
        session.reset();
    }

    // One block as the audio callback renders it: the probe's events and
    // their data.
    void render(int64_t callbackNanos) {
        engine->renderBlock(outputs[0].data(), outputs[1].data(), kFrames, callbackNanos);
    }

    // Frames of output 0 that hold an event code.
    std::vector<int> eventFrames() const {
        std::vector<int> frames;
        for (int i = 0; i < kFrames; ++i)
            if (outputs[0][static_cast<size_t>(i)] != 0.0f) frames.push_back(i);
        return frames;
    }

    static constexpr int kRate = 48000;
    static constexpr int kFrames = 480;  // 10 ms
    PluginLibrary library;
    std::unique_ptr<PlayerHost> host;
    std::unique_ptr<PluginSession> session;
    PlayerTransport transport;
    std::unique_ptr<PlayerEngine> engine;
    std::vector<std::vector<float>> outputs;
};

constexpr int64_t kMs = 1000000;

TEST(BlockTiming, MessagesKeepTheirDistancesOnePeriodLate) {
    // A 480-frame block at 48 kHz stands for the 10 ms before its callback.
    const int64_t callback = 1000 * kMs;
    EXPECT_EQ(frameInBlock(callback - 10 * kMs, callback, 480, 48000.0), 0);
    EXPECT_EQ(frameInBlock(callback - 5 * kMs, callback, 480, 48000.0), 240);
    EXPECT_EQ(frameInBlock(callback - 5 * kMs + 417000, callback, 480, 48000.0), 260);  // 20.016 frames later
    EXPECT_EQ(frameInBlock(callback - 1 * kMs, callback, 480, 48000.0), 432);
    // Older than the period: the first frame; later than the callback (a
    // message stamped between the clock read and the drain): the last.
    EXPECT_EQ(frameInBlock(callback - 50 * kMs, callback, 480, 48000.0), 0);
    EXPECT_EQ(frameInBlock(callback + 3 * kMs, callback, 480, 48000.0), 479);
    EXPECT_EQ(frameInBlock(callback, callback, 0, 48000.0), 0);
}

TEST_F(ProbeEngine, PlayedMessagesLandAtTheirFramesInOrder) {
    const int64_t callback = 5000 * kMs;
    const uint8_t on[3] = {0x90, 69, 100}, off[3] = {0x80, 69, 0}, control[3] = {0xB3, 1, 64};
    // Arrival order differs from frame order for the controller, which
    // arrived last but earliest in the period (a second device's thread).
    ASSERT_TRUE(engine->receiveMidiAt(on, 3, callback - 8 * kMs));       // frame 96
    ASSERT_TRUE(engine->receiveMidiAt(off, 3, callback - 2 * kMs));      // frame 384
    ASSERT_TRUE(engine->receiveMidiAt(control, 3, callback - 9 * kMs));  // frame 48
    render(callback);
    EXPECT_EQ(eventFrames(), (std::vector<int>{48, 96, 384}));
    EXPECT_FLOAT_EQ(outputs[0][96], kNoteOnCode);
    EXPECT_FLOAT_EQ(outputs[0][384], kNoteOffCode);
    EXPECT_FLOAT_EQ(outputs[0][48], kControlCode + 3.0f / 16.0f);
    EXPECT_FLOAT_EQ(outputs[1][96], 69.0f / 128.0f + 100.0f / 16384.0f);
    // Drained: the next block holds nothing.
    render(callback + 10 * kMs);
    EXPECT_TRUE(eventFrames().empty());
}

TEST_F(ProbeEngine, SystemExclusiveAndStrayDataBytesAreRefused) {
    const uint8_t sysex[3] = {0xF0, 0x7E, 0xF7}, stray[2] = {0x45, 0x20};
    EXPECT_FALSE(engine->receiveMidiAt(sysex, 3, 0));
    EXPECT_FALSE(engine->receiveMidiAt(stray, 2, 0));
    EXPECT_FALSE(engine->receiveMidiAt(stray, 0, 0));
    const uint8_t clock[1] = {0xF8};
    EXPECT_TRUE(engine->receiveMidiAt(clock, 1, 0));
}

TEST_F(ProbeEngine, AFullQueueRefusesAndCountsInsteadOfBlocking) {
    const uint8_t on[3] = {0x90, 60, 1};
    int accepted = 0;
    for (int i = 0; i < 5000; ++i) accepted += engine->receiveMidiAt(on, 3, 0) ? 1 : 0;
    EXPECT_EQ(accepted, 1024);
    EXPECT_EQ(engine->droppedMessages(), 5000 - 1024);
    // A block takes at most kMaxEventsPerBlock of them; the rest wait, in order.
    render(1000 * kMs);
    EXPECT_EQ(eventFrames().size(), 1u);  // all on frame 0, codes added up
    EXPECT_FLOAT_EQ(outputs[0][0], static_cast<float>(PlayerEngine::kMaxEventsPerBlock) * kNoteOnCode);
    render(1010 * kMs);
    EXPECT_FLOAT_EQ(outputs[0][0], static_cast<float>(1024 - PlayerEngine::kMaxEventsPerBlock) * kNoteOnCode);
    render(1020 * kMs);
    EXPECT_TRUE(eventFrames().empty());
    EXPECT_TRUE(engine->receiveMidiAt(on, 3, 0)) << "the drained queue takes messages again";
}

TEST_F(ProbeEngine, AllNotesOffReachesEveryChannel) {
    engine->queueAllNotesOff();
    render(1000 * kMs);
    // 16 channels × (controller 123, controller 120), all on the same frame
    // since they arrived long before it: codes add to 32 × 2 plus the
    // channels twice: 2 × (0 + 1 + ... + 15) / 16.
    float expected = 32.0f * kControlCode + 2.0f * 120.0f / 16.0f;
    EXPECT_EQ(eventFrames().size(), 1u);
    EXPECT_FLOAT_EQ(outputs[0][eventFrames().front()], expected);
}

TEST_F(ProbeEngine, TheHostIsTheStandaloneHostWithItsOwnTransport) {
    transport.setTempo(90.0);
    std::vector<float> interleaved(static_cast<size_t>(kFrames) * 2);
    // renderAudio drops the probe's outputs 2 and 3; the time and state
    // fields are read from the host's view instead.
    engine->renderAudio(interleaved.data(), kFrames, 2);
    engine->renderAudio(interleaved.data(), kFrames, 2);
    EXPECT_EQ(HostCallback::callback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), kStandaloneHostVersion);
    EXPECT_EQ(HostCallback::callback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), kRate);
    EXPECT_EQ(HostCallback::callback(nullptr, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), kFrames);
    auto* time = reinterpret_cast<const VstTimeInfo*>(
        HostCallback::callback(nullptr, audioMasterGetTime, 0, 0, nullptr, 0.0f));
    ASSERT_NE(time, nullptr);
    // The record of the second block: one block on, at 90 BPM.
    EXPECT_DOUBLE_EQ(time->samplePos, kFrames);
    EXPECT_DOUBLE_EQ(time->ppqPos, kFrames / 48000.0 * 90.0 / 60.0);
    EXPECT_DOUBLE_EQ(time->tempo, 90.0);
    EXPECT_DOUBLE_EQ(time->sampleRate, kRate);
    EXPECT_NE(time->flags & kVstTransportPlaying, 0);
    EXPECT_EQ(time->flags & kVstTransportChanged, 0);
    transport.setPlaying(false);
    engine->renderAudio(interleaved.data(), kFrames, 2);
    EXPECT_EQ(time->flags & kVstTransportPlaying, 0);
    EXPECT_NE(time->flags & kVstTransportChanged, 0);
    EXPECT_DOUBLE_EQ(time->samplePos, 2.0 * kFrames);
    engine->renderAudio(interleaved.data(), kFrames, 2);
    EXPECT_DOUBLE_EQ(time->samplePos, 2.0 * kFrames) << "a stopped transport stands still";
}

TEST_F(ProbeEngine, TheAudioCallbackAllocatesNothing) {
    std::vector<float> interleaved(static_cast<size_t>(kFrames) * 2);
    const uint8_t on[3] = {0x90, 60, 100}, off[3] = {0x80, 60, 0};
    engine->renderAudio(interleaved.data(), kFrames, 2);  // the first block may warm the plug-in up
    const long before = test_alloc::allocationsOnThisThread();
    for (int block = 0; block < 200; ++block) {
        for (int i = 0; i < 40; ++i) engine->receiveMidi(i % 2 == 0 ? on : off, 3);
        engine->renderAudio(interleaved.data(), kFrames, 2);
        if (block % 50 == 0) engine->queueAllNotesOff();
    }
    EXPECT_EQ(test_alloc::allocationsOnThisThread() - before, 0);
}

TEST_F(ProbeEngine, ACallbackLongerThanTheLargestBlockIsRenderedInPieces) {
    const int frames = PlayerEngine::kMaxBlockFrames * 2 + 100;
    std::vector<float> interleaved(static_cast<size_t>(frames) * 3, 1.0f);
    engine->renderAudio(interleaved.data(), frames, 3);
    EXPECT_EQ(engine->renderedFrames(), frames);
    // The third channel of a three-channel device gets silence, not garbage.
    for (int i = 0; i < frames; ++i) ASSERT_EQ(interleaved[static_cast<size_t>(i) * 3 + 2], 0.0f) << i;
}

}  // namespace
