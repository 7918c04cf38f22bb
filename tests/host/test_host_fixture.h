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
struct ModuleClassEntry;
// Adds a track whose main slot holds the module class `entry` (or, without
// one, the module the path names), its keyboard on.
CInstrument& addModuleTrack(Effect& effect, const char* path, const ModuleClassEntry* entry);
// Adds a track holding a probe instrument to the effect's project.
CInstrument& addProbeTrack(Effect& effect);
// Keys the probe instruments were left holding, replaying everything they
// received in order.
int keysLeftOn();

std::vector<char> makeEvents(const std::vector<VstMidiEvent>& events, std::vector<VstMidiEvent>& storage);
VstMidiEvent midiEvent(VstInt32 delta, uint8_t status, uint8_t d1, uint8_t d2);

// Construction loads the current program's built-in project; tests of the
// engine itself start from an empty project and the render defaults.
void startEmpty(Effect& effect);

// Renders one block of stereo output.
void renderBlock(Effect& effect, int frames, std::vector<float>& left, std::vector<float>& right);

// An instance on the test host, started from an empty project (or from the
// program construction loads), closed as a host closes it.
struct TestEngine {
    TestHost host;
    Effect* effect;
    explicit TestEngine(bool empty = true);
    ~TestEngine();
    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    AEffect* aeffect() const { return effect->getAeffect(); }
    // Hands the events to the instance as one processEvents call.
    void send(const std::vector<VstMidiEvent>& events);
    // Renders one stereo block into left and right.
    void render(int frames) { renderBlock(*effect, frames, left, right); }
    // The largest magnitude of the last block.
    float peak() const;
    // Whether every sample of the last block is finite and within ±0.99.
    bool outputFinite() const;
    // Starts the demonstration as the vendor call does.
    void startDemonstration();

    std::vector<float> left, right;
};
