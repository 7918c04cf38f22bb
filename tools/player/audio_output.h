// The player's audio output, behind a thin interface of our own so that the
// system library (RtAudio on Linux, the Windows multimedia wave-out API on
// Windows) stays in one file. Devices are named, never numbered: numbers
// change between library versions and when devices come and go.
//
// Threads: every call from the user-interface thread; the renderer is
// called on the system's audio thread between open and close.
#pragma once

#include <memory>
#include <string>
#include <vector>

class AudioRenderer {
public:
    virtual ~AudioRenderer() = default;
    // User-interface thread, after the stream opened and before its first
    // render call: the format the stream runs at.
    virtual void prepareAudio(int sampleRate, int maxFrames) = 0;
    // Fills frames × channels interleaved samples. Audio thread: no
    // allocation, no lock, no wait.
    virtual void renderAudio(float* interleaved, int frames, int channels) = 0;
};

struct AudioStreamRequest {
    std::string device;  // empty or unknown: the system's default output
    int sampleRate = 44100;
    int bufferFrames = 1024;
};

struct AudioStreamInfo {
    std::string device;
    int sampleRate = 0;
    int bufferFrames = 0;
    int channels = 0;
    // The sound server fixes rate and period (JACK): the request's numbers
    // are not used.
    bool serverFixesFormat = false;
};

class AudioOutput {
public:
    // The first system interface that offers an output device: JACK, then
    // PulseAudio, then ALSA on Linux; wave-out on Windows. preferred names
    // one of them ("jack", "pulse", "alsa", "winmm") to use it alone. Null
    // with a message when none offers a device.
    static std::unique_ptr<AudioOutput> create(const std::string& preferred, std::string& error);
    virtual ~AudioOutput() = default;

    // "jack", "pulse", "alsa", "winmm".
    virtual std::string systemName() const = 0;
    virtual std::vector<std::string> deviceNames() = 0;
    virtual bool open(const AudioStreamRequest& request, AudioRenderer* renderer, AudioStreamInfo& info,
                      std::string& error) = 0;
    // Stops the stream; no render call runs once it returns. Harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
};

// What the player uses when the system offers no output: no devices, and a
// stream that never opens, each refusal giving the reason create gave.
class NoAudioOutput final : public AudioOutput {
public:
    explicit NoAudioOutput(std::string reason) : reason_(std::move(reason)) {}
    std::string systemName() const override { return "none"; }
    std::vector<std::string> deviceNames() override { return {}; }
    bool open(const AudioStreamRequest&, AudioRenderer*, AudioStreamInfo&, std::string& error) override {
        error = reason_;
        return false;
    }
    void close() override {}
    bool isOpen() const override { return false; }

private:
    std::string reason_;
};
