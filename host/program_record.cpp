#include "host/program_record.h"

#include <cstring>

ProgramRecord& ProgramRecord::operator=(const ProgramRecord& other) {
    if (this == &other) return *this;
    std::memcpy(projectName, other.projectName, sizeof(projectName));
    std::memcpy(programName, other.programName, sizeof(programName));
    tempo = other.tempo;
    playSwitch = other.playSwitch;
    arpeggiatorSwitch = other.arpeggiatorSwitch;
    muteKeySwitch = other.muteKeySwitch;
    muteKey = other.muteKey;
    liveTransposition = other.liveTransposition;
    playController = other.playController;
    for (int t = 0; t < kProgramTracks; ++t) {
        relaxedStore(trackLevel[t], relaxedLoad(other.trackLevel[t]));
        relaxedStore(trackPan[t], relaxedLoad(other.trackPan[t]));
    }
    for (int s = 0; s < kProgramSatellites; ++s)
        for (int v = 0; v < kSatelliteValues; ++v) relaxedStore(satellites[s][v], relaxedLoad(other.satellites[s][v]));
    for (int t = 0; t < kProgramTracks; ++t)
        editPatterns[t] = other.editPatterns[t] ? std::make_unique<ProgramPattern>(*other.editPatterns[t]) : nullptr;
    return *this;
}

std::string fieldText(const char* field, size_t bytes) { return std::string(field, strnlen(field, bytes)); }

void setField(char* field, size_t bytes, const std::string& text) {
    std::memset(field, 0, bytes);
    std::memcpy(field, text.data(), text.size() < bytes ? text.size() : bytes);
}
