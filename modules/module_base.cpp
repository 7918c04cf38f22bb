#include "modules/module_base.h"

#include <cstring>

void copyProgramName(char* destination, const char* source) { vst_strncpy(destination, source, kVstMaxProgNameLen); }

KavoModule::KavoModule(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams,
                       const ModuleInfo& info)
    : AudioEffectX(audioMaster, numPrograms, numParams), info_(info) {
    setNumInputs(info.numInputs);
    setNumOutputs(info.numOutputs);
    setUniqueID(info.uniqueId);
    cEffect.version = 1;
    canProcessReplacing(true);
    programsAreChunks(true);
    if (info.instrument) {
        isSynth(true);
    } else {
        isSynth(false);
        noTail(false);
    }
    cEffect.user = &hostLink_;
}

VstInt32 KavoModule::processEvents(VstEvents* events) {
    if (events == nullptr) return 1;
    // The list runs past the two slots the struct declares; reading it
    // through a pointer keeps bounds checkers from taking the declared size.
    VstEvent* const* list = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = list[i];
        if (e == nullptr) break;
        if (e->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
        ModuleMidiEvent queued;
        queued.deltaFrames = midi->deltaFrames;
        for (int b = 0; b < 4; ++b) queued.data[b] = static_cast<uint8_t>(midi->midiData[b]);
        if (!midiRing_.push(queued)) return 0;
    }
    return 1;
}

VstInt32 KavoModule::canDo(char* text) {
    if (text == nullptr) return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    if (std::strcmp(text, "midiProgramNames") == 0) return 0;
    return -1;
}

bool KavoModule::getEffectName(char* name) {
    vst_strncpy(name, info_.effectName, kVstMaxEffectNameLen);
    return true;
}

bool KavoModule::getVendorString(char* text) {
    vst_strncpy(text, "KAVO", kVstMaxVendorStrLen);
    return true;
}

bool KavoModule::getProductString(char* text) {
    vst_strncpy(text, info_.productString, kVstMaxProductStrLen);
    return true;
}

VstPlugCategory KavoModule::getPlugCategory() { return info_.instrument ? kPlugCategSynth : kPlugCategEffect; }

bool KavoModule::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= cEffect.numOutputs) return false;
    std::memset(properties, 0, sizeof(*properties));
    vst_strncpy(properties->label, info_.productString, kVstMaxLabelLen);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}
