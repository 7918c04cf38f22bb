// The player's parts that need no device: the MIDI queue under several
// producers, the host's answers to the editor's Settings choices and device
// query, the computer keyboard, the command line.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tools/player/keyboard_octave.h"
#include "tools/player/midi_message_queue.h"
#include "tools/player/player_host.h"
#include "tools/player/player_options.h"

namespace {

TEST(MidiMessageQueue, ThreeProducersOneConsumerLoseNothingAndKeepEachProducersOrder) {
    MidiMessageQueue<64> queue;
    constexpr int kPerProducer = 5000;
    std::atomic<bool> go{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p) {
        producers.emplace_back([&, p] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < kPerProducer;) {
                TimedMidiMessage message;
                message.arrivalNanos = i;
                message.bytes[0] = static_cast<uint8_t>(p);
                if (queue.push(message))
                    ++i;
                else
                    std::this_thread::yield();  // full: try again
            }
        });
    }
    go.store(true);
    int64_t next[3] = {0, 0, 0};
    int received = 0;
    bool ordered = true;
    while (received < 3 * kPerProducer) {
        TimedMidiMessage message;
        if (!queue.pop(message)) {
            std::this_thread::yield();
            continue;
        }
        const int p = message.bytes[0];
        ASSERT_LT(p, 3);
        ordered = ordered && message.arrivalNanos == next[p];
        next[p] = message.arrivalNanos + 1;
        ++received;
    }
    for (auto& t : producers) t.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(next[0] + next[1] + next[2], 3 * kPerProducer);
    TimedMidiMessage rest;
    EXPECT_FALSE(queue.pop(rest));
    EXPECT_FALSE(queue.peek(rest));
}

TEST(MidiMessageQueue, HoldsExactlyItsCapacity) {
    MidiMessageQueue<8> queue;
    TimedMidiMessage message;
    for (int i = 0; i < 8; ++i) {
        message.arrivalNanos = i;
        ASSERT_TRUE(queue.push(message));
    }
    EXPECT_FALSE(queue.push(message));
    ASSERT_TRUE(queue.peek(message));
    EXPECT_EQ(message.arrivalNanos, 0);
    ASSERT_TRUE(queue.pop(message));
    EXPECT_TRUE(queue.push(message));
}

VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return HostCallback::callback(nullptr, opcode, index, value, ptr, opt);
}

TEST(PlayerHost, OnlyTheFourPrivateParametersBecomeSettingsRequests) {
    PlayerHost host(44100.0, 1024);
    call(audioMasterAutomate, 3, 0, nullptr, 0.5f);
    call(audioMasterAutomate, 79, 0, nullptr, 0.5f);
    call(audioMasterAutomate, 0x20004, 0, nullptr, 0.0f);
    call(audioMasterAutomate, 0x1FFFF, 0, nullptr, 0.0f);
    EXPECT_EQ(host.takeSettingsRequests(), 0u);
    call(audioMasterAutomate, 0x20001, 0, nullptr, 512.0f);
    call(audioMasterAutomate, 0x20003, 0, nullptr, 0.0f);
    call(audioMasterAutomate, 0x20001, 0, nullptr, 256.0f);  // two choices before the loop looks: one request
    EXPECT_EQ(host.takeSettingsRequests(), static_cast<uint32_t>(kRequestBufferSize | kRequestMidiDevice));
    EXPECT_EQ(host.takeSettingsRequests(), 0u);
    call(audioMasterAutomate, 0x20000, 0, nullptr, 48000.0f);
    call(audioMasterAutomate, 0x20002, 0, nullptr, 0.0f);
    EXPECT_EQ(host.takeSettingsRequests(), static_cast<uint32_t>(kRequestSampleRate | kRequestAudioDevice));
}

std::vector<std::string> texts(const char* bytes) {
    std::vector<std::string> out;
    for (const char* p = bytes; *p != 0; p += std::strlen(p) + 1) out.emplace_back(p);
    return out;
}

TEST(PlayerHost, DeviceQueryFillsWholeNamesWithinTheCapacity) {
    PlayerHost host(44100.0, 1024);
    host.setDeviceLists({"system", "USB Audio Device", "rec"}, {"Keystation:out"}, "Set by the JACK server");
    char buffer[64];
    std::memset(buffer, 'x', sizeof(buffer));
    StandaloneHostText text{buffer, 64};
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryAudioDevices, &text), 3);
    EXPECT_EQ(texts(buffer), (std::vector<std::string>{"system", "USB Audio Device", "rec"}));
    // A buffer too small for the second name: only the first, still ended.
    std::memset(buffer, 'x', sizeof(buffer));
    text.capacity = 12;
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryAudioDevices, &text), 1);
    EXPECT_EQ(texts(buffer), (std::vector<std::string>{"system"}));
    EXPECT_EQ(buffer[12], 'x') << "written past the capacity";
    text.capacity = 64;
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryMidiDevices, &text), 1);
    EXPECT_EQ(texts(buffer), (std::vector<std::string>{"Keystation:out"}));
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryFormatRule, &text), 1);
    EXPECT_EQ(texts(buffer), (std::vector<std::string>{"Set by the JACK server"}));
    // Unknown queries, null and empty buffers are answered with 0.
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, 12345, &text), 0);
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryMidiDevices, nullptr), 0);
    StandaloneHostText empty{buffer, 0};
    EXPECT_EQ(call(audioMasterVendorSpecific, kStandaloneHostQuery, kStandaloneQueryMidiDevices, &empty), 0);
    EXPECT_EQ(call(audioMasterVendorSpecific, 7, kStandaloneQueryMidiDevices, &text), 0);
}

TEST(PlayerHost, AnswersAsTheStandaloneHostWithTheStreamFormat) {
    PlayerHost host(44100.0, 1024);
    EXPECT_EQ(call(audioMasterVersion), kStandaloneHostVersion);
    host.setStreamFormat(48000.0, 256);
    EXPECT_EQ(call(audioMasterGetSampleRate), 48000);
    EXPECT_EQ(call(audioMasterGetBlockSize), 256);
    EXPECT_EQ(call(audioMasterGetTime), 0) << "no time record before the first block";
    char sizeWindow[] = "sizeWindow";
    char events[] = "sendVstEvents";
    EXPECT_EQ(call(audioMasterCanDo, 0, 0, sizeWindow), -1);
    EXPECT_EQ(call(audioMasterCanDo, 0, 0, events), 1);
}

struct Sent {
    uint8_t status, data1, data2;
    bool operator==(const Sent&) const = default;
};

TEST(KeyboardOctave, KeysPlayOneOctaveAndRepeatsHoldTheNote) {
    std::vector<Sent> sent;
    KeyboardOctave keys([&](uint8_t s, uint8_t d1, uint8_t d2) { sent.push_back({s, d1, d2}); });
    EXPECT_EQ(keys.noteFor('a'), 60);
    EXPECT_EQ(keys.noteFor('w'), 61);
    EXPECT_EQ(keys.noteFor('k'), 72);
    EXPECT_EQ(keys.noteFor('q'), -1);
    EXPECT_FALSE(keys.press('q', 0));
    EXPECT_TRUE(keys.press('h', 0));  // A
    // Key repeat every 30 ms keeps the note without a second note-on.
    for (int t = 30; t < 1000; t += 30) {
        keys.press('h', t);
        keys.update(t);
    }
    EXPECT_EQ(sent, (std::vector<Sent>{{0x90, 69, 100}}));
    keys.update(990 + KeyboardOctave::kHoldMs - 1);
    EXPECT_EQ(sent.size(), 1u);
    keys.update(990 + KeyboardOctave::kHoldMs);
    EXPECT_EQ(sent.back(), (Sent{0x80, 69, 0}));
}

TEST(KeyboardOctave, AWindowsHeldKeySoundsUntilItsRelease) {
    std::vector<Sent> sent;
    KeyboardOctave keys([&](uint8_t s, uint8_t d1, uint8_t d2) { sent.push_back({s, d1, d2}); });
    EXPECT_TRUE(keys.hold('e'));
    EXPECT_FALSE(keys.hold('1'));
    keys.hold('e');  // no second note-on
    keys.update(INT64_MAX - 1);  // however long it is held
    EXPECT_EQ(sent, (std::vector<Sent>{{0x90, 63, 100}}));
    keys.release('d');  // not sounding: nothing
    keys.release('e');
    keys.release('e');
    EXPECT_EQ(sent, (std::vector<Sent>{{0x90, 63, 100}, {0x80, 63, 0}}));
}

TEST(KeyboardOctave, MovingTheOctaveEndsSoundingNotesAndStopsAtTheEnds) {
    std::vector<Sent> sent;
    KeyboardOctave keys([&](uint8_t s, uint8_t d1, uint8_t d2) { sent.push_back({s, d1, d2}); });
    keys.press('a', 0);
    keys.press('x', 10);
    EXPECT_EQ(sent, (std::vector<Sent>{{0x90, 60, 100}, {0x80, 60, 0}}));
    EXPECT_EQ(keys.noteFor('a'), 72);
    for (int i = 0; i < 20; ++i) keys.press('x', 20);
    EXPECT_EQ(keys.base(), KeyboardOctave::kHighestBase);
    EXPECT_EQ(keys.noteFor('k'), -1) << "above 127";
    EXPECT_EQ(keys.noteFor('g'), 127);
    for (int i = 0; i < 20; ++i) keys.press('z', 20);
    EXPECT_EQ(keys.base(), 0);
}

TEST(PlayerOptions, ValuesAreCheckedAndDevicesKeepTheirNames) {
    PlayerOptions options;
    std::string error;
    ASSERT_TRUE(parsePlayerOptions({"/x/Talvex.so", "--no-gui", "--audio-device", "USB Audio: 1", "--midi-device", "",
                                    "--buffer-size", "256", "--tempo", "97.5"},
                                   options, error))
        << error;
    EXPECT_EQ(options.pluginPath, "/x/Talvex.so");
    EXPECT_FALSE(options.gui);
    EXPECT_EQ(options.audioDevice, "USB Audio: 1");
    EXPECT_TRUE(options.midiDeviceGiven);
    EXPECT_EQ(options.midiDevice, "");
    EXPECT_EQ(options.bufferFrames, 256);
    EXPECT_DOUBLE_EQ(options.tempoBpm, 97.5);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--buffer-size", "8"}, {"--sample-rate", "48k"},
                                               {"--tempo", "nan"}, {"--tempo"}, {"--what"}, {"a.so", "b.so"},
                                               {"--program", "-1"}}) {
        PlayerOptions o;
        EXPECT_FALSE(parsePlayerOptions(bad, o, error)) << bad.front();
    }
}

}  // namespace
