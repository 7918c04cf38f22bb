#include "editor/parameter_text.h"

#include <algorithm>
#include <cstring>

#include "modulehost/module_path.h"
#include "modulehost/module_registry.h"

namespace {

constexpr size_t kTextBytes = 256;
constexpr float kSampleRateHz = 44100.0f;
constexpr VstIntPtr kBlockFrames = 512;

// The silent modules' host: a version and nothing else (no time, no
// pattern edits, no automation).
VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::string call(AEffect* effect, VstInt32 opcode, int index) {
    char text[kTextBytes] = {};
    effect->dispatcher(effect, opcode, index, 0, text, 0.0f);
    text[kTextBytes - 1] = 0;
    return text;
}

}  // namespace

ParameterText::ParameterText() = default;

ParameterText::~ParameterText() {
    for (Entry& e : modules_) e.effect->dispatcher(e.effect, effClose, 0, 0, nullptr, 0.0f);
}

AEffect* ParameterText::module(const char* modulePath) {
    if (modulePath == nullptr) return nullptr;
    const std::string title = moduleFileTitle(modulePath);
    for (Entry& e : modules_)
        if (e.fileTitle == title) return e.effect;
    const ModuleClassEntry* entry = findModuleClass(title.c_str());
    if (entry == nullptr) return nullptr;
    AudioEffectX* created = entry->create(&silentHost);
    if (created == nullptr) return nullptr;
    AEffect* effect = created->getAeffect();
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kSampleRateHz);
    effect->dispatcher(effect, effSetBlockSize, 0, kBlockFrames, nullptr, 0.0f);
    modules_.push_back(Entry{title, effect});
    return effect;
}

std::string ParameterText::text(const char* modulePath, int index, float value) {
    AEffect* effect = module(modulePath);
    if (effect == nullptr || index < 0 || index >= effect->numParams) return "";
    effect->setParameter(effect, index, value);
    std::string display = call(effect, effGetParamDisplay, index);
    const std::string label = call(effect, effGetParamLabel, index);
    // Leading blanks some displays pad with say nothing here.
    display.erase(0, std::min(display.find_first_not_of(' '), display.size()));
    return label.empty() ? display : display + " " + label;
}

std::string ParameterText::name(const char* modulePath, int index) {
    AEffect* effect = module(modulePath);
    if (effect == nullptr || index < 0 || index >= effect->numParams) return "";
    return call(effect, effGetParamName, index);
}
