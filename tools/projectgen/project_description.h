// A built-in project as the authoring tool describes it, before it becomes
// project text. Values are in the units the text format stores (levels and
// ball positions 0 to 127, pan -1 to 1), except where a name says otherwise.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tools/projectgen/module_state.h"

namespace projectgen {

// Targets of a sound ball, by kind: 0 the track's instrument, 1 its mixer,
// 2 and 3 its inserts. Minimum and maximum are on the ball's 0-128 scale.
struct BallTarget {
    int kind = 0;
    int index = 0;
    float minimum = 0.0f;
    float maximum = 128.0f;
};

struct BallSpec {
    std::string name;
    float x = 64.0f;
    float y = 64.0f;  // as the ball sits on the pad (the file stores 128 - y)
    int randomRate = 0;
    int midiChannel = 0, xController = 0, yController = 0;
    float flyOn = 0.0f, flySpeed = 0.0f, flyDirection = 0.0f;
    std::vector<BallTarget> horizontal, vertical;
};

struct PatternNoteSpec {
    float position = 0.0f;
    int key = 60;
    float length = 1.0f;
    int velocity = 100;
};

struct PatternSpec {
    int number = 0;
    float lengthSteps = 16.0f;
    int chain = 0;
    std::vector<PatternNoteSpec> notes;
};

// A module slot: a module path and the module's state.
struct SlotSpec {
    std::string path;
    std::shared_ptr<ModuleState> module;
    float on = 1.0f;
    int programIndex = 0;
    bool used() const { return module != nullptr; }
};

struct TrackSpec {
    std::string title;
    SlotSpec instrument;
    SlotSpec inserts[2];
    float level = 90.0f;
    float pan = 0.0f;
    std::array<float, 4> sendOn{};
    std::array<float, 4> sendLevel{};
    float eqOn = 0.0f;
    std::array<float, 3> eqFrequencyHz{100.0f, 500.0f, 2000.0f};
    std::array<float, 3> eqResonance{0.707f, 0.707f, 0.707f};
    std::array<float, 3> eqGain{};  // -1 to 1 (-20 to +20 dB)
    int midiChannel = 1;
    int keyFrom = 0, keyTo = 127;
    float keyboardOn = 1.0f, keyboardGated = 0.0f;  // keyboard on: the track takes notes
    float crossfadeA = 0.0f, crossfadeB = 0.0f;     // crossfade group membership
    std::array<float, 10> arpeggiator{};  // ARPEG_ON, _MODE, _HOLE, _EXT, _EXTMODE, _VELOCITY, _INTERVAL, _GATETIME, _TEMPO, _SWING
    int patternSelected = 0;
    int stepMode = 1;  // 1 loop, 2 chain, 3 random
    float swing = 0.0f;
    std::vector<PatternSpec> patterns;
    std::vector<BallSpec> balls;
};

// One MIDI message of the demonstration, at a time in steps (sixteenth
// notes) from its start.
struct DemoEvent {
    double step = 0.0;
    int status = 0x90, data1 = 60, data2 = 100;
};

struct ProjectSpec {
    std::string name;
    float tempo = 130.0f;
    float masterLevel = 110.0f;
    float crossfade = 63.0f;
    SlotSpec masterInserts[2];
    SlotSpec sends[4];
    std::vector<TrackSpec> tracks;
    std::vector<DemoEvent> demo;
    // The mute key of the user program that holds the project (the project
    // file has no place for it): while its switch is on, the output sounds
    // only as long as the key is held.
    bool muteKeyGiven = false;
    int muteKey = 48;
    bool muteKeySwitch = false;
};

}  // namespace projectgen
