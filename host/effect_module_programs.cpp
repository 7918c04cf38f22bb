// The editor's choice of a sound for a track: a program change of the
// track's main module, carried out by the audio thread between two blocks.
#include <algorithm>

#include "host/effect.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "track/instrument.h"

bool Effect::requestMainModuleProgram(int track, int program) {
    ProjectAccess access(*this);
    if (!access.admitted()) return false;
    if (track < 0 || static_cast<size_t>(track) >= project_->tracks.size()) return false;
    CPlugin& slot = project_->tracks[static_cast<size_t>(track)]->mainSlot();
    if (!slot.loaded() || program < 0 || program >= slot.programCount()) return false;
    return moduleProgramRequests_.request(track, program, projectLoads_.load());
}

void Effect::applyModuleProgramRequests() {
    Project& project = *project_;
    moduleProgramRequests_.drain(projectLoads_.load(), [&](const ModuleProgramRequests::Request& r) {
        if (static_cast<size_t>(r.track) >= project.tracks.size()) return;
        CInstrument& track = *project.tracks[static_cast<size_t>(r.track)];
        if (!track.mainSlot().selectProgram(r.program)) return;
        moduleProgramRequests_.setCurrent(r.track, r.program);
        // The new program brings its own values for what the satellites
        // drive; the satellites take their targets back, so the pad still
        // tells what sounds and the next drag starts where the ball is.
        SoundBalls& balls = track.balls;
        for (int b = 0; b < balls.count(); ++b)
            if (balls.ball(b).hasTargets()) balls.notify(b, false, true);
        track.changed = true;
    });
    // A module also changes its program on its own, on a program change its
    // track's automation lane sends it: what the editor shows as current is
    // read back from every main module before each block.
    const size_t tracks = std::min(project.tracks.size(), static_cast<size_t>(ModuleProgramRequests::kMaxTracks));
    for (size_t t = 0; t < tracks; ++t) {
        CPlugin& slot = project.tracks[t]->mainSlot();
        if (slot.loaded())
            moduleProgramRequests_.setCurrent(static_cast<int>(t),
                                              static_cast<int>(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f)));
    }
}

void Effect::mirrorMainModulePrograms() {
    moduleProgramRequests_.forgetAll();
    Project& project = *project_;
    for (size_t t = 0; t < project.tracks.size() && t < static_cast<size_t>(ModuleProgramRequests::kMaxTracks); ++t) {
        CPlugin& slot = project.tracks[t]->mainSlot();
        if (slot.loaded())
            moduleProgramRequests_.setCurrent(static_cast<int>(t),
                                              static_cast<int>(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f)));
    }
}
