// One controllable parameter as a project declares it: a module parameter
// listed for automation (EVENT_PLUGIN_PARAM), a sound-ball target, or one of
// a track's fixed mix and MIDI parameters. Plain record; the project loader
// fills it, the render engine replays its automation, the balls map through
// its range.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One automation point: position in steps, value in the parameter's units.
struct EventPoint {
    float position = 0.0f;
    float value = 0.0f;
};

// What a descriptor addresses; the numbers are the ones projects store.
enum ParameterKind : int {
    kParameterKindMainModule = 0,
    kParameterKindMix = 1,
    kParameterKindInsert1 = 2,
    kParameterKindInsert2 = 3,
};

struct ParameterDescriptor {
    static constexpr int kTextBytes = 256;
    // One lane per pattern index 0 to 63: the sixteen patterns, and the
    // ranges 16 + p and 32 + p that the pattern block clears along with p.
    static constexpr int kLaneCount = 64;

    char name[kTextBytes] = {};
    char label[kTextBytes] = {};
    char display[kTextBytes] = {};
    float value = 0.0f;
    uint32_t colourRgb = 0;  // 0xRRGGBB
    // Module parameters travel as 0 to 1, so that is the range a descriptor
    // has until a project line gives another.
    float minimum = 0.0f;
    float maximum = 1.0f;
    float stepCount = 0.0f;  // 2 for switches, else 0
    int displayCode = 0;
    int index = 0;  // parameter index inside its family
    int kind = kParameterKindMainModule;
    bool resonance = false;  // the fetched name is exactly "FILTER Q"

    std::vector<EventPoint> events;  // automation without pattern reference
    std::array<std::vector<EventPoint>, kLaneCount> lanes;

    // Replay state kept by the render engine: the next point of the current
    // pattern's lane (rewound to 0 with the track's automation), and a switch
    // that takes the descriptor out of replay.
    int replayCursor = 0;
    bool replayExcluded = false;
};
