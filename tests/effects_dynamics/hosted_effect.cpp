#include "tests/effects_dynamics/hosted_effect.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "modulehost/module_registry.h"

HostedEffect::HostedEffect(const char* fileTitle, float sampleRate, audioMasterCallback callback) {
    const ModuleClassEntry* entry = findModuleClass(fileTitle);
    if (entry == nullptr) return;
    AudioEffectX* module = entry->create(callback);
    effect_ = module->getAeffect();
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, 512);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, 0);
    dispatch(effEndSetProgram);
}

HostedEffect::~HostedEffect() {
    if (effect_ == nullptr) return;
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
}

VstIntPtr HostedEffect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void HostedEffect::setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }

float HostedEffect::getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

std::string HostedEffect::stringQuery(VstInt32 opcode, VstInt32 index) {
    char text[256];
    std::memset(text, 0, sizeof(text));
    dispatch(opcode, index, 0, text);
    return text;
}

std::string HostedEffect::parameterName(VstInt32 index) { return stringQuery(effGetParamName, index); }

std::string HostedEffect::parameterDisplay(VstInt32 index) { return stringQuery(effGetParamDisplay, index); }

std::vector<char> HostedEffect::getChunk(bool isPreset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    std::vector<char> bytes;
    if (data != nullptr && size > 0) {
        const auto* p = static_cast<const char*>(data);
        bytes.assign(p, p + size);
    }
    delete[] static_cast<char*>(data);  // the caller owns the chunk
    return bytes;
}

VstIntPtr HostedEffect::setChunk(std::vector<char> bytes, bool isPreset) {
    // An exactly sized heap copy, so that AddressSanitizer sees any read
    // beyond the declared size.
    std::unique_ptr<char[]> copy(new char[bytes.size() + 1]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), copy.get());
}

StereoBuffer HostedEffect::process(const StereoBuffer& input, size_t blockFrames, const BlockHook& beforeBlock) {
    StereoBuffer output(input.size());
    std::vector<float> inL(blockFrames), inR(blockFrames), outL(blockFrames), outR(blockFrames);
    for (size_t start = 0; start < input.size(); start += blockFrames) {
        const size_t n = std::min(blockFrames, input.size() - start);
        if (beforeBlock) beforeBlock(start, n);
        std::copy_n(input.left.begin() + static_cast<long>(start), n, inL.begin());
        std::copy_n(input.right.begin() + static_cast<long>(start), n, inR.begin());
        float* ins[2] = {inL.data(), inR.data()};
        float* outs[2] = {outL.data(), outR.data()};
        effect_->processReplacing(effect_, ins, outs, static_cast<VstInt32>(n));
        std::copy_n(outL.begin(), n, output.left.begin() + static_cast<long>(start));
        std::copy_n(outR.begin(), n, output.right.begin() + static_cast<long>(start));
    }
    return output;
}

void HostedEffect::processInPlace(float* left, float* right, VstInt32 frames) {
    float* buffers[2] = {left, right};
    effect_->processReplacing(effect_, buffers, buffers, frames);
}

VstInt32 HostedEffect::sendMidi(unsigned char status, unsigned char data1, unsigned char data2,
                                VstInt32 deltaFrames) {
    VstMidiEvent event;
    std::memset(&event, 0, sizeof(event));
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&event), nullptr}};
    return static_cast<VstInt32>(dispatch(effProcessEvents, 0, 0, &list));
}
