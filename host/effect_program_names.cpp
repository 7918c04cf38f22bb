// Names of the user programs and of the current project.
#include <cstring>

#include "host/effect.h"
#include "editor/editor.h"

void Effect::setUserProgramName(int slot, const std::string& name) {
    if (slot < 0 || slot >= kNumUserPrograms) return;
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    setField(programs_[static_cast<size_t>(slot)].programName, kProgramNameBytes, name.empty() ? "-" : name);
    if (slot == currentProgram_.load()) currentProgramName_ = fieldText(programs_[static_cast<size_t>(slot)].programName, kProgramNameBytes);
}

std::string Effect::userProgramName(int slot) {
    if (slot < 0 || slot >= kNumUserPrograms) return {};
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    return fieldText(programs_[static_cast<size_t>(slot)].programName, kProgramNameBytes);
}

std::string Effect::currentProjectName() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    return currentProjectName_;
}

std::string Effect::loadedProjectName() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    return loadedProjectName_;
}

void Effect::setProgramName(char* name) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    ProgramRecord& record = programs_[static_cast<size_t>(currentProgram_.load())];
    setField(record.programName, kProgramNameBytes, std::string(name, strnlen(name, kProgramNameBytes)));
    currentProjectName_ = fieldText(record.projectName, kProjectNameBytes);
    currentProgramName_ = fieldText(record.programName, kProgramNameBytes);
    if (editorView_ != nullptr) editorView_->redraw();
}

void Effect::getProgramName(char* name) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    vst_strncpy(name, currentProjectName_.c_str(), kVstMaxProgNameLen);
}

bool Effect::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumUserPrograms) return false;
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    const std::string name = fieldText(programs_[static_cast<size_t>(index)].programName, kProgramNameBytes);
    vst_strncpy(text, name.c_str(), kVstMaxProgNameLen);
    return true;
}
