// One of the 24 user program slots: a built-in project name plus the
// performance state stored on top of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int kProgramTracks = 8;
constexpr int kProgramSatellites = 32;
constexpr int kSatelliteValues = 9;  // x, y, random rate, velocity x, velocity y, fly on, fly speed, fly direction, full range
constexpr int kProjectNameBytes = 128;
constexpr int kProgramNameBytes = 24;

// Track levels, pans and satellite values of the current program are also
// written by setParameter, which may run on any thread and takes no lock;
// every access to those three arrays goes through these relaxed accessors.
inline float relaxedLoad(const float& f) { return std::atomic_ref<float>(const_cast<float&>(f)).load(std::memory_order_relaxed); }
inline void relaxedStore(float& f, float v) { std::atomic_ref<float>(f).store(v, std::memory_order_relaxed); }

struct ProgramNote {
    float position = 0.0f;
    float length = 0.0f;
    int key = 0;
    int velocity = 0;
};

// An edit pattern as a program stores it.
struct ProgramPattern {
    float lengthSteps = 16.0f;
    std::vector<ProgramNote> notes;
};

struct ProgramRecord {
    // Texts are zero-padded; a name that fills its field has no terminator.
    char projectName[kProjectNameBytes] = {};
    char programName[kProgramNameBytes] = {'-'};
    float tempo = 120.0f;
    float playSwitch = 1.0f;
    float arpeggiatorSwitch = 1.0f;
    float muteKeySwitch = 0.0f;
    float muteKey = 48.0f;
    float liveTransposition = 0.0f;
    float playController = 0.0f;
    float trackLevel[kProgramTracks] = {64, 64, 64, 64, 64, 64, 64, 64};
    float trackPan[kProgramTracks] = {};
    float satellites[kProgramSatellites][kSatelliteValues] = {};
    std::unique_ptr<ProgramPattern> editPatterns[kProgramTracks];

    ProgramRecord() = default;
    ProgramRecord(const ProgramRecord& other) { *this = other; }
    ProgramRecord& operator=(const ProgramRecord& other);
};

// The text of a zero-padded name field, and a text written into one (cut at
// the field's size, the rest zeroed).
std::string fieldText(const char* field, size_t bytes);
void setField(char* field, size_t bytes, const std::string& text);
