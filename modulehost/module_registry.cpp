#include "modulehost/module_registry.h"

#include "effects/chorus.h"
#include "effects/compressor.h"
#include "effects/delay.h"
#include "effects/flanger.h"
#include "effects/limiter.h"
#include "effects/overdrive.h"
#include "effects/filter.h"
#include "effects/reverb.h"

#include "modules/drums_module.h"
#include "modules/sampler_module.h"
#include "modules/synth_module.h"

#include <cstring>

namespace {

// One line per module class.
const ModuleClassEntry kModuleClasses[] = {
    {"KavoSynthI", createSynthI, false},
    {"KavoSynthII", createSynthII, false},
    {"KavoSampler", createSampler, false},
    {"KavoCompressor", [](audioMasterCallback m) -> AudioEffectX* { return new EffectCompressor(m); }, false},
    {"KavoLimiter", [](audioMasterCallback m) -> AudioEffectX* { return new EffectLimiter(m); }, false},
    {"KavoOverdrive", [](audioMasterCallback m) -> AudioEffectX* { return new EffectOverdrive(m); }, false},
    {"KavoFilter", [](audioMasterCallback m) -> AudioEffectX* { return new EffectFilter(m); }, false},
    {"KavoChorus", [](audioMasterCallback m) -> AudioEffectX* { return new EffectChorus(m); }, false},
    {"KavoFlanger", [](audioMasterCallback m) -> AudioEffectX* { return new EffectFlanger(m); }, false},
    {"KavoDelay", [](audioMasterCallback m) -> AudioEffectX* { return new EffectDelay(m); }, false},
    {"KavoReverb", [](audioMasterCallback m) -> AudioEffectX* { return new EffectReverb(m); }, false},
    {"KavoDrums", createDrums, true},
    {"KavoBass", createBass, true},
};

}  // namespace

const ModuleClassEntry* findModuleClass(const char* fileTitle) {
    if (fileTitle == nullptr || fileTitle[0] == 0) return nullptr;
    for (const auto& entry : kModuleClasses)
        if (entry.create != nullptr && std::strcmp(entry.fileTitle, fileTitle) == 0) return &entry;
    return nullptr;
}

const ModuleClassEntry* moduleClasses(int& count) {
    count = static_cast<int>(sizeof(kModuleClasses) / sizeof(kModuleClasses[0]));
    return kModuleClasses;
}
