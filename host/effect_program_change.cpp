// Program changes: a user program or a built-in project made current, and the
// current performance stored into a user program.
#include <cstdio>

#include "common/tempo_range.h"
#include "host/effect.h"
#include "editor/editor.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "project/project_list.h"
#include "project/project_loader.h"
#include "track/instrument.h"

namespace {

constexpr const char* kProjectListResource = "talvex.dat";

}  // namespace

void Effect::buildProjectList() {
    projectNames_.clear();
    platform::ResourceData list;
    if (platform::findResource("DATA", kProjectListResource, list)) projectNames_ = readProjectList(list.data, list.size);
}

bool Effect::storeFromEditor(int slot, const std::string& entryText) {
    if (slot < 0 || slot >= kNumUserPrograms) return false;
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    {
        ProjectAccess reader(*this);
        if (!reader.admitted()) return false;
        storeCurrentStateLocked(slot);
    }
    const std::string name = entryText.empty() || entryText == "-" ? currentProjectName_ : entryText;
    setField(programs_[static_cast<size_t>(slot)].programName, kProgramNameBytes, name);
    changeProgramLocked(slot, true, false, false);
    return true;
}

bool Effect::loadBuiltInProject(const std::string& name) { return ::loadBuiltInProject(*this, name); }

void Effect::changeProgram(int index, bool user, bool load) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    changeProgramLocked(index, user, load, false);
}

void Effect::changeProgramLocked(int index, bool user, bool load, bool reloadProject) {
    if (!user) {
        if (index < 0 || index >= static_cast<int>(projectNames_.size())) return;
        currentProjectName_ = projectNames_[static_cast<size_t>(index)];
        currentProgramName_.clear();
    } else {
        if (index < 0 || index >= kNumUserPrograms) return;
        currentProgram_ = index;
        const ProgramRecord& record = programs_[static_cast<size_t>(index)];
        currentProjectName_ = fieldText(record.projectName, kProjectNameBytes);
        if (currentProjectName_.empty() && !projectNames_.empty()) currentProjectName_ = projectNames_.front();
        currentProgramName_ = fieldText(record.programName, kProgramNameBytes);
    }

    beginProgramChange();
    if (load) {
        if (reloadProject || currentProjectName_ != loadedProjectName_ || loadedProjectName_.empty() || !user) {
            loadedProjectName_ = currentProjectName_;
            if (!currentProjectName_.empty()) loadBuiltInProject(currentProjectName_);
        }
        arpeggiatorSwitch = 1.0f;
        if (user)
            applyProgramRecord(programs_[static_cast<size_t>(index)]);
        else
            storeCurrentStateLocked(currentProgram_);
    }
    // What the host set while the tracks were being replaced lands on the
    // new ones before any block renders.
    applyHeldHostParameters();
    endProgramChange();
    if (editorView_ != nullptr) editorView_->redraw();
}

void Effect::applyProgramRecord(const ProgramRecord& record) {
    playSwitch = record.playSwitch;
    projectTempo = repairTempo(record.tempo);
    arpeggiatorSwitch = record.arpeggiatorSwitch;
    muteKeySwitch = record.muteKeySwitch;
    muteKey = record.muteKey;
    liveTransposition = record.liveTransposition;
    playController = record.playController;
    int satellite = 0;
    for (size_t t = 0; t < project_->tracks.size(); ++t) {
        CInstrument& track = *project_->tracks[t];
        if (t < static_cast<size_t>(kProgramTracks)) {
            track.planetLevel = relaxedLoad(record.trackLevel[t]);
            track.pan = relaxedLoad(record.trackPan[t]);
            setEditPattern(track, record.editPatterns[t].get());
        }
        const int count = countSatellites(track);
        for (int k = 0; k < count && satellite < kProgramSatellites; ++k, ++satellite) {
            SatelliteRef ref;
            if (!findSatellite(*project_, satellite, ref)) continue;
            float values[kSatelliteValues];
            for (int v = 0; v < kSatelliteValues; ++v) values[v] = relaxedLoad(record.satellites[satellite][v]);
            writeSatelliteValues(ref, values);
        }
    }
}

void Effect::storeCurrentState(int index) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    storeCurrentStateLocked(index);
}

void Effect::storeCurrentStateLocked(int index) {
    if (index < 0 || index >= kNumUserPrograms) return;
    ProgramRecord& record = programs_[static_cast<size_t>(index)];
    setField(record.projectName, kProjectNameBytes, currentProjectName_);
    const std::string name = fieldText(record.programName, kProgramNameBytes);
    if (name.empty() || name == "-") {
        char text[32];
        std::snprintf(text, sizeof(text), "Preset %i", index + 1);
        setField(record.programName, kProgramNameBytes, text);
    }
    record.playSwitch = playSwitch;
    record.tempo = projectTempo;
    record.arpeggiatorSwitch = arpeggiatorSwitch;
    record.muteKeySwitch = muteKeySwitch;
    record.muteKey = muteKey;
    record.liveTransposition = liveTransposition;
    record.playController = playController;
    for (size_t t = 0; t < project_->tracks.size() && t < static_cast<size_t>(kProgramTracks); ++t) {
        CInstrument& track = *project_->tracks[t];
        relaxedStore(record.trackLevel[t], track.planetLevel);
        relaxedStore(record.trackPan[t], track.pan);
        auto pattern = std::make_unique<ProgramPattern>();
        copyEditPattern(track, *pattern);
        record.editPatterns[t] = std::move(pattern);
    }
    for (int s = 0; s < kProgramSatellites; ++s) {
        SatelliteRef ref;
        if (!findSatellite(*project_, s, ref)) break;
        float values[kSatelliteValues];
        readSatelliteValues(ref, values);
        for (int v = 0; v < kSatelliteValues; ++v) relaxedStore(record.satellites[s][v], values[v]);
    }
}

void Effect::setProgram(VstInt32 program) {
    if (program >= 0 && program < kNumUserPrograms) changeProgram(program, true, true);
}

VstInt32 Effect::getProgram() { return currentProgram_; }
