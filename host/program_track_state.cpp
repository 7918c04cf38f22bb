#include "host/program_track_state.h"

#include <algorithm>
#include <cmath>

#include "project/project.h"
#include "track/instrument.h"

namespace {

SoundBall& ballOf(const SatelliteRef& ref) { return ref.track->balls.ball(ref.ball); }

}  // namespace

bool findSatellite(Project& project, int s, SatelliteRef& out) {
    if (s < 0) return false;
    int seen = 0;
    for (auto& track : project.tracks) {
        SoundBalls& balls = track->balls;
        for (int b = 0; b < balls.count(); ++b) {
            if (!balls.ball(b).hasTargets()) continue;
            if (seen == s) {
                out.track = track.get();
                out.ball = b;
                return true;
            }
            ++seen;
        }
    }
    return false;
}

int countSatellites(const CInstrument& track) {
    const auto& list = track.balls.list();
    return static_cast<int>(std::count_if(list.begin(), list.end(), [](const SoundBall& b) { return b.hasTargets(); }));
}

const char* satelliteDisplayName(const SatelliteRef& ref) { return ballOf(ref).displayName; }

float satelliteAxis(const SatelliteRef& ref, bool vertical) {
    const SoundBall& b = ballOf(ref);
    return vertical ? b.y.load() : b.x.load();
}

void setSatelliteAxis(const SatelliteRef& ref, bool vertical, float value) {
    SoundBall& b = ballOf(ref);
    (vertical ? b.y : b.x) = value;
    ref.track->balls.notify(ref.ball, false, false);
}

void readSatelliteValues(const SatelliteRef& ref, float values[kSatelliteValues]) {
    const SoundBall& b = ballOf(ref);
    values[0] = b.x.load();
    values[1] = b.y.load();
    values[2] = b.randomRate.load();
    values[3] = b.velocityX.load();
    values[4] = b.velocityY.load();
    values[5] = b.flyOn.load();
    values[6] = b.flySpeed.load();
    values[7] = b.flyDirection.load();
    values[8] = b.fullRange.load();
}

void writeSatelliteValues(const SatelliteRef& ref, const float values[kSatelliteValues]) {
    SoundBall& b = ballOf(ref);
    // A stored value that is not finite is no setting: the ball keeps the
    // one it has rather than carrying it to its targets.
    auto take = [](auto& field, float v) {
        if (std::isfinite(v)) field = v;
    };
    take(b.x, values[0]);
    take(b.y, values[1]);
    take(b.randomRate, values[2]);
    take(b.velocityX, values[3]);
    take(b.velocityY, values[4]);
    take(b.flyOn, values[5]);
    take(b.flySpeed, values[6]);
    take(b.flyDirection, values[7]);
    take(b.fullRange, values[8]);
    // Flag B: a stored program does not undo what a pattern's random
    // targets are doing.
    ref.track->balls.notify(ref.ball, false, true);
}

void copyEditPattern(CInstrument& track, ProgramPattern& out) {
    const Pattern& edit = track.patterns.editPattern;
    out.lengthSteps = edit.lengthSteps;
    out.notes.clear();
    out.notes.reserve(edit.notes.size());
    for (const PatternNote& n : edit.notes) out.notes.push_back(ProgramNote{n.position, n.length, n.key, n.velocity});
}

void setEditPattern(CInstrument& track, const ProgramPattern* pattern) {
    Pattern& edit = track.patterns.editPattern;
    edit.notes.clear();
    if (pattern == nullptr) {
        edit.lengthSteps = 16.0f;
        return;
    }
    edit.lengthSteps = pattern->lengthSteps;
    // The edit pattern keeps its reserved capacity for the audio thread's
    // insertions; a stored pattern longer than that is cut. A chunk's notes
    // come in whatever order its writer chose, and a note without a finite
    // place could never be found: such notes are dropped, the rest sorted
    // as the project loader sorts them.
    for (const ProgramNote& n : pattern->notes) {
        if (edit.notes.size() >= static_cast<size_t>(kPatternNoteCapacity)) break;
        if (!std::isfinite(n.position) || !std::isfinite(n.length)) continue;
        edit.notes.push_back(PatternNote{n.position, n.length, n.key, n.velocity});
    }
    sortByPosition(edit.notes);
}
