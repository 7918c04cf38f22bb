#include "editor/right_panel_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "balls/ball_motion.h"
#include "editor/editor_model.h"
#include "host/effect.h"
#include "host/program_track_state.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "track/instrument.h"

using right_panel::Page;

namespace {

constexpr int kMaxListedPlanets = right_panel::kVisibleRows;
constexpr size_t kModuleTextBytes = 256;

// Fly is on while the switch's integer part is not zero.
bool flyIsOn(float flyOn) { return std::fabs(flyOn) >= 1.0f; }

CInstrument* trackAt(Project& project, int track) {
    if (track < 0 || static_cast<size_t>(track) >= project.tracks.size()) return nullptr;
    return project.tracks[static_cast<size_t>(track)].get();
}

std::string moduleText(CPlugin& slot, VstInt32 opcode, VstInt32 index) {
    char text[kModuleTextBytes] = {};
    slot.dispatch(opcode, index, 0, text, 0.0f);
    text[kModuleTextBytes - 1] = 0;
    return text;
}

CPlugin* targetSlot(CInstrument& track, int kind) {
    switch (kind) {
        case kParameterKindMainModule: return &track.mainSlot();
        case kParameterKindInsert1: return &track.insertSlot(0);
        case kParameterKindInsert2: return &track.insertSlot(1);
        default: return nullptr;
    }
}

// What the ball sends a module target: the value of its axis through the
// target's range (the whole pad in full range, except for resonance
// targets of a flying ball, which keep their range), on the 0..1 scale.
float sentValue(const SoundBall& ball, const ParameterDescriptor& d, float position) {
    const bool fullRange = ball.fullRange.load() != 0.0f;
    const bool flying = flyIsOn(ball.flyOn.load());
    float m = position;
    if (!fullRange || (flying && d.resonance)) m = d.minimum + (d.maximum - d.minimum) * position / 128.0f;
    return m / 128.0f;
}

}  // namespace

RightPanelModel::RightPanelModel(EditorModel& editor) : editor_(editor) {}

void RightPanelModel::showPage(Page page) {
    page_ = page;
    editor_.markDirty(EditorModel::kDirtySelection);
}

void RightPanelModel::selectionChanged() {
    const int satellite = editor_.selectedSatellite();
    if (satellite >= 0 && satellite != shownSatellite_ && page_ == Page::kPlanets) page_ = Page::kSatellite;
    shownSatellite_ = satellite;
}

// ---- planet list ----------------------------------------------------------

std::vector<PlanetRow> RightPanelModel::planets() {
    std::vector<PlanetRow> rows;
    Effect& effect = editor_.effect();
    Effect::ProjectAccess access(effect);
    if (!access.admitted()) return rows;
    for (auto& track : effect.project()->tracks) {
        if (static_cast<int>(rows.size()) >= kMaxListedPlanets) break;
        PlanetRow row;
        row.name = track->title;
        if (track->mainSlot().loaded()) row.module = track->mainSlot().product();
        rows.push_back(std::move(row));
    }
    return rows;
}

bool RightPanelModel::clickPlanetRow(int row) {
    if (row < 0 || row >= kMaxListedPlanets) return false;
    {
        Effect& effect = editor_.effect();
        Effect::ProjectAccess access(effect);
        if (!access.admitted() || trackAt(*effect.project(), row) == nullptr) return false;
    }
    if (row == editor_.selectedPlanet()) {
        editor_.selectPlanet(-1);
    } else {
        editor_.selectPlanet(row);
        editor_.setKeyStripOpen(false);
    }
    return true;
}

// ---- satellite controls -----------------------------------------------------

SatelliteControls RightPanelModel::satellite() {
    SatelliteControls c;
    Effect& effect = editor_.effect();
    Effect::ProjectAccess access(effect);
    if (!access.admitted() || editor_.selectedSatellite() < 0) return c;
    SatelliteRef ref;
    if (!findSatellite(*effect.project(), editor_.selectedSatellite(), ref)) return c;
    const SoundBall& ball = ref.track->balls.ball(ref.ball);
    c.present = true;
    c.planet = ref.track->title;
    c.name = ball.displayName;
    c.fullRange = ball.fullRange.load() != 0.0f;
    c.fly = flyIsOn(ball.flyOn.load());
    c.randomRate = ball.randomRate.load();
    c.flySpeed = ball.flySpeed.load();
    c.flyDirection = ball.flyDirection.load();
    return c;
}

template <class Write>
void RightPanelModel::writeBall(Write write) {
    {
        Effect& effect = editor_.effect();
        Effect::ProjectAccess access(effect);
        if (!access.admitted() || editor_.selectedSatellite() < 0) return;
        SatelliteRef ref;
        if (!findSatellite(*effect.project(), editor_.selectedSatellite(), ref)) return;
        write(ref.track->balls.ball(ref.ball));
    }
    editor_.storeSelectedBalls();
    editor_.markDirty(EditorModel::kDirtySelection);
}

void RightPanelModel::toggleFullRange() {
    writeBall([](SoundBall& b) { b.fullRange = b.fullRange.load() != 0.0f ? 0.0f : 1.0f; });
}

void RightPanelModel::toggleFly() {
    writeBall([](SoundBall& b) {
        b.flyOn = flyIsOn(b.flyOn.load()) ? 0.0f : 1.0f;
    });
}

void RightPanelModel::clickRandomCell(int cell) {
    writeBall([cell](SoundBall& b) { b.randomRate = right_panel::randomRateAfterClick(b.randomRate.load(), cell); });
}

void RightPanelModel::setFlySpeed(float speed) {
    writeBall([speed](SoundBall& b) { b.flySpeed = std::clamp(speed, 0.0f, 1.0f); });
}

void RightPanelModel::setFlyDirection(float direction) {
    writeBall([direction](SoundBall& b) { b.flyDirection = std::clamp(direction, 0.0f, 1.0f); });
}

// ---- params -------------------------------------------------------------------

ParamsSheet::Target RightPanelModel::describeTarget(CInstrument& track, const SoundBall& ball,
                                                    const ParameterDescriptor& d, bool vertical, float position) {
    ParamsSheet::Target t;
    t.vertical = vertical;
    t.name = d.name;
    if (d.kind == kParameterKindMix) {
        if (d.index >= 0 && d.index < kNumMixParameters) {
            if (t.name.empty()) t.name = track.mixParameter(d.index).name;
            char value[32];
            std::snprintf(value, sizeof(value), "%.1f", static_cast<double>(track.mixParameterValue(d.index)));
            t.value = value;
        }
        return t;
    }
    CPlugin* slot = targetSlot(track, d.kind);
    if (slot == nullptr || !slot->loaded()) return t;
    if (t.name.empty()) t.name = texts_.name(slot->path(), d.index);
    // A target whose range is a single value is never sent: the module
    // keeps what it has, which only its own thread may read.
    if (d.minimum == d.maximum) return t;
    t.value = texts_.text(slot->path(), d.index, sentValue(ball, d, position));
    if (t.value.empty()) t.value = d.display;
    return t;
}

ParamsSheet RightPanelModel::params() {
    ParamsSheet sheet;
    Effect& effect = editor_.effect();
    Effect::ProjectAccess access(effect);
    if (!access.admitted()) return sheet;
    Project& project = *effect.project();
    CInstrument* track = trackAt(project, editor_.selectedPlanet());
    if (track == nullptr) return sheet;
    sheet.planet = true;
    sheet.planetName = track->title;
    if (track->mainSlot().loaded()) sheet.moduleName = track->mainSlot().product();
    SatelliteRef selected;
    const bool hasSelected =
        editor_.selectedSatellite() >= 0 && findSatellite(project, editor_.selectedSatellite(), selected);
    for (int b = 0; b < track->balls.count(); ++b) {
        const SoundBall& ball = track->balls.ball(b);
        if (!ball.hasTargets()) continue;
        if (hasSelected && selected.track == track && selected.ball == b) {
            sheet.selected = static_cast<int>(sheet.satellites.size());
            float e, f;
            effectiveBallPosition(ball.x.load(), ball.y.load(), track->padState(), e, f);
            for (const ParameterDescriptor& d : ball.horizontal)
                sheet.targets.push_back(describeTarget(*track, ball, d, false, e));
            for (const ParameterDescriptor& d : ball.vertical)
                sheet.targets.push_back(describeTarget(*track, ball, d, true, f));
        }
        sheet.satellites.emplace_back(ball.displayName);
    }
    return sheet;
}

// ---- sounds -------------------------------------------------------------------

namespace {
bool unnamedProgram(const std::string& name) { return name.empty() || name == "-"; }
}  // namespace

const std::vector<SoundEntry>& RightPanelModel::sounds() {
    Effect& effect = editor_.effect();
    const int planet = editor_.selectedPlanet();
    const int load = effect.projectLoadCount();
    const int current = effect.mainModuleProgram(planet);
    if (planet == soundsTrack_ && load == soundsLoad_ && current == soundsCurrent_) return sounds_;
    Effect::ProjectAccess access(effect);
    if (!access.admitted()) return sounds_;
    const bool sameList = planet == soundsTrack_ && load == soundsLoad_;
    sounds_.clear();
    soundsTrack_ = planet;
    soundsLoad_ = load;
    soundsCurrent_ = current;
    CInstrument* track = trackAt(*effect.project(), planet);
    if (track == nullptr || !track->mainSlot().loaded()) {
        soundScroll_ = 0;
        return sounds_;
    }
    CPlugin& slot = track->mainSlot();
    bool initListed = false;
    for (VstInt32 p = 0; p < slot.programCount(); ++p) {
        SoundEntry entry;
        entry.program = p;
        entry.name = moduleText(slot, effGetProgramNameIndexed, p);
        if (unnamedProgram(entry.name)) {
            if (initListed && p != current) continue;
            initListed = true;
            entry.name = "Init";
            entry.init = true;
        }
        sounds_.push_back(std::move(entry));
    }
    if (!sameList) {
        // The list opens with the sound that plays in view.
        soundScroll_ = 0;
        for (size_t i = 0; i < sounds_.size(); ++i)
            if (sounds_[i].program == current) scrollSounds(static_cast<int>(i) - right_panel::kVisibleRows / 2 + 1);
    } else {
        scrollSounds(0);
    }
    return sounds_;
}

int RightPanelModel::currentSound() { return editor_.effect().mainModuleProgram(editor_.selectedPlanet()); }

bool RightPanelModel::chooseSound(int entry) {
    const int planet = editor_.selectedPlanet();
    const std::vector<SoundEntry>& list = sounds();
    if (planet < 0 || entry < 0 || entry >= static_cast<int>(list.size())) return false;
    return editor_.effect().requestMainModuleProgram(planet, list[static_cast<size_t>(entry)].program);
}

void RightPanelModel::scrollSounds(int rows) {
    const int most = std::max(0, static_cast<int>(sounds_.size()) - right_panel::kVisibleRows);
    soundScroll_ = std::clamp(soundScroll_ + rows, 0, most);
}
