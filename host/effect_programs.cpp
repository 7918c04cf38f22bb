// Host parameters, user programs and settings of the main object.
#include <cstdio>
#include <cstring>

#include "host/effect.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {
float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

void Effect::readSettings() {}
void Effect::writeSettings() {}
void Effect::buildProjectList() { projectNames_.clear(); }
void Effect::createDefaultPrograms() {}
void Effect::loadDefaultBank() {}
void Effect::storeDefaultBank() {}

void Effect::changeProgram(int index, bool user, bool load) {
    std::lock_guard<std::mutex> lock(programMutex_);
    if (!user) {
        if (index < 0 || index >= static_cast<int>(projectNames_.size())) return;
        currentProjectName_ = projectNames_[static_cast<size_t>(index)];
        currentProgramName_.clear();
    } else {
        if (index < 0 || index >= kNumUserPrograms) return;
        currentProgram_ = index;
        currentProjectName_ = projectNames_.empty() ? std::string() : projectNames_.front();
    }
    beginProgramChange();
    if (load) arpeggiatorSwitch = 1.0f;
    endProgramChange();
}

void Effect::setProgram(VstInt32 program) {
    if (program >= 0 && program < kNumUserPrograms) changeProgram(program, true, true);
}

VstInt32 Effect::getProgram() { return currentProgram_; }

void Effect::setProgramName(char* name) {
    std::lock_guard<std::mutex> lock(programMutex_);
    currentProgramName_.assign(name, strnlen(name, kVstMaxProgNameLen));
}

void Effect::getProgramName(char* name) { vst_strncpy(name, currentProjectName_.c_str(), kVstMaxProgNameLen); }

bool Effect::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumUserPrograms) return false;
    vst_strncpy(text, "-", kVstMaxProgNameLen);
    return true;
}

void Effect::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumHostParameters) return;
    if (index < 64) return;
    const size_t t = static_cast<size_t>((index - 64) / 2);
    // A project or program change in progress owns the track list; skip the
    // live update (it never blocks).
    if (editCounter_.load() > 0 || programChangeCounter_.load() > 0) return;
    if (t >= project_->tracks.size()) return;
    CInstrument& track = *project_->tracks[t];
    if (index % 2 == 0)
        track.pan = clampf(value * 2.0f - 1.0f, -1.0f, 1.0f);
    else
        track.planetLevel = clampf(value * 128.0f, 0.0f, 127.0f);
}

float Effect::getParameter(VstInt32 index) {
    if (index == kParamSampleRateSetting) return static_cast<float>(settings_.sampleRate);
    if (index == kParamBufferSizeSetting) return static_cast<float>(settings_.bufferSize);
    if (index < 64 || index >= kNumHostParameters) return 0.0f;
    const size_t t = static_cast<size_t>((index - 64) / 2);
    if (editCounter_.load() > 0 || programChangeCounter_.load() > 0) return 0.0f;
    if (t >= project_->tracks.size()) return 0.0f;
    const CInstrument& track = *project_->tracks[t];
    return index % 2 == 0 ? (track.pan.load() + 1.0f) / 2.0f : track.planetLevel.load() / 128.0f;
}

void Effect::getParameterName(VstInt32 index, char* text) {
    text[0] = 0;
    if (index < 0 || index >= kNumHostParameters) return;
    char name[64];
    if (index < 64) {
        std::snprintf(name, sizeof(name), "Sat %i (%s)", index / 2, index % 2 == 0 ? "X" : "Y");
    } else {
        const int t = (index - 64) / 2;
        std::snprintf(name, sizeof(name), "Planet %i (%s)", t, index % 2 == 0 ? "Pan" : "Level");
    }
    std::strcpy(text, name);
}

void Effect::getParameterDisplay(VstInt32 index, char* text) {
    text[0] = 0;
    if (index == kParamAudioDevice) std::strcpy(text, settings_.audioDevice);
    if (index == kParamMidiDevice) std::strcpy(text, settings_.midiDevice);
}

void Effect::getParameterLabel(VstInt32 /*index*/, char* text) { text[0] = 0; }

VstInt32 Effect::getChunk(void** data, bool /*isPreset*/) {
    *data = nullptr;
    return 0;
}

VstInt32 Effect::setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }
