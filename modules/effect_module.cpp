#include "modules/effect_module.h"

#include <cstring>

#include "modules/chunk_fields.h"

KavoEffectModule::KavoEffectModule(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams,
                                   const ModuleInfo& info)
    : KavoModule(audioMaster, numPrograms, numParams, info),
      live_(static_cast<size_t>(numParams), 0.0f),
      defaults_(static_cast<size_t>(numParams), 0.0f),
      programValues_(static_cast<size_t>(numPrograms) * numParams, 0.0f),
      programNames_(static_cast<size_t>(numPrograms) * kVstMaxProgNameLen, 0) {}

void KavoEffectModule::storeProgram(VstInt32 program, const float* values, const char* name) {
    if (program < 0 || program >= numPrograms) return;
    std::memcpy(programValues(program), values, sizeof(float) * static_cast<size_t>(numParams));
    copyProgramName(programNameField(program), name);
}

void KavoEffectModule::setParameterDefaults(const float* values) {
    std::memcpy(defaults_.data(), values, sizeof(float) * static_cast<size_t>(numParams));
}

float KavoEffectModule::repairedStoredValue(VstInt32 index, float value) {
    return repairedUnitValue(value, parameterDefault(index));
}

void KavoEffectModule::storeValue(VstInt32 index, float value) {
    live_[static_cast<size_t>(index)] = value;
    programValues(curProgram)[index] = value;
    parameterChanged(index);
}

void KavoEffectModule::recomputeAll() {
    for (VstInt32 i = 0; i < numParams; ++i) parameterChanged(i);
}

void KavoEffectModule::setSampleRate(float rate) {
    if (rate != sampleRate) sampleRate = rate;
    recomputeAll();
}

void KavoEffectModule::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= numParams) return;
    storeValue(index, repairedUnitValue(value, parameterDefault(index)));
}

float KavoEffectModule::getParameter(VstInt32 index) {
    if (index < 0 || index >= numParams) return 0.0f;
    return live_[static_cast<size_t>(index)];
}

void KavoEffectModule::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram = program;
    std::memcpy(live_.data(), programValues(program), sizeof(float) * static_cast<size_t>(numParams));
    recomputeAll();
}

void KavoEffectModule::setProgramName(char* name) { copyProgramName(programNameField(curProgram), name); }

void KavoEffectModule::getProgramName(char* name) { copyProgramName(name, programNameField(curProgram)); }

bool KavoEffectModule::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (index < 0 || index >= numPrograms) return false;
    copyProgramName(text, programNameField(index));
    return true;
}

bool KavoEffectModule::copyProgram(VstInt32 destination) {
    if (destination < 0 || destination >= numPrograms) return false;
    if (destination == curProgram) return true;
    std::memcpy(programValues(destination), programValues(curProgram), sizeof(float) * static_cast<size_t>(numParams));
    std::memcpy(programNameField(destination), programNameField(curProgram), kVstMaxProgNameLen);
    return true;
}

VstInt32 KavoEffectModule::getChunk(void** data, bool isPreset) {
    const size_t paramBytes = sizeof(float) * static_cast<size_t>(numParams);
    if (isPreset) {
        chunkScratch_.assign(paramBytes, 0);
        for (VstInt32 i = 0; i < numParams; ++i) {
            float v = getParameter(i);
            std::memcpy(&chunkScratch_[sizeof(float) * static_cast<size_t>(i)], &v, sizeof(float));
        }
    } else {
        const size_t record = kVstMaxProgNameLen + paramBytes;
        chunkScratch_.assign(record * static_cast<size_t>(numPrograms), 0);
        for (VstInt32 p = 0; p < numPrograms; ++p) {
            char* out = &chunkScratch_[record * static_cast<size_t>(p)];
            std::memcpy(out, programNameField(p), kVstMaxProgNameLen);
            std::memcpy(out + kVstMaxProgNameLen, programValues(p), paramBytes);
        }
    }
    // The caller owns the returned copy.
    char* copy = new char[chunkScratch_.size()];
    std::memcpy(copy, chunkScratch_.data(), chunkScratch_.size());
    *data = copy;
    return static_cast<VstInt32>(chunkScratch_.size());
}

VstInt32 KavoEffectModule::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr) return 0;
    const auto* bytes = static_cast<const char*>(data);
    const size_t paramBytes = sizeof(float) * static_cast<size_t>(numParams);
    if (isPreset) {
        if (byteSize < 0 || static_cast<size_t>(byteSize) != paramBytes) return 0;
        for (VstInt32 i = 0; i < numParams; ++i) {
            float v;
            std::memcpy(&v, bytes + sizeof(float) * static_cast<size_t>(i), sizeof(float));
            setParameter(i, v);
        }
        return 1;
    }
    const size_t record = kVstMaxProgNameLen + paramBytes;
    if (byteSize < 0 || static_cast<size_t>(byteSize) != record * static_cast<size_t>(numPrograms)) return 0;
    for (VstInt32 p = 0; p < numPrograms; ++p) {
        const char* in = bytes + record * static_cast<size_t>(p);
        std::memcpy(programNameField(p), in, kVstMaxProgNameLen);
        programNameField(p)[kVstMaxProgNameLen - 1] = 0;
        float* values = programValues(p);
        for (VstInt32 i = 0; i < numParams; ++i)
            values[i] = repairedStoredValue(i, chunk_fields::readFloat(in + kVstMaxProgNameLen + sizeof(float) * static_cast<size_t>(i)));
    }
    return 1;
}

VstIntPtr KavoEffectModule::vendorSpecific(VstInt32 index, VstIntPtr value, void* /*ptr*/, float /*opt*/) {
    if (index != kModuleRestIndex || value < 1 || value > kModuleRestMaxFrames) return 0;
    return rest(static_cast<int>(value)) ? 1 : 0;
}
