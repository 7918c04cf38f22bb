#include "project/project.h"

#include "host/effect.h"

Project::Project(Effect& owner) : owner(owner) {}

Project::~Project() { unload(); }

void Project::unload() {
    for (auto& t : tracks) t->closeModules();
    tracks.clear();
    for (CPlugin& s : masterInserts) s.unload();
    for (CPlugin& s : sendSlots) s.unload();
    masterInsertOn[0] = 0.0f;
    masterInsertOn[1] = 0.0f;
    masterParameters.clear();
    presetSelected = -1.0f;
    presetMidi[0] = 0;
    presetMidi[1] = 0;
    presetMidi[2] = 1;
    demoEvents.clear();
    writtenTempoBpm = 120.0f;
}

void Project::closeModules() { unload(); }
