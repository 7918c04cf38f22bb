#include "editor/editor_model.h"

#include <mutex>

#include "editor/device_lists.h"
#include "editor/program_panel_layout.h"
#include "editor/tempo_text.h"
#include "host/effect.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"

const char* const kProductTitle = "Talvex";
const char* const kNewBankQuestion = "This action will erase all user programs.\nDo you want to continue ?";
const char* const kMultiModeMessage =
    "The selected mode will be activated on the next reboot of the plugin.\n\n"
    "Le mode s\xc3\xa9lectionn\xc3\xa9 sera activ\xc3\xa9 lors du prochain red\xc3\xa9marrage du plugin.";
const char* const kVersionText = "1.1";

namespace {

constexpr uint32_t kSaveBlinkMs = 200;

// Writes one field of the current user program record.
template <typename Write>
void writeCurrentRecord(Effect& effect, Write write) {
    std::lock_guard<std::recursive_mutex> lock(effect.programMutex());
    const int current = effect.getProgram();
    if (current < 0 || current >= kNumUserPrograms) return;
    write(effect.programRecords()[static_cast<size_t>(current)]);
}

}  // namespace

EditorModel::EditorModel(Effect& effect) : effect_(effect) {}

void EditorModel::initFromPlugin() {
    const Settings& settings = effect_.settings();
    tab_ = settings.bankSelected >= 0 && settings.bankSelected < program_panel::kTabs ? settings.bankSelected : 0;
    editingSlot_ = -1;
    saveOn_ = false;
    saveBlinkVisible_ = true;
    playOn_ = effect_.playSwitch.load() != 0.0f;
    previewOn_ = effect_.demonstrationPlaying();
    arpOn_ = effect_.arpeggiatorSwitch.load() != 0.0f;
    muteKeySwitchOn_ = effect_.muteKeySwitch.load() != 0.0f;
    ledOn_ = effect_.midiActivity() > 0;
    scopeOn_ = settings.scopeOn;
    circularPad_ = effect_.roundPad.load();
    mirror_.scopeWanted.store(scopeOn_);
    mirror_.playButton.store(-1);
    mirror_.previewSwitch.store(-1);
    tempoEntryText_ = tempoText(effect_.projectTempo.load());
    dirty_ = kDirtyAll;
}

// ---- program panel ----------------------------------------------------------

void EditorModel::clickPanel(int x, int y, bool doubleClick) {
    const program_panel::Hit hit = program_panel::hitTest(x, y);
    if (hit.kind == program_panel::Hit::Kind::kTab) {
        selectTab(hit.index);
    } else if (hit.kind == program_panel::Hit::Kind::kEntry) {
        if (doubleClick)
            doubleClickEntry(hit.index);
        else
            clickEntry(hit.index);
    }
}

void EditorModel::selectTab(int tab) {
    if (tab < 0 || tab >= program_panel::kTabs) return;
    tab_ = tab;
    effect_.settings().bankSelected = tab;
    markDirty(kDirtyPanel | kDirtyButtons);
}

void EditorModel::clickEntry(int entry) {
    if (entry < 0) return;
    if (tab_ == program_panel::kUserTab) {
        if (saveOn_) {
            // Only a real slot is stored into; anything else leaves Save on.
            if (entry >= kNumUserPrograms) return;
            if (!effect_.storeFromEditor(entry, nameEntryText_)) return;
            saveOn_ = false;
            saveBlinkVisible_ = true;
        } else {
            if (entry >= kNumUserPrograms) return;
            effect_.changeProgram(entry, true, true);
            initFromPlugin();
        }
    } else {
        if (entry >= program_panel::kEntriesPerTab) return;
        const int project = tab_ * program_panel::kEntriesPerTab + entry;
        if (project >= static_cast<int>(effect_.projectNames().size())) return;
        effect_.changeProgram(project, false, true);
        initFromPlugin();
    }
    // A new project has other tracks: no planet stays selected.
    selectedPlanet_ = -1;
    selectedSatellite_ = -1;
    keyStripOpen_ = false;
    soloOn_ = false;
    markDirty(kDirtyAll);
}

void EditorModel::doubleClickEntry(int entry) {
    if (tab_ != program_panel::kUserTab || entry < 0 || entry >= kNumUserPrograms) return;
    editingSlot_ = entry;
    nameEntryText_ = effect_.userProgramName(entry);
    markDirty(kDirtyNameEntry | kDirtyPanel);
}

void EditorModel::confirmName() {
    if (editingSlot_ < 0) return;
    effect_.setUserProgramName(editingSlot_, nameEntryText_);
    editingSlot_ = -1;
    markDirty(kDirtyNameEntry | kDirtyPanel);
}

void EditorModel::cancelName() {
    editingSlot_ = -1;
    markDirty(kDirtyNameEntry | kDirtyPanel);
}

std::vector<std::string> EditorModel::entryNames() {
    std::vector<std::string> names(program_panel::kEntriesPerTab);
    if (tab_ == program_panel::kUserTab) {
        for (int i = 0; i < kNumUserPrograms; ++i) names[static_cast<size_t>(i)] = effect_.userProgramName(i);
    } else {
        const std::vector<std::string>& projects = effect_.projectNames();
        for (int i = 0; i < program_panel::kEntriesPerTab; ++i) {
            const size_t p = static_cast<size_t>(tab_ * program_panel::kEntriesPerTab + i);
            if (p < projects.size()) names[static_cast<size_t>(i)] = projects[p];
        }
    }
    return names;
}

int EditorModel::markedEntry() {
    if (tab_ == program_panel::kUserTab) return effect_.getProgram();
    const std::string current = effect_.currentProjectName();
    const std::vector<std::string> names = entryNames();
    for (int i = 0; i < program_panel::kEntriesPerTab; ++i)
        if (!current.empty() && names[static_cast<size_t>(i)] == current) return i;
    return -1;
}

// ---- buttons ----------------------------------------------------------------

void EditorModel::setSave(bool on) {
    saveOn_ = on;
    saveBlinkVisible_ = true;
    blinkStartPending_ = on;
    markDirty(kDirtyButtons);
}

void EditorModel::setPlay(bool on) {
    playOn_ = on;
    const float v = on ? 1.0f : 0.0f;
    effect_.playSwitch = v;
    writeCurrentRecord(effect_, [v](ProgramRecord& r) { r.playSwitch = v; });
    if (!on) effect_.requestAllNotesOff();
    markDirty(kDirtyButtons);
}

void EditorModel::setPreview(bool on) {
    previewOn_ = on;
    effect_.requestDemonstration(on ? 1 : 0);
    if (on) setPlay(true);
    markDirty(kDirtyButtons);
}

void EditorModel::setSolo(bool on) {
    soloOn_ = on;
    applySolo();
    markDirty(kDirtyButtons | kDirtyPad);
}

void EditorModel::applySolo() {
    Effect::ProjectAccess reader(effect_);
    if (!reader.admitted()) return;
    Project& project = *effect_.project();
    for (size_t t = 0; t < project.tracks.size(); ++t) {
        const bool silenced = soloOn_ && static_cast<int>(t) != selectedPlanet_;
        project.tracks[t]->silencedBySolo = silenced ? 1.0f : 0.0f;
    }
}

void EditorModel::setArpeggiator(bool on) {
    arpOn_ = on;
    const float v = on ? 1.0f : 0.0f;
    effect_.arpeggiatorSwitch = v;
    writeCurrentRecord(effect_, [v](ProgramRecord& r) { r.arpeggiatorSwitch = v; });
    markDirty(kDirtyButtons);
}

void EditorModel::setMuteKeySwitch(bool on) {
    muteKeySwitchOn_ = on;
    const float v = on ? 1.0f : 0.0f;
    effect_.muteKeySwitch = v;
    writeCurrentRecord(effect_, [v](ProgramRecord& r) { r.muteKeySwitch = v; });
    markDirty(kDirtyButtons);
}

void EditorModel::clickLed() {
    ledOn_ = false;
    markDirty(kDirtyLed);
}

bool EditorModel::tempoShown() const { return effect_.standaloneHost(); }

void EditorModel::enterTempo(const std::string& text) {
    const float bpm = parseTempoText(text);
    effect_.projectTempo = bpm;
    writeCurrentRecord(effect_, [bpm](ProgramRecord& r) { r.tempo = bpm; });
    tempoEntryText_ = tempoText(bpm);
    markDirty(kDirtyButtons);
}

void EditorModel::selectPlanet(int track) {
    if (track != selectedPlanet_) selectedSatellite_ = -1;
    selectedPlanet_ = track;
    if (soloOn_) applySolo();
    markDirty(kDirtyPad | kDirtySelection);
}

void EditorModel::selectSatellite(int satellite) {
    selectedSatellite_ = satellite;
    markDirty(kDirtyPad | kDirtySelection);
}

void EditorModel::storeSelectedBalls() {
    if (selectedPlanet_ < 0) return;
    Effect::ProjectAccess reader(effect_);
    if (!reader.admitted()) return;
    Project& project = *effect_.project();
    if (static_cast<size_t>(selectedPlanet_) >= project.tracks.size()) return;
    const CInstrument* planet = project.tracks[static_cast<size_t>(selectedPlanet_)].get();
    std::lock_guard<std::recursive_mutex> lock(effect_.programMutex());
    const int current = effect_.getProgram();
    if (current < 0 || current >= kNumUserPrograms) return;
    ProgramRecord& record = effect_.programRecords()[static_cast<size_t>(current)];
    for (int s = 0; s < kProgramSatellites; ++s) {
        SatelliteRef ref;
        if (!findSatellite(project, s, ref)) break;
        if (ref.track != planet) continue;
        float values[kSatelliteValues];
        readSatelliteValues(ref, values);
        for (int v = 0; v < kSatelliteValues; ++v) relaxedStore(record.satellites[s][v], values[v]);
    }
}

// ---- main menu --------------------------------------------------------------

main_menu::State EditorModel::menuState() const {
    const Settings& settings = effect_.settings();
    main_menu::State s;
    s.standaloneHost = effect_.standaloneHost();
    s.saveOnClose = settings.saveDefaultBank;
    s.multiMode = settings.multiOutputsMode;
    s.scopeOn = scopeOn_;
    s.muteKey = static_cast<int>(effect_.muteKey.load());
    s.playControl = static_cast<int>(effect_.playController.load());
    s.sampleRate = settings.sampleRate;
    s.bufferSize = settings.bufferSize;
    s.audioDevice = settings.audioDevice;
    s.midiDevice = settings.midiDevice;
    s.audioDevices = audioDevices_;
    s.midiDevices = midiDevices_;
    s.formatRule = formatRule_;
    s.versionText = kVersionText;
    return s;
}

void EditorModel::setDeviceLists(std::vector<std::string> audio, std::vector<std::string> midi,
                                 std::string formatRule) {
    audioDevices_ = std::move(audio);
    midiDevices_ = std::move(midi);
    formatRule_ = std::move(formatRule);
}

void EditorModel::refreshDeviceLists() {
    std::vector<std::string> audio = audioOutputDeviceNames();
    std::vector<std::string> midi = midiInputDeviceNames();
    const audioMasterCallback host = effect_.getAudioMaster();
    AEffect* self = effect_.getAeffect();
    if (audio.empty()) audio = standaloneHostTexts(host, self, kStandaloneQueryAudioDevices);
    if (midi.empty()) midi = standaloneHostTexts(host, self, kStandaloneQueryMidiDevices);
    const std::vector<std::string> rule = standaloneHostTexts(host, self, kStandaloneQueryFormatRule);
    setDeviceLists(std::move(audio), std::move(midi), rule.empty() ? std::string() : rule.front());
}

EditorModel::FollowUp EditorModel::menuCommand(int command) {
    using namespace main_menu;
    Settings& settings = effect_.settings();
    switch (command) {
        case kNew:
            return FollowUp::kAskNewBank;
        case kLoadBank:
            return FollowUp::kChooseBankToLoad;
        case kSaveBankAs:
            return FollowUp::kChooseBankToSave;
        case kSaveDefaultBank:
            effect_.saveDefaultBank();
            return FollowUp::kNone;
        case kSaveOnClose:
            settings.saveDefaultBank = !settings.saveDefaultBank;
            return FollowUp::kNone;
        case kMultiMode:
            if (effect_.standaloneHost()) return FollowUp::kNone;
            settings.multiOutputsMode = !settings.multiOutputsMode;
            effect_.saveSettings();
            return FollowUp::kShowMultiModeMessage;
        case kScope:
            scopeOn_ = !scopeOn_;
            settings.scopeOn = scopeOn_;
            mirror_.scopeWanted.store(scopeOn_);
            markDirty(kDirtyPad);
            return FollowUp::kNone;
        case kUserManual:
            return FollowUp::kOpenManual;
        default:
            break;
    }
    if (command >= kMuteKeyBase && command < kMuteKeyBase + 128) {
        const float key = static_cast<float>(command - kMuteKeyBase);
        effect_.muteKey = key;
        writeCurrentRecord(effect_, [key](ProgramRecord& r) { r.muteKey = key; });
    } else if (command >= kPlayControlBase && command <= kPlayControlBase + 128) {
        const float control = static_cast<float>(command - kPlayControlBase);
        effect_.playController = control;
        writeCurrentRecord(effect_, [control](ProgramRecord& r) { r.playController = control; });
    } else if (effect_.standaloneHost()) {
        // The stand-alone host reads these reserved indices as commands.
        const int rateIndex = command - kSampleRateBase;
        const int sizeIndex = command - kBufferSizeBase;
        const int audioIndex = command - kAudioDeviceBase;
        const int midiIndex = command - kMidiDeviceBase;
        if (rateIndex >= 0 && rateIndex < static_cast<int>(std::size(kSampleRates))) {
            settings.sampleRate = kSampleRates[rateIndex];
            effect_.setParameterAutomated(kParamSampleRateSetting, static_cast<float>(settings.sampleRate));
        } else if (sizeIndex >= 0 && sizeIndex < static_cast<int>(std::size(kBufferSizes))) {
            settings.bufferSize = kBufferSizes[sizeIndex];
            effect_.setParameterAutomated(kParamBufferSizeSetting, static_cast<float>(settings.bufferSize));
        } else if (audioIndex >= 0 && audioIndex < static_cast<int>(audioDevices_.size())) {
            vst_strncpy(settings.audioDevice, audioDevices_[static_cast<size_t>(audioIndex)].c_str(),
                        sizeof(settings.audioDevice));
            effect_.setParameterAutomated(kParamAudioDevice, 0.0f);
        } else if (midiIndex >= 0 && midiIndex < static_cast<int>(midiDevices_.size())) {
            vst_strncpy(settings.midiDevice, midiDevices_[static_cast<size_t>(midiIndex)].c_str(),
                        sizeof(settings.midiDevice));
            effect_.setParameterAutomated(kParamMidiDevice, 0.0f);
        }
    }
    return FollowUp::kNone;
}

void EditorModel::confirmNewBank() {
    effect_.resetUserBank();
    markDirty(kDirtyAll);
}

bool EditorModel::loadBank(const std::string& path) {
    const bool loaded = effect_.loadBankFile(path);
    markDirty(kDirtyAll);
    return loaded;
}

std::string EditorModel::saveBankAs(const std::string& path) { return effect_.saveBankFile(path); }

// ---- host gestures ----------------------------------------------------------

void EditorModel::beginGesture(int parameter, int second) {
    if (gestureParameter_ >= 0) endGesture();
    gestureParameter_ = parameter;
    gestureSecond_ = second;
    effect_.beginEdit(parameter);
    if (second >= 0) effect_.beginEdit(second);
}

void EditorModel::automate(int parameter, float value) { effect_.setParameterAutomated(parameter, value); }

void EditorModel::endGesture() {
    if (gestureParameter_ < 0) return;
    effect_.endEdit(gestureParameter_);
    if (gestureSecond_ >= 0) effect_.endEdit(gestureSecond_);
    gestureParameter_ = -1;
    gestureSecond_ = -1;
}

// ---- idle -------------------------------------------------------------------

void EditorModel::poll(uint32_t nowMs) {
    const bool led = effect_.midiActivity() > 0;
    if (led != ledOn_) {
        ledOn_ = led;
        markDirty(kDirtyLed);
    }
    if (saveOn_ && blinkStartPending_) {
        blinkStartPending_ = false;
        lastBlinkMs_ = nowMs;
    } else if (saveOn_) {
        if (nowMs - lastBlinkMs_ >= kSaveBlinkMs) {
            saveBlinkVisible_ = !saveBlinkVisible_;
            lastBlinkMs_ = nowMs;
            markDirty(kDirtyButtons);
        }
    }
    const int play = mirror_.playButton.exchange(-1);
    if (play >= 0) {
        playOn_ = play != 0;
        markDirty(kDirtyButtons);
    }
    const int preview = mirror_.previewSwitch.exchange(-1);
    if (preview >= 0) {
        previewOn_ = preview != 0;
        markDirty(kDirtyButtons);
    }
    if (mirror_.allDirty.exchange(false)) {
        // A program change: the controls follow the new program.
        const int tab = tab_;
        const bool save = saveOn_;
        initFromPlugin();
        tab_ = tab;
        saveOn_ = save;
        selectedPlanet_ = -1;
        selectedSatellite_ = -1;
        keyStripOpen_ = false;
        soloOn_ = false;
    }
    if (mirror_.padDirty.exchange(false)) markDirty(kDirtyPad);
    Effect::ProjectAccess reader(effect_);
    if (reader.admitted()) {
        for (auto& track : effect_.project()->tracks)
            if (track->changed.load()) {
                track->changed = false;
                markDirty(kDirtyPad);
            }
    }
}
