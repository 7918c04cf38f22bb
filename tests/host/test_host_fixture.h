// A small host for driving the main object in tests: answers the version
// query, hands out a time-information record the test controls, records
// automation, and builds event lists.
#pragma once

#include <memory>
#include <vector>

#include "host/effect.h"
#include "modules/module_base.h"

struct TestHost {
    static TestHost* current;

    VstInt32 version = 2400;
    bool giveTimeInfo = true;
    VstTimeInfo time{};
    std::vector<std::pair<int, float>> automation;

    TestHost();
    ~TestHost();
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
};

// An instrument module for tests: it reports the frame offsets of the MIDI
// events it receives and renders a constant level on both outputs.
class ProbeInstrument : public KavoModule {
public:
    static const ModuleInfo kInfo;
    explicit ProbeInstrument(audioMasterCallback audioMaster);
    VstInt32 processEvents(VstEvents* events) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

    struct Received {
        VstInt32 deltaFrames;
        uint8_t data[3];
    };
    static std::vector<Received> received;
    static float outputLevel;
};

class CInstrument;
// Adds a track holding a probe instrument to the effect's project.
CInstrument& addProbeTrack(Effect& effect);

std::vector<char> makeEvents(const std::vector<VstMidiEvent>& events, std::vector<VstMidiEvent>& storage);
VstMidiEvent midiEvent(VstInt32 delta, uint8_t status, uint8_t d1, uint8_t d2);

// Construction loads the current program's built-in project; tests of the
// engine itself start from an empty project and the render defaults.
void startEmpty(Effect& effect);

// Renders one block of stereo output.
void renderBlock(Effect& effect, int frames, std::vector<float>& left, std::vector<float>& right);
