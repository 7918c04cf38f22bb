// Test-only modules and surroundings for the module host: a probe module
// that logs every dispatcher call it receives, a slot owner with its own
// counters and time record, a track that records pattern edits, and
// builders for bank images.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "modulehost/cplugin.h"
#include "modulehost/module_registry.h"
#include "modulehost/slot_owner.h"
#include "modules/effect_module.h"

namespace probe {

struct Call {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    std::string text;  // effCanDo argument
    int editCounter;   // owner's counter when the call arrived
};

// Shared by all probes so that the log survives a module's deletion.
struct Record {
    std::vector<Call> calls;
    std::vector<VstMidiEvent> events;  // every MIDI event received
    int processEventsCalls = 0;
    int liveModules = 0;
    const std::atomic<int>* editCounter = nullptr;
    // Behaviour switches for the next probe constructed.
    bool refuseMidi = false;
    bool noChunkFlag = false;
    bool badMagic = false;
    void reset() { *this = Record{}; }
};
Record& record();

int count(VstInt32 opcode);
std::vector<VstInt32> opcodes();

constexpr int kPrograms = 4;
constexpr int kParams = 3;

// A module on the common effect base: kPrograms programs ("Probe 0" ...) of
// kParams values, parameter names "Param <n>", the common chunk forms.
// Instruments write 0.5 to every output; effects write twice their input.
class ProbeModule : public KavoEffectModule {
public:
    ProbeModule(audioMasterCallback audioMaster, const ModuleInfo& info);
    ~ProbeModule() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 processEvents(VstEvents* events) override;
    VstInt32 canDo(char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

protected:
    void parameterChanged(VstInt32) override {}
};

// Instrument, no inputs and a single output.
extern const ModuleInfo kSynthInfo;
// Effect, two in, two out.
extern const ModuleInfo kEffectInfo;
// Instrument with six outputs, used as the drum machine.
extern const ModuleInfo kDrumInfo;

// Registry-style entries creating probes.
extern const ModuleClassEntry kSynthClass;
extern const ModuleClassEntry kEffectClass;
extern const ModuleClassEntry kDrumClass;
// Creates a probe with whatever info is set here (short-name tests).
extern ModuleInfo nextInfo;
extern const ModuleClassEntry kConfiguredClass;

AudioEffect* moduleObject(CPlugin& slot);

class Owner : public SlotOwner {
public:
    Owner() { timeInfo.tempo = 133.0; }
    int moduleSampleRate() const override { return sampleRate; }
    int moduleBlockSize() const override { return blockSize; }
    std::string pluginDirectory() const override { return directory; }
    std::atomic<int>& editCounter() override { return counter; }
    std::atomic<bool>& renderInProgress() override { return rendering; }
    VstTimeInfo* moduleTimeInfo() override { return &timeInfo; }

    int sampleRate = 48000;
    int blockSize = 256;
    std::string directory = "/opt/talvex";
    std::atomic<int> counter{0};
    std::atomic<bool> rendering{false};
    VstTimeInfo timeInfo{};
};

class Track : public SlotTrack {
public:
    struct Edit {
        int step;
        int key;
        bool setVelocity;
        float command;
    };
    void drumPatternEdit(int step, int key, bool setVelocity, float command) override {
        edits.push_back({step, key, setVelocity, command});
    }
    std::vector<Edit> edits;
};

// Big-endian image writers.
void putBigEndian(std::vector<uint8_t>& out, uint32_t value);
std::vector<uint8_t> opaqueBankImage(VstInt32 pluginId, const std::vector<uint8_t>& chunk, const char* magic = "CcnK",
                                     VstInt32 formatVersion = 1);
struct ProgramImage {
    std::string name;
    std::vector<float> values;
};
std::vector<uint8_t> programBankImage(VstInt32 pluginId, const std::vector<ProgramImage>& programs,
                                      VstInt32 declaredPrograms = -1);

// The bank chunk of a probe with every value and name given.
std::vector<uint8_t> probeBankChunk(float base, const char* namePrefix);

}  // namespace probe
