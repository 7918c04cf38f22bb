// The parts of a track that user programs store and restore: satellites
// (sound balls with at least one target, numbered across tracks in project
// order) and each track's edit pattern.
#pragma once

#include "host/program_record.h"

class CInstrument;
struct Project;

struct SatelliteRef {
    CInstrument* track = nullptr;
    int ball = -1;
};

// Satellite s of the project; false when there is none.
bool findSatellite(Project& project, int s, SatelliteRef& out);
// Calls f(satelliteNumber, ref) for the satellites of one track, numbered
// from first.
int countSatellites(const CInstrument& track);

const char* satelliteDisplayName(const SatelliteRef& ref);
float satelliteAxis(const SatelliteRef& ref, bool vertical);
// Sets x or y and queues a change notification with both flags clear.
void setSatelliteAxis(const SatelliteRef& ref, bool vertical, float value);
void readSatelliteValues(const SatelliteRef& ref, float values[kSatelliteValues]);
// Restores the nine values and queues a change notification with flag B.
void writeSatelliteValues(const SatelliteRef& ref, const float values[kSatelliteValues]);

void copyEditPattern(CInstrument& track, ProgramPattern& out);
// Replaces the track's edit pattern by a copy of pattern, or by an empty
// 16-step pattern when pattern is null.
void setEditPattern(CInstrument& track, const ProgramPattern* pattern);
