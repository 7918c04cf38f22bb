// Shared by the project, track and ball tests: a main object driven by a
// test host, project text built in the test, module state images made by
// the synthesizer itself, and small probe modules.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/effect.h"
#include "modules/module_base.h"
#include "project/project.h"
#include "track/instrument.h"

struct LoaderTestHost {
    static LoaderTestHost* current;
    VstTimeInfo time{};
    LoaderTestHost();
    ~LoaderTestHost();
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
};

struct TestEngine {
    TestEngine();
    ~TestEngine();
    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    // Loads project text (no settle pause).
    void load(const std::string& text);
    // One stereo block; the output lands in left and right.
    void render(int frames);
    void send(uint8_t status, uint8_t data1, uint8_t data2);

    Project& project() { return *effect->project(); }
    CInstrument& track(size_t i) { return *project().tracks.at(i); }

    LoaderTestHost host;
    Effect* effect = nullptr;
    std::vector<float> left, right;
};

// "KEY;v1;v2;...;" followed by CRLF.
std::string line(const std::string& key, const std::vector<std::string>& values = {});

// A complete "FBCh" bank image of the first synthesizer flavour, taken from
// the module's own getChunk after prepare has set it up.
std::string synthBankImage(const std::function<void(AudioEffectX&)>& prepare);
// One program chunk (getChunk with isPreset) of the first synthesizer flavour.
std::string synthProgramChunk(const std::function<void(AudioEffectX&)>& prepare);
// "KEY;START;" ... PRESET_SIZE (right-aligned in ten), the bytes, CRLF,
// optional PRESET_INDEX, "PRESET;END;".
std::string presetBlock(const std::string& key, const std::string& image, int presetIndex = -1);

// A synthesizer track section: "VERSION", "PLUGIN" line, the body, "PLUGIN;END;".
std::string synthTrack(const std::string& body);

// Probe instrument: a constant level or a sine on each output, MIDI
// recorded. Registered under the file title "KavoProbeSynth" for tracks made
// with addProbeTrack.
class ProbeSynth : public KavoModule {
public:
    ProbeSynth(audioMasterCallback audioMaster, int outputs, VstInt32 uniqueId);
    VstInt32 processEvents(VstEvents* events) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

    struct Received {
        VstInt32 deltaFrames;
        uint8_t data[3];
    };
    static std::vector<Received> received;
    // Output o carries level[o] when sineHz is 0, else level[o] * sin.
    static float level[6];
    static double sineHz;
    static double phase;
    static int sampleRate;
};

// A track with a probe instrument (outputs 1, 2 or 6; drum-machine ID when
// drumId) appended to the project, keyboard on, level and planet level at
// the given values.
CInstrument& addProbeTrack(TestEngine& engine, int outputs = 2, bool drumId = false);
// A send-effect slot with a probe effect that passes its input through.
void addProbeSend(TestEngine& engine, int send);
