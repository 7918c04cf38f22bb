// EffectDrums: the drum-sample module. Eight pads, each answering one MIDI
// note with one sample, into six outputs (dry pair, two send pairs). Bass
// mode ("KavoBass") plays pad 1's sample chromatically on one voice.
//
// Besides its 120 parameters it takes the track's pattern mirroring as
// packed setParameter indices, runs a random-pattern generator per pad
// (indices 512 .. 519) that reports the new pattern to the host as
// automation requests, and receives the send effects' short names through
// effVendorSpecific (drums_params.h).
//
// Threading: the module host calls one thing at a time. processEvents and
// processReplacing run on the audio thread and never allocate; setProgram
// may too (MIDI program change), and only resolves sample names against
// samples already decoded. setChunk, getChunk and setSampleRate are called
// between blocks from a non-audio thread.
#pragma once

#include <cstdint>
#include <vector>

#include "modules/dsp_tables.h"
#include "modules/drums_params.h"
#include "modules/drums_sample_slots.h"
#include "modules/drums_voice.h"
#include "modules/instrument_module.h"

class SampleLibrary;

// One stored program: 16 pad file names, the values of parameters 1 .. 14
// grouped by parameter then pad (value of parameter p, pad k at
// (p - 1) * 16 + k), the 24-byte name. 5016 bytes.
struct DrumProgram {
    char fileNames[drums::kPadRecords][drums::kNameBytes];
    float values[drums::kStoredValues * drums::kPadRecords];
    char name[drums::kProgramNameBytes];
};
static_assert(sizeof(DrumProgram) == 5016, "drum program record layout");

class EffectDrums : public KavoInstrument<DrumProgram> {
public:
    // Chunk sizes: pads of 256-byte names and 14 values (or 13, older).
    static constexpr int kPadChunkBytes = drums::kNameBytes + 4 * drums::kStoredValues;           // 312
    static constexpr int kOlderPadChunkBytes = drums::kNameBytes + 4 * drums::kOlderStoredValues;  // 308
    static constexpr int kPresetChunkBytes = drums::kPads * kPadChunkBytes;                        // 2496
    static constexpr int kOlderPresetChunkBytes = drums::kPads * kOlderPadChunkBytes;              // 2464
    static constexpr int kBankChunkBytes =
        drums::kNumPrograms * (drums::kPads * kPadChunkBytes + drums::kProgramNameBytes) + 4 * drums::kPads;  // 20192
    static constexpr int kOlderBankChunkBytes =
        drums::kNumPrograms * (drums::kPads * kOlderPadChunkBytes + drums::kProgramNameBytes) + 4 * drums::kPads;
    static constexpr int kBaseFolderChunkBytes = 256;
    static constexpr int kGridSteps = 64;
    static constexpr int kMaxPatternSteps = 128;  // steps a pattern message can address

    // `library` null: the process-wide sample library. Non-audio thread
    // (the shared library is built on first use).
    EffectDrums(audioMasterCallback audioMaster, bool bassMode, const SampleLibrary* library = nullptr);
    ~EffectDrums() override;

    void setSampleRate(float rate) override;
    // Switched (back) on: every voice silent and at rest.
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    bool bassMode() const { return bassMode_; }
    // The module host sets the mode after construction for "KavoBass".
    void setBassMode(bool bass);

    // The pad's file-name buffer, loaded by setParameter(pad * 15 + Wave).
    // Editor thread.
    void setPadFileName(int pad, const char* name);
    const char* padFileName(int pad) const { return padNames_[pad]; }

    // Inspection for tests and tools (read on the calling thread).
    const drums::Voice& voice(int index) const { return voices_[index]; }
    const drums::PadSettings& pad(int index) const { return pads_[index]; }
    int patternLength() const { return patternLength_; }
    float gridStep(int pad, int step) const { return grid_[pad][step]; }
    const char* baseFolder() const { return baseFolder_; }
    const char* sendShortName(int send) const { return sendShortNames_[send & 1]; }
    const drums::SampleSlots& sampleSlots() const { return slots_; }

private:
    static int slot(int param, int pad) { return (param - 1) * drums::kPadRecords + pad; }

    // Parameters and programs.
    void storeValue(int pad, int param, float value);
    void recomputePad(int pad);
    void updatePadWindow(int pad);
    void loadPadSample(int pad);
    void hostMessage(VstInt32 index, float value);
    void patternRandom(int pad, float density);

    // MIDI and audio.
    void handleMidi(const ModuleMidiEvent& event);
    void drumNoteOn(int note, int velocity);
    void bassNoteOn(int note, int velocity);
    void noteOff(int note);
    void controlTick();
    void queueTick();
    void queueRun(int count);
    void flushSpan();
    int zeroWaitFrames() const;

    // Chunks.
    void readPadName(const char* field, int pad, char* out) const;
    void exportPadName(const char* name, char* out);
    void setBaseFolder(const char* field);

    bool bassMode_;
    const SampleLibrary& library_;
    drums::SampleSlots slots_;

    float live_[drums::kParamsPerPad][drums::kPadRecords] = {};
    char padNames_[drums::kPadRecords][drums::kNameBytes] = {};
    int padNotes_[drums::kPadRecords];
    drums::PadSettings pads_[drums::kPadRecords];
    drums::Voice voices_[drums::kVoices];
    uint64_t startCounter_ = 0;

    char baseFolder_[kBaseFolderChunkBytes] = {};
    int patternLength_ = 1;
    float grid_[drums::kPadRecords][kGridSteps] = {};
    char sendShortNames_[2][drums::kSendShortNameBytes] = {};
    dsp::Random15 random_;

    // The span of frames queued for rendering (processReplacing).
    static constexpr int kMaxSpanFrames = 256;
    static constexpr int kMaxSpanTicks = 32;
    float* spanOutputs_[drums::kOutputs] = {};
    int spanStart_ = 0;
    int spanFrames_ = 0;
    int ticks_[kMaxSpanTicks] = {};
    int tickCount_ = 0;
    bool inputsSettled_ = false;  // every sounding voice's control inputs as last computed
    float spanScratch_[drums::kOutputs][kMaxSpanFrames] = {};
};

AudioEffectX* createDrums(audioMasterCallback audioMaster);
AudioEffectX* createBass(audioMasterCallback audioMaster);
