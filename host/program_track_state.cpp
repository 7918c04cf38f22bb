#include "host/program_track_state.h"

#include "project/project.h"
#include "track/instrument.h"

// Until tracks carry sound balls and patterns there are no satellites and
// no edit patterns to store.
bool findSatellite(Project& /*project*/, int /*s*/, SatelliteRef& /*out*/) { return false; }
int countSatellites(const CInstrument& /*track*/) { return 0; }
const char* satelliteDisplayName(const SatelliteRef& /*ref*/) { return ""; }
float satelliteAxis(const SatelliteRef& /*ref*/, bool /*vertical*/) { return 0.0f; }
void setSatelliteAxis(const SatelliteRef& /*ref*/, bool /*vertical*/, float /*value*/) {}
void readSatelliteValues(const SatelliteRef& /*ref*/, float values[kSatelliteValues]) {
    for (int i = 0; i < kSatelliteValues; ++i) values[i] = 0.0f;
}
void writeSatelliteValues(const SatelliteRef& /*ref*/, const float* /*values*/) {}
void copyEditPattern(CInstrument& /*track*/, ProgramPattern& out) { out = ProgramPattern{}; }
void setEditPattern(CInstrument& /*track*/, const ProgramPattern* /*pattern*/) {}
