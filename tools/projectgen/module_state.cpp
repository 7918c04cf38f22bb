#include "tools/projectgen/module_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modulehost/module_registry.h"
#include "vst/audioeffectx.h"

namespace projectgen {

namespace {

// The tool is the modules' host: it answers the version and nothing else.
VstIntPtr VSTCALLBACK toolHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void putBig(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

ModuleState::ModuleState(const std::string& fileTitle) : title_(fileTitle) {
    const ModuleClassEntry* entry = findModuleClass(fileTitle.c_str());
    if (entry == nullptr) return;
    AudioEffectX* module = entry->create(toolHost);
    effect_ = module->getAeffect();
    effect_->dispatcher(effect_, effOpen, 0, 0, nullptr, 0.0f);
    effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect_->dispatcher(effect_, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect_->dispatcher(effect_, effSetProgram, 0, 0, nullptr, 0.0f);
}

ModuleState::~ModuleState() {
    if (effect_ != nullptr) effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
}

int ModuleState::parameterCount() const { return effect_ == nullptr ? 0 : effect_->numParams; }

int ModuleState::parameterIndex(const std::string& parameterName) const {
    for (int i = 0; i < parameterCount(); ++i)
        if (this->parameterName(i) == parameterName) return i;
    return -1;
}

ModuleState& ModuleState::set(const std::string& parameterName, float value) {
    const int index = parameterIndex(parameterName);
    if (index < 0) {
        std::fprintf(stderr, "projectgen: %s has no parameter \"%s\"\n", title_.c_str(), parameterName.c_str());
        std::exit(1);
    }
    return setIndex(index, value);
}

ModuleState& ModuleState::setIndex(int index, float value) {
    effect_->setParameter(effect_, index, value);
    return *this;
}

float ModuleState::value(int index) const { return effect_->getParameter(effect_, index); }

ModuleState& ModuleState::name(const std::string& programName) {
    char text[kVstMaxProgNameLen + 1] = {};
    std::strncpy(text, programName.c_str(), kVstMaxProgNameLen);
    effect_->dispatcher(effect_, effSetProgramName, 0, 0, text, 0.0f);
    return *this;
}

std::string ModuleState::parameterName(int index) const {
    char text[256] = {};
    effect_->dispatcher(effect_, effGetParamName, index, 0, text, 0.0f);
    return text;
}

std::string ModuleState::display(int index) const {
    char text[256] = {};
    effect_->dispatcher(effect_, effGetParamDisplay, index, 0, text, 0.0f);
    return text;
}

void ModuleState::productName(char* text) const {
    text[0] = 0;
    effect_->dispatcher(effect_, effGetProductString, 0, 0, text, 0.0f);
}

std::vector<uint8_t> ModuleState::bankImage() const {
    void* chunk = nullptr;
    const VstIntPtr size = effect_->dispatcher(effect_, effGetChunk, 0, 0, &chunk, 0.0f);
    std::vector<uint8_t> image;
    putTag(image, "CcnK");
    putBig(image, 0);  // byte size: not used by readers
    putTag(image, "FBCh");
    putBig(image, 1);
    putBig(image, static_cast<uint32_t>(effect_->uniqueID));
    putBig(image, static_cast<uint32_t>(effect_->version));
    putBig(image, static_cast<uint32_t>(effect_->numPrograms));
    image.resize(image.size() + 128, 0);
    putBig(image, static_cast<uint32_t>(size));
    const auto* bytes = static_cast<const uint8_t*>(chunk);
    if (bytes != nullptr && size > 0) image.insert(image.end(), bytes, bytes + size);
    // A module's chunk buffer passes to whoever asked for it.
    delete[] static_cast<char*>(chunk);
    return image;
}

}  // namespace projectgen
