#include "project/project_loader.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "common/tempo_range.h"
#include "host/effect.h"
#include "modulehost/cplugin.h"
#include "modulehost/edit_section.h"
#include "modulehost/module_path.h"
#include "modulehost/module_registry.h"
#include "project/loader_context.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {

constexpr int kDemoFields = 5;

bool isStart(const ProjectLine& line) { return line.field(1) == "START"; }

// "MASTER_INSERT1_PLUGIN" -> 0, "EFFECT_3" -> 2: the slot number a key ends
// or is marked with.
int digitAt(std::string_view key, size_t position) { return key[position] - '1'; }

bool createEffectSlot(Effect& owner, CPlugin& slot, std::string_view path) {
    const std::string text(path);
    return slot.createModule(owner, text.c_str(), SlotKind::Effect, nullptr);
}

void readDemonstration(LoaderContext& c) {
    while (c.nextLine()) {
        const ProjectLine& line = c.line;
        if (line.is("PROGRAM_DEMO_END")) return;
        if (line.count() < kDemoFields) {
            skipRawRun(c);
            continue;
        }
        VstMidiEvent e;
        std::memset(&e, 0, sizeof(e));
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = line.integer(0);
        e.flags = kVstMidiEventIsRealtime;
        for (int b = 0; b < 3; ++b) e.midiData[b] = static_cast<char>(line.integer(static_cast<size_t>(b) + 1) & 0xFF);
        c.project.demoEvents.push_back(e);
    }
}

void createTrack(LoaderContext& c, std::string_view path) {
    // Tracks without a known module class are dropped before anything is
    // built for them; the class table is all creation would consult.
    const std::string text(path);
    if (c.project.tracks.size() >= kMaxTracks || findModuleClass(moduleFileTitle(text).c_str()) == nullptr) return;
    auto track = std::make_unique<CInstrument>(c.owner);
    if (!track->mainSlot().createModule(c.owner, text.c_str(), SlotKind::Instrument, track.get())) return;
    c.project.tracks.push_back(std::move(track));
    readTrackSection(c, *c.project.tracks.back());
}

void readMasterLine(LoaderContext& c) {
    const ProjectLine& line = c.line;
    Effect& owner = c.owner;
    Project& project = c.project;
    const std::string_view key = line.key();

    if (key == "TEMPO") {
        owner.projectTempo = repairTempo(line.real(1));
    } else if (key == "MASTER_LEVEL") {
        owner.masterLevel = line.real(1);
    } else if (key == "CROSSFADE") {
        owner.crossfade = line.real(1);
    } else if (key == "SYNCHRO_ON") {
        owner.synchroSwitch = line.real(1);
    } else if (key == "MASTER_TRANSPOSE") {
        owner.liveTransposition = line.real(1);
    } else if (key == "PRESET_SELECTED") {
        project.presetSelected = static_cast<float>(line.integer(1));
    } else if (key == "PRESET_MIDI") {
        for (int i = 0; i < 3; ++i) project.presetMidi[i] = line.integer(static_cast<size_t>(i) + 1);
    } else if (key == "MASTER_MIX_EVENTS") {
        const int index = line.integer(1);
        if (line.count() >= 4 && index >= 0 && static_cast<size_t>(index) < project.masterParameters.size())
            appendEventPairs(project.masterParameters[static_cast<size_t>(index)].events, line, 2);
    } else if (key == "MASTER_INSERT1_PLUGIN" || key == "MASTER_INSERT2_PLUGIN") {
        createEffectSlot(owner, project.masterInserts[digitAt(key, 13)], line.field(1));
    } else if (key == "MASTER_INSERT1_ON" || key == "MASTER_INSERT2_ON") {
        project.masterInsertOn[digitAt(key, 13)] = line.real(1);
    } else if (key == "MASTER_INSERT_PARAM_EVENTS_1" || key == "MASTER_INSERT_PARAM_EVENTS_2") {
        if (isStart(line)) readParameterEventsBlock(c, project.masterInserts[digitAt(key, key.size() - 1)]);
    } else if (key == "MASTER_INSERT_PRESET_1" || key == "MASTER_INSERT_PRESET_2") {
        if (isStart(line)) readPresetBlock(c, project.masterInserts[digitAt(key, key.size() - 1)]);
    } else if (key == "PLUGIN") {
        createTrack(c, line.field(1));
    } else if (key.size() == 8 && key.substr(0, 7) == "EFFECT_" && key[7] >= '1' && key[7] <= '4') {
        createEffectSlot(owner, project.sendSlots[digitAt(key, 7)], line.field(1));
    } else if (key.size() == 21 && key.substr(0, 20) == "EFFECT_PARAM_EVENTS_" && key[20] >= '1' && key[20] <= '4') {
        if (isStart(line)) readParameterEventsBlock(c, project.sendSlots[digitAt(key, 20)]);
    } else if (key.size() == 15 && key.substr(0, 14) == "EFFECT_PRESET_" && key[14] >= '1' && key[14] <= '4') {
        if (isStart(line)) readPresetBlock(c, project.sendSlots[digitAt(key, 14)]);
    } else {
        skipRawRun(c);
    }
}

}  // namespace

void loadProject(Effect& owner, const uint8_t* data, size_t size, const ProjectLoadOptions& options) {
    // Waits for the renderer and for host parameter calls that walk the
    // tracks, whichever is at work.
    EditSection section(owner, options.settleMs);
    Project& project = *owner.project();
    // Notes still waiting point at the slots about to go.
    owner.forgetPendingNotes();
    project.unload();
    owner.beginProjectLoad();

    ProjectStream stream(data, size);
    LoaderContext c(owner, project, stream);
    while (c.nextLine()) {
        if (c.line.is("PROGRAM_DEMO_BEGIN")) {
            readDemonstration(c);
            continue;
        }
        if (c.line.count() < 2) continue;
        readMasterLine(c);
    }

    for (auto& track : project.tracks) {
        track->recomputeAllBands();
        // The targets take the values the balls' positions give them, as a
        // user program applies them (flag B), so a project sounds the same
        // loaded as stored and restored, whatever its module states say.
        SoundBalls& balls = track->balls;
        for (int b = 0; b < balls.count(); ++b)
            if (balls.ball(b).hasTargets()) balls.notify(b, false, true);
    }
    // The demonstration's event times count frames at this tempo, whatever
    // tempo a program or the user sets later.
    owner.projectTempo = repairTempo(owner.projectTempo.load());
    project.writtenTempoBpm = owner.projectTempo.load();
    owner.endProjectLoad();
}

bool loadBuiltInProject(Effect& owner, const std::string& name) {
    platform::ResourceData resource;
    const std::string resourceName = name + ".prg";
    if (name.empty() || !platform::findResource("DATA", resourceName.c_str(), resource)) return false;
    // The loader works on its own copy, not on the resource image.
    const std::vector<uint8_t> bytes(resource.data, resource.data + resource.size);
    loadProject(owner, bytes.data(), bytes.size());
    return true;
}
