// The one place where module classes register: a project's module path is
// reduced to its file title, which is looked up here exactly and
// case-sensitively.
#pragma once

#include "vst/audioeffectx.h"

using ModuleFactory = AudioEffectX* (*)(audioMasterCallback audioMaster);

struct ModuleClassEntry {
    const char* fileTitle;
    ModuleFactory create;
    bool drumSlot;  // the slot holds the drum or bass machine
};

// Null when no class has this file title.
const ModuleClassEntry* findModuleClass(const char* fileTitle);

// All registered classes, for tests and tools.
const ModuleClassEntry* moduleClasses(int& count);
