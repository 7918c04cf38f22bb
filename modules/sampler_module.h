// EffectSampler ("KavoSampler"): sixteen parts, each playing one sample
// from the plug-in's sample store with its own window, loop, pitch,
// envelope, low-pass filter, level and pan. The parts split the keyboard
// (each answers the notes up to its split note) or sound together as
// layers. Sixteen voices; 512 parameters; 8 programs.
//
// Threading: the module host calls everything on one thread at a time;
// processEvents and processReplacing run on the audio thread and never
// allocate. setProgram may run there too (a MIDI program change): choosing a
// sample is a lookup in the immutable shared library and a reference change,
// with no decoding, allocation or lock. setChunk, getChunk and
// setSampleRate are expected between blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "modules/instrument_module.h"
#include "modules/sample_store.h"
#include "modules/sampler_params.h"
#include "modules/sampler_part.h"
#include "modules/sampler_voice.h"
#include "modules/sampler_voice_lanes.h"

class EffectSampler : public KavoInstrument<sampler::Program> {
public:
    static constexpr int kVoices = 16;
    // Chunk sizes of the current form.
    static constexpr VstInt32 kPresetChunkBytes = 6084;
    static constexpr VstInt32 kBankChunkBytes = 48928;
    // A chunk of this size sets the base folder instead.
    static constexpr VstInt32 kBaseFolderChunkBytes = 256;

    // library: where samples are looked up; null means the plug-in's own
    // store (SampleLibrary::shared()). The library must outlive the module.
    explicit EffectSampler(audioMasterCallback audioMaster, const SampleLibrary* library = nullptr);
    ~EffectSampler() override;

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

    // The file-name buffer of a part, which setParameter(part * 32) then
    // loads (what an editor's sample chooser does).
    void setPartFileName(int part, const char* name);
    const char* partFileName(int part) const { return fileNames_[part]; }

    // Inspection for tests and tools (read on the calling thread).
    const sampler::Voice& voice(int index) const { return voices_[index]; }
    const sampler::PartSettings& part(int index) const { return parts_[index]; }
    int partsInUse() const { return partsInUse_; }
    const char* baseFolder() const { return baseFolder_; }
    bool linked() const { return link_ != 0.0f; }
    // Every voice on the one-voice loop (tests compare the lanes with it).
    void setReferenceRendering(bool on) { reference_ = on; }
    // The lanes' kernel (tests compare them); one the processor lacks is
    // not taken.
    void setLaneKernel(sampler::LaneKernel kernel) {
        if (sampler::laneKernelAvailable(kernel)) laneKernel_ = kernel;
    }
    sampler::LaneKernel laneKernel() const { return laneKernel_; }
    // Voice runs the lanes rendered since construction.
    uint64_t laneVoiceRuns() const { return laneVoiceRuns_; }

    // Older chunk forms: values per part and whether the link flag leads.
    struct ChunkForm {
        int valuesPerPart;
        bool hasLink;
    };
    static VstInt32 presetBytes(const ChunkForm& form);
    static VstInt32 bankBytes(const ChunkForm& form);

private:
    float& live(int param, int part) { return live_[param * sampler::kParts + part]; }
    float live(int param, int part) const { return live_[param * sampler::kParts + part]; }

    void storeValue(int param, int part, float value);
    void applyParameter(int param, int part, float value);
    void recomputePart(int part);
    void recomputeAllParts();
    void recomputeIncrements();
    void gatherPartValues(int part, float* out) const;
    void loadSample(int part);
    void countPartsInUse();
    int splitNoteFor(int part) const;

    // MIDI.
    void handleMidi(const ModuleMidiEvent& event);
    void noteOn(int note, int velocity);
    void noteOff(int note);
    sampler::Voice* chooseVoice(int note, int part, bool matchPart, bool matchNote);
    int splitPartFor(int note) const;
    void startVoice(sampler::Voice& voice, int part, int note, int velocity);
    void releaseVoice(sampler::Voice& voice);
    void releaseAll();
    void stopAll();
    void silenceAllPositions();

    // Audio.
    // A voice about to render: false when it has nothing to play; a voice
    // starting gets its first control values at once.
    bool startRun(sampler::Voice& voice);
    void renderRun(float* left, float* right, int frames);
    void renderRunByVoice(float* left, float* right, int frames);
    void controlTick();
    void checkTransport();

    // Chunks.
    static bool formForPreset(VstInt32 size, ChunkForm& form);
    static bool formForBank(VstInt32 size, ChunkForm& form);
    void setBaseFolder(const char* bytes, size_t size);
    void readPreset(const char* in, const ChunkForm& form);
    void readBank(const char* in, const ChunkForm& form);
    void completeBankName(char* name) const;
    void writeBankName(char* out, const char* name) const;

    const SampleLibrary& library_;
    float live_[sampler::kPartParams * sampler::kParts];
    char fileNames_[sampler::kParts][sampler::kFileNameBytes];
    char baseFolder_[sampler::kFileNameBytes];
    float link_ = 0.0f;
    int partsInUse_ = 0;

    sampler::PartSettings parts_[sampler::kParts];
    sampler::Voice voices_[kVoices];
    float bend_ = 0.0f;
    bool pedal_ = false;
    uint64_t noteOrder_ = 0;
    bool reference_ = false;
    sampler::LaneKernel laneKernel_ = sampler::fastestLaneKernel();
    uint64_t laneVoiceRuns_ = 0;
    // Each voice's output over the current run, before the sum.
    float runLeft_[kVoices][kControlFrames];
    float runRight_[kVoices][kControlFrames];
};

AudioEffectX* createSampler(audioMasterCallback audioMaster);
