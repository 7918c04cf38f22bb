// Drives an effect module the way the module host does: created from the
// module table by file title, then only through its AEffect record
// (dispatcher, parameter and process entry points).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vst/audioeffectx.h"

struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;
    explicit StereoBuffer(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t size() const { return left.size(); }
};

class HostedEffect {
public:
    // Opens the module, sets rate and block size, resumes it and selects
    // program 0, as the module host does after creating a module.
    HostedEffect(const char* fileTitle, float sampleRate, audioMasterCallback callback = nullptr);
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    AEffect* effect() const { return effect_; }
    // The object behind the record, for the class's own calls that no
    // opcode reaches unfiltered (the dispatcher refuses program numbers
    // beyond the reported count).
    AudioEffectX* module() const { return static_cast<AudioEffectX*>(effect_->object); }
    bool valid() const { return effect_ != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    std::string parameterName(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    std::string stringQuery(VstInt32 opcode, VstInt32 index = 0);
    void setProgram(VstInt32 program) { dispatch(effSetProgram, 0, program); }
    VstInt32 program() { return static_cast<VstInt32>(dispatch(effGetProgram)); }

    std::vector<char> getChunk(bool isPreset);
    VstIntPtr setChunk(std::vector<char> bytes, bool isPreset);

    // Processes the whole input in blocks of blockFrames and returns the
    // output; beforeBlock(start, frames) runs before each block.
    using BlockHook = std::function<void(size_t start, size_t frames)>;
    StereoBuffer process(const StereoBuffer& input, size_t blockFrames = 512, const BlockHook& beforeBlock = {});
    // One block, in place (inputs and outputs share buffers).
    void processInPlace(float* left, float* right, VstInt32 frames);
    VstInt32 sendMidi(unsigned char status, unsigned char data1, unsigned char data2, VstInt32 deltaFrames);

private:
    AEffect* effect_ = nullptr;
};
