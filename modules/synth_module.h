// EffectSynth: the two-oscillator subtractive synthesizer module, in two
// flavours built by one class:
//  - flavour I  ("KavoSynthI"):  one part of 68 parameters (the 67 of a part
//    plus MONO Mode), 128 programs, polyphonic or monophonic over 16 voices;
//  - flavour II ("KavoSynthII"): 16 parts of 67 parameters, 16 programs,
//    one voice per part, each part triggered by its own MIDI note (kits).
//
// Threading: the module host calls everything on one thread at a time;
// processEvents and processReplacing run on the audio thread and never
// allocate. setSampleRate, setProgram and setChunk are expected between
// blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "modules/dsp_tables.h"
#include "modules/instrument_module.h"
#include "modules/synth_params.h"
#include "modules/synth_part.h"
#include "modules/synth_voice.h"
#include "modules/synth_voice_lanes.h"

// One stored program: 67 x 16 values grouped by parameter then part
// (value of parameter p for part k at p * 16 + k), the MONO float and the
// 24-byte name. 4316 bytes.
struct SynthProgram {
    float values[synth::kValueSlots];
    float mono;
    char name[kVstMaxProgNameLen];
};
static_assert(sizeof(SynthProgram) == 4316, "synth program record layout");

class EffectSynth : public KavoInstrument<SynthProgram> {
public:
    enum Flavour { kFlavourI = 0, kFlavourII = 1 };
    static constexpr int kVoices = 16;

    EffectSynth(audioMasterCallback audioMaster, Flavour flavour);
    ~EffectSynth() override;

    void setSampleRate(float rate) override;
    // Switched (back) on: every voice silent and at rest.
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    Flavour flavour() const { return flavour_; }
    int parts() const { return parts_; }
    int paramsPerPart() const { return paramsPerPart_; }
    // Bank chunk sizes: the current form, and the older single-part form.
    VstInt32 bankChunkSize() const;
    VstInt32 legacyBankChunkSize() const;

    // Inspection for tests and tools (read on the calling thread).
    const synth::Voice& voice(int index) const { return voices_[index]; }
    float triggerNote(int part) const { return triggerNotes_[part]; }
    bool monoMode() const { return mono_; }
    // Reference rendering: every voice through the one-voice loop and every
    // control update in full, without the lanes (four or eight voices at a time)
    // and the control shortcuts. Off by default; the fast path must sound bit
    // for bit the same (compared by tests).
    void setReferenceRendering(bool on) { reference_ = on; }
    // Voice runs rendered in lanes so far, and the lane groups that
    // rendered them (for tests).
    uint64_t laneVoiceRuns() const { return laneVoiceRuns_; }
    uint64_t laneGroupRuns() const { return laneGroupRuns_; }
    // Voices per lane group: synth::widestLanes() unless a test narrows it
    // to synth::kLanes (the SSE2 path). Wider than the processor runs is
    // refused. Call between blocks.
    void setLaneWidth(int lanes) {
        if (lanes == synth::kLanes || lanes == synth::widestLanes()) laneWidth_ = lanes;
        laneGroups_.voices = LaneGroups::kNone;
    }
    int laneWidth() const { return laneWidth_; }

private:
    // Index of parameter p of part k in the grouped value arrays.
    static int slot(int param, int part) { return param * synth::kMaxParts + part; }

    void storeParameter(VstInt32 index, float value);
    void recomputePart(int part);
    // values: the part's live values in parameter order.
    void recomputePart(int part, const float* values);
    void recomputeAllParts();
    void gatherPartValues(const float* grouped, int part, float* out) const;
    void resetVoices();
    // Every voice as a new module has it: silent, at its initial note.
    void initialiseVoices();
    void setMono(bool mono);

    // MIDI.
    void handleMidi(const ModuleMidiEvent& event);
    void noteEvent(int note, int velocity);
    void polyNote(int note, int velocity);
    void monoNote(int note, int velocity);
    void partNote(int note, int velocity);
    void releaseNote(synth::Voice& voice);
    void allNotesOff();
    void pitchBend(float bend);
    void startNote(synth::Voice& voice, int note, int velocity, bool retrigger);

    // Audio.
    void renderRun(float* left, float* right, int frames);
    // True when no voice sounds (none of the live voices).
    bool noVoiceSounds() const;
    // A voice fallen silent stops running; one sounding again gets its
    // control values before its first frame of the run. Returns whether the
    // voice sounds in this run.
    bool startRun(synth::Voice& v);
    void renderRunByVoice(float* left, float* right, int frames);
    // The lane groups of the voices in `laneVoices` (a bit per voice).
    void groupLanes(uint32_t laneVoices);
    void controlTick();

    // Chunks.
    void writeBank(char* out) const;
    void readBank(const char* in);
    void readLegacyBank(const char* in);
    void repairProgram(SynthProgram& program);
    static float sanitise(int param, float value);

    Flavour flavour_;
    int parts_;
    int paramsPerPart_;

    float live_[synth::kValueSlots];
    float monoValue_ = 0.0f;
    bool mono_ = false;
    float triggerNotes_[synth::kMaxParts];

    synth::PartCoefficients coefficients_[synth::kMaxParts];
    synth::LaneShape laneShapes_[synth::kMaxParts];  // of coefficients_, set with them
    synth::Voice voices_[kVoices];
    synth::ModulationInputs modulation_;
    float bend_ = 0.0f;
    bool pedal_ = false;
    int heldNotes_[128];
    int heldCount_ = 0;
    uint64_t noteOrder_ = 0;
    std::atomic<bool> recomputing_{false};
    dsp::Random15 random_;
    bool reference_ = false;
    uint64_t laneVoiceRuns_ = 0;
    uint64_t laneGroupRuns_ = 0;
    int laneWidth_ = synth::kLanes;
    // Voices that may sound: every running voice and every voice a note has
    // started since the last run (a bit per voice). The others would neither
    // render nor take a control update, and the loops skip them.
    uint32_t liveVoices_ = 0;
    static constexpr uint32_t kEveryVoice = (1u << kVoices) - 1;
    // The lane groups of the last run: up to laneWidth_ voices of one shape
    // each, in the order they render. They hold while the same voices go
    // into lanes and no part's shape changes; `voices` is kNone after a part
    // is recomputed or the width changes.
    struct LaneGroups {
        static constexpr uint32_t kNone = ~0u;
        // What renderVoiceLanes() takes for one group; lanes past `count`
        // repeat the first voice.
        struct Group {
            int count;
            int lanes;
            int part;  // of the first voice, whose shape the group has
            synth::Voice* voices[synth::kMaxLanes];
            const synth::PartCoefficients* parts[synth::kMaxLanes];
            float* left[synth::kMaxLanes];
            float* right[synth::kMaxLanes];
            const float* noise[synth::kMaxLanes];
        };
        uint32_t voices = kNone;
        int count = 0;
        Group groups[kVoices];
    };
    LaneGroups laneGroups_;
    // Each sounding voice's output over the current run, summed into the
    // module's outputs in voice order.
    float runLeft_[kVoices][kControlFrames];
    float runRight_[kVoices][kControlFrames];
    // The noise values of each voice in lanes over the current run.
    float runNoise_[kVoices][kControlFrames];
};

AudioEffectX* createSynthI(audioMasterCallback audioMaster);
AudioEffectX* createSynthII(audioMasterCallback audioMaster);
