// Reader of Standard MIDI Files (formats 0, 1 and 2): every track's channel
// and system-exclusive events merged onto one timeline, their times turned
// into seconds through the file's tempo map (or its SMPTE time base).
// Untrusted input: every length is checked against the bytes that are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MidiFileEvent {
    uint64_t tick = 0;
    double seconds = 0.0;
    uint16_t track = 0;
    bool sysex = false;
    std::vector<uint8_t> bytes;  // a channel message, or F0 ... F7
};

struct MidiFile {
    int format = 0;
    int declaredTracks = 0;
    int tracksRead = 0;
    int ticksPerQuarter = 0;  // 0 when the file counts SMPTE frames
    double smpteTicksPerSecond = 0.0;
    bool hasTempo = false;
    double initialTempoBpm = 120.0;  // the tempo in force at tick 0
    bool hasTimeSignature = false;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    double endSeconds = 0.0;  // the latest end of track
    bool truncated = false;   // a track ran past the end of the file
    std::vector<MidiFileEvent> events;  // by time; at equal times by track, then file order
};

// False (with a message) when the bytes are not a MIDI file or a track is
// malformed: no header, a data byte without a status, an undefined status,
// an over-long variable-length number.
bool parseMidiFile(const uint8_t* data, size_t size, MidiFile& out, std::string& error);
