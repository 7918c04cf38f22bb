// One thing the renderer delivers to the plug-in at a frame of the timeline:
// a MIDI channel message, a system-exclusive dump or a parameter change.
#pragma once

#include <cstdint>
#include <vector>

struct TimedEvent {
    enum class Kind { Midi, Sysex, Parameter };
    int64_t frame = 0;
    Kind kind = Kind::Midi;
    std::vector<uint8_t> bytes;  // Midi: 1 to 3 bytes, status first; Sysex: the whole dump
    int32_t parameterIndex = 0;
    float parameterValue = 0.0f;
};

// Orders by frame and keeps the given order among events of one frame, which
// is the order a sequencer sends them in.
void sortByFrame(std::vector<TimedEvent>& events);
