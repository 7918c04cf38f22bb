// The audio side of the player: each callback of the audio system drains
// the MIDI that arrived, places every message at its frame in the block,
// hands them to the plug-in and renders it. Nothing here allocates, locks
// or waits once constructed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "tools/player/audio_output.h"
#include "tools/player/midi_input.h"
#include "tools/player/midi_message_queue.h"
#include "tools/player/player_transport.h"
#include "vst/aeffectx.h"

class PlayerHost;

class PlayerEngine final : public AudioRenderer, public MidiReceiver {
public:
    static constexpr int kMaxBlockFrames = 4096;
    static constexpr int kMaxEventsPerBlock = 512;

    // The effect stays the caller's; outputs beyond the first two are
    // rendered and dropped.
    PlayerEngine(AEffect* effect, PlayerHost& host, PlayerTransport& transport);

    // AudioRenderer: user-interface thread, while no stream runs. Tells the
    // plug-in and the host the new format and resumes the plug-in.
    void prepareAudio(int sampleRate, int maxFrames) override;
    // Suspends the plug-in once the stream has closed.
    void suspend();
    // AudioRenderer: audio thread.
    void renderAudio(float* interleaved, int frames, int channels) override;
    // MidiReceiver: MIDI thread (and the computer keyboard's thread).
    void receiveMidi(const uint8_t* bytes, size_t size) override;
    // The same with the arrival time given (steady clock); false when the
    // message was refused (not a short message, or the queue is full).
    bool receiveMidiAt(const uint8_t* bytes, size_t size, int64_t arrivalNanos);

    // Any thread: All Notes Off and All Sound Off on every channel, queued
    // like played MIDI.
    void queueAllNotesOff();

    // Renders one block of at most kMaxBlockFrames whose callback came at
    // callbackNanos on the steady clock; the stereo pair lands in left and
    // right. Exposed for tests that place messages at known times.
    void renderBlock(float* left, float* right, int frames, int64_t callbackNanos);

    int64_t droppedMessages() const { return dropped_.load(std::memory_order_relaxed); }
    int64_t renderedFrames() const { return renderedFrames_.load(std::memory_order_relaxed); }
    // Largest absolute sample of the last blocks, for the player's level report.
    float recentPeak() { return peak_.exchange(0.0f, std::memory_order_relaxed); }

private:
    AEffect* effect_;
    PlayerHost& host_;
    PlayerTransport& transport_;
    double sampleRate_ = 44100.0;
    MidiMessageQueue<1024> queue_;
    std::array<VstMidiEvent, kMaxEventsPerBlock> midi_{};
    // VstEvents with room for kMaxEventsPerBlock pointers.
    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMaxEventsPerBlock];
    } list_{};
    std::vector<std::vector<float>> outputs_;
    std::vector<float*> outputPointers_;
    std::vector<float> silence_;
    std::vector<float*> inputPointers_;
    bool resumed_ = false;
    std::atomic<int64_t> dropped_{0};
    std::atomic<int64_t> renderedFrames_{0};
    std::atomic<float> peak_{0.0f};
};

int64_t steadyNanos();
