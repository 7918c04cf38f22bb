// One plug-in instance with a built-in project loaded, as a host drives it:
// notes on MIDI channels, the demonstration, blocks of 512 frames at
// 44.1 kHz and 130 beats per minute.
#pragma once

#include <string>

#include "tests/host/test_host_fixture.h"
#include "tools/audio_measure/stereo_signal.h"

class CInstrument;

namespace soundcheck {

using Stereo = measure::StereoSignal;
constexpr double kRate = 44100.0;

class ProjectSession {
public:
    explicit ProjectSession(const std::string& projectName);
    ~ProjectSession();
    ProjectSession(const ProjectSession&) = delete;
    ProjectSession& operator=(const ProjectSession&) = delete;

    bool loaded() const { return loaded_; }
    // Queues a MIDI message for the start of the next block.
    void midi(int status, int data1, int data2);
    void noteOn(int key, int velocity = 100, int channel = 1) { midi(0x90 | (channel - 1), key, velocity); }
    void noteOff(int key, int channel = 1) { midi(0x80 | (channel - 1), key, 0); }
    Stereo render(double seconds);
    // The whole demonstration, from its start, for the given time.
    Stereo demonstration(double seconds);
    CInstrument* track(const std::string& title);
    Effect& effect() { return *main_; }

private:
    TestHost host_;
    AEffect* effect_ = nullptr;
    Effect* main_ = nullptr;
    bool loaded_ = false;
    std::vector<VstMidiEvent> pending_;
};

}  // namespace soundcheck
