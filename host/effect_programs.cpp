// Host parameters, user programs, chunks and settings of the main object.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/tempo_range.h"
#include "host/effect.h"
#include "editor/editor.h"
#include "host/program_chunk.h"
#include "host/program_track_state.h"
#include "platform/atomic_file_write.h"
#include "platform/registry_store.h"
#include "project/project.h"
#include "project/project_loader.h"
#include "track/instrument.h"

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

const std::string kSettingsKey = "software\\TalvexBass\\Settings";
const std::string kDataKey = "software\\TalvexBass\\Data";
constexpr const char* kUserBankValue = "UserBank";
constexpr const char* kProjectListResource = "talvex.dat";
constexpr const char* kDefaultBankResource = "defaultbank.dat";
constexpr size_t kDeviceNameChars = 127;

std::string fieldText(const char* field, size_t bytes) { return std::string(field, strnlen(field, bytes)); }

void setField(char* field, size_t bytes, const std::string& text) {
    std::memset(field, 0, bytes);
    std::memcpy(field, text.data(), text.size() < bytes ? text.size() : bytes);
}

}  // namespace

// ---- settings ---------------------------------------------------------------

void Effect::readSettings() {
    using platform::RegistryStore;
    uint32_t v = 0;
    if (RegistryStore::readDword(kSettingsKey, "ScopeOn", v)) settings_.scopeOn = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "MultiOutputsMode", v)) settings_.multiOutputsMode = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "TooltipsOn", v)) settings_.tooltipsOn = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "BankSelected", v)) settings_.bankSelected = static_cast<int>(v);
    if (RegistryStore::readDword(kSettingsKey, "SaveDefaultBank", v)) settings_.saveDefaultBank = v != 0;
    std::string text;
    if (RegistryStore::readString(kSettingsKey, "FirstUse", text, 255) && !text.empty()) settings_.firstUse = false;
    if (standaloneHost_) {
        text.clear();
        RegistryStore::readString(kSettingsKey, "AudioDevice", text, kDeviceNameChars);
        vst_strncpy(settings_.audioDevice, text.c_str(), sizeof(settings_.audioDevice));
        text.clear();
        RegistryStore::readString(kSettingsKey, "MidiDevice", text, kDeviceNameChars);
        vst_strncpy(settings_.midiDevice, text.c_str(), sizeof(settings_.midiDevice));
        if (RegistryStore::readDword(kSettingsKey, "SampleRate", v)) settings_.sampleRate = static_cast<int>(v);
        if (RegistryStore::readDword(kSettingsKey, "BufferSize", v)) settings_.bufferSize = static_cast<int>(v);
    }
}

void Effect::writeSettings() {
    using platform::RegistryStore;
    RegistryStore::writeDword(kSettingsKey, "ScopeOn", settings_.scopeOn ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "MultiOutputsMode", settings_.multiOutputsMode ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "CurProgram", static_cast<uint32_t>(currentProgram_.load()));
    RegistryStore::writeDword(kSettingsKey, "TooltipsOn", settings_.tooltipsOn ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "BankSelected", static_cast<uint32_t>(settings_.bankSelected));
    RegistryStore::writeDword(kSettingsKey, "SaveDefaultBank", settings_.saveDefaultBank ? 1 : 0);
    RegistryStore::writeString(kSettingsKey, "FirstUse", "X");
    if (standaloneHost_) {
        RegistryStore::writeString(kSettingsKey, "AudioDevice", settings_.audioDevice);
        RegistryStore::writeString(kSettingsKey, "MidiDevice", settings_.midiDevice);
        RegistryStore::writeDword(kSettingsKey, "SampleRate", static_cast<uint32_t>(settings_.sampleRate));
        RegistryStore::writeDword(kSettingsKey, "BufferSize", static_cast<uint32_t>(settings_.bufferSize));
    }
}

void Effect::loadDefaultBank() {
    std::vector<uint8_t> bank;
    if (!platform::RegistryStore::readBinary(kDataKey, kUserBankValue, bank) || bank.empty()) return;
    // Only the records: construction loads the current program right after,
    // once.
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    readChunkIntoRecords(bank.data(), static_cast<VstInt32>(bank.size()), false);
}

namespace {
// A bank chunk with every record full of notes stays far below this; a
// larger file is not a bank of ours and is not read.
constexpr std::streamoff kMaxBankFileBytes = 64 << 20;
}  // namespace

std::string Effect::saveBankFile(const std::string& path) {
    std::string name = path;
    const std::string extension = ".fxb";
    if (name.size() < 5 || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        name += extension;
    // The bank is built into a buffer of its own under the program lock: the
    // object's chunk buffer belongs to the host's getChunk, which may replace
    // it at any time while the file is written.
    std::vector<uint8_t> bank;
    {
        std::lock_guard<std::recursive_mutex> lock(programMutex_);
        bank = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    }
    // Replaced in one step: a save that is interrupted leaves the previous
    // bank under the name, never a truncated one.
    if (bank.empty() || !platform::writeFileAtomically(name, bank.data(), bank.size())) return {};
    return name;
}

bool Effect::loadBankFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxBankFileBytes) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return false;
    return setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false) == 1;
}

void Effect::storeDefaultBank() {
    std::vector<uint8_t> bank;
    {
        std::lock_guard<std::recursive_mutex> lock(programMutex_);
        bank = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    }
    platform::RegistryStore::writeBinary(kDataKey, kUserBankValue, bank.data(), bank.size());
}

// ---- programs ---------------------------------------------------------------

void Effect::buildProjectList() {
    projectNames_.clear();
    platform::ResourceData list;
    if (platform::findResource("DATA", kProjectListResource, list)) projectNames_ = readProjectList(list.data, list.size);
}

void Effect::createDefaultPrograms() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    programs_.assign(kNumUserPrograms, ProgramRecord{});
    readDefaultProgramsLocked();
}

void Effect::resetUserBank() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    // Assigned record by record: host parameter calls write into the current
    // record without the lock, so the array itself never moves.
    for (ProgramRecord& record : programs_) record = ProgramRecord{};
    readDefaultProgramsLocked();
}

void Effect::readDefaultProgramsLocked() {
    // Slot i holds built-in project i with its own performance, named after
    // it; the authoring tool writes them as a bank, so no project is loaded
    // for them here.
    platform::ResourceData bank;
    if (platform::findResource("DATA", kDefaultBankResource, bank))
        readChunkIntoRecords(bank.data, static_cast<VstInt32>(bank.size), false);
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

// ---- parameters -------------------------------------------------------------

void Effect::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumHostParameters) return;
    // A NaN carries no position: the parameter keeps the one it has. (The
    // clamps below hold infinities to the ends of the range.)
    if (std::isnan(value)) return;
    if (editorView_ != nullptr) editorView_->parameterChanged(index);
    // While a project or program change replaces the tracks, the value only
    // goes into the program record; the tracks are left alone (never blocks).
    ProjectAccess reader(*this);
    const bool changing = !reader.admitted();
    // The record array is never resized after construction, and these fields
    // are written with relaxed stores, so no lock is needed here.
    ProgramRecord* record = &programs_[static_cast<size_t>(currentProgram_.load())];
    if (index < 64) {
        const int s = index / 2;
        const bool vertical = index % 2 == 1;
        const float v = clampf(value * 128.0f, 0.0f, 127.0f);
        if (changing) {
            relaxedStore(record->satellites[s][vertical ? 1 : 0], v);
            return;
        }
        SatelliteRef ref;
        if (!findSatellite(*project_, s, ref)) return;
        setSatelliteAxis(ref, vertical, v);
        relaxedStore(record->satellites[s][vertical ? 1 : 0], v);
        return;
    }
    const size_t t = static_cast<size_t>((index - 64) / 2);
    const bool isPan = index % 2 == 0;
    const float v = isPan ? clampf(value * 2.0f - 1.0f, -1.0f, 1.0f) : clampf(value * 128.0f, 0.0f, 127.0f);
    if (!changing) {
        if (t >= project_->tracks.size()) return;
        CInstrument& track = *project_->tracks[t];
        if (isPan)
            track.pan = v;
        else
            track.planetLevel = v;
    }
    if (t < static_cast<size_t>(kProgramTracks)) relaxedStore(isPan ? record->trackPan[t] : record->trackLevel[t], v);
}

float Effect::getParameter(VstInt32 index) {
    if (index == kParamSampleRateSetting) return static_cast<float>(settings_.sampleRate);
    if (index == kParamBufferSizeSetting) return static_cast<float>(settings_.bufferSize);
    if (index < 0 || index >= kNumHostParameters) return 0.0f;
    ProjectAccess reader(*this);
    if (!reader.admitted()) return 0.0f;
    if (index < 64) {
        SatelliteRef ref;
        if (!findSatellite(*project_, index / 2, ref)) return 0.0f;
        return satelliteAxis(ref, index % 2 == 1) / 128.0f;
    }
    const size_t t = static_cast<size_t>((index - 64) / 2);
    if (t >= project_->tracks.size()) return 0.0f;
    const CInstrument& track = *project_->tracks[t];
    return index % 2 == 0 ? (track.pan.load() + 1.0f) / 2.0f : track.planetLevel.load() / 128.0f;
}

void Effect::getParameterName(VstInt32 index, char* text) {
    text[0] = 0;
    if (index < 0 || index >= kNumHostParameters) return;
    // Hosts pass buffers of at least 32 bytes for names, whatever the
    // constant says; longer names are cut there.
    char name[96];
    ProjectAccess reader(*this);
    const bool changing = !reader.admitted();
    if (index < 64) {
        SatelliteRef ref;
        if (!changing && findSatellite(*project_, index / 2, ref))
            std::snprintf(name, sizeof(name), "%s (%s)", satelliteDisplayName(ref), index % 2 == 0 ? "X" : "Y");
        else
            std::snprintf(name, sizeof(name), "Sat %i (%s)", index / 2, index % 2 == 0 ? "X" : "Y");
    } else {
        const size_t t = static_cast<size_t>((index - 64) / 2);
        const char* axis = index % 2 == 0 ? "Pan" : "Level";
        if (!changing && t < project_->tracks.size())
            std::snprintf(name, sizeof(name), "%s (%s)", project_->tracks[t]->title.c_str(), axis);
        else
            std::snprintf(name, sizeof(name), "Planet %i (%s)", static_cast<int>(t), axis);
    }
    vst_strncpy(text, name, 32);
}

void Effect::getParameterDisplay(VstInt32 index, char* text) {
    text[0] = 0;
    if (index == kParamAudioDevice) vst_strncpy(text, settings_.audioDevice, sizeof(settings_.audioDevice));
    if (index == kParamMidiDevice) vst_strncpy(text, settings_.midiDevice, sizeof(settings_.midiDevice));
}

void Effect::getParameterLabel(VstInt32 /*index*/, char* text) { text[0] = 0; }

// ---- chunks -----------------------------------------------------------------

VstInt32 Effect::getChunk(void** data, bool isPreset) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    if (isPreset)
        chunkBuffer_ = buildProgramChunk(&programs_[static_cast<size_t>(currentProgram_.load())], 1, true);
    else
        chunkBuffer_ = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    *data = chunkBuffer_.data();
    return static_cast<VstInt32>(chunkBuffer_.size());
}

VstInt32 Effect::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    if (!readChunkIntoRecords(data, byteSize, isPreset)) return 0;
    // Hosts restore a session as setProgram(n) then setChunk (LMMS, Ardour)
    // and never select a program afterwards, so the records take effect at
    // once: the current program is applied as a program change would. A
    // project that has played since it was loaded is loaded again, because
    // its modules hold what no chunk carries (voices, LFO phases, effect
    // tails) and the restored sound must not depend on what played before.
    changeProgramLocked(currentProgram_, true, true, projectPlayed_.load());
    return 1;
}

bool Effect::readChunkIntoRecords(const void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr || byteSize <= 0) return false;
    std::vector<ProgramRecord> parsed;
    if (!parseProgramChunk(static_cast<const uint8_t*>(data), static_cast<size_t>(byteSize), isPreset, parsed,
                           isPreset ? 1 : kNumUserPrograms))
        return false;
    if (isPreset) {
        ProgramRecord& target = programs_[static_cast<size_t>(currentProgram_.load())];
        // A program chunk carries neither the program name nor the
        // arpeggiator switch; the record keeps its own.
        std::memcpy(parsed[0].programName, target.programName, kProgramNameBytes);
        parsed[0].arpeggiatorSwitch = target.arpeggiatorSwitch;
        target = parsed[0];
    } else {
        for (int i = 0; i < kNumUserPrograms; ++i) {
            parsed[static_cast<size_t>(i)].arpeggiatorSwitch = programs_[static_cast<size_t>(i)].arpeggiatorSwitch;
            programs_[static_cast<size_t>(i)] = parsed[static_cast<size_t>(i)];
        }
    }
    return true;
}
