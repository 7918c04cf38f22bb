// Drives one TrackSequencer step by step with a fake step length and records
// what it schedules. Every step starts at offset step * stepFrames, so the
// recorded frames read as one timeline.
#pragma once

#include <vector>

#include "sequencer/track_sequencer.h"

struct ScheduledNote {
    int key;
    int velocity;
    int frame;
    int transposition;
};

struct StoppedKey {
    int key;
    int frame;
};

class RecordingSink : public StepSink {
public:
    void scheduleNote(int key, int velocity, int frameOffset, int transposition) override {
        notes.push_back({key, velocity, frameOffset, transposition});
    }
    void stopKey(int key, int frameOffset) override { stops.push_back({key, frameOffset}); }
    void rewindAutomation() override { ++rewinds; }
    void selectionFollowed() override { ++follows; }
    void stepNumberReached() override { ++stepNumberReports; }
    void randomBallJumps(int stepPosition) override { ballPositions.push_back(stepPosition); }

    std::vector<ScheduledNote> ons() const;
    std::vector<ScheduledNote> offs() const;

    std::vector<ScheduledNote> notes;
    std::vector<StoppedKey> stops;
    std::vector<int> ballPositions;
    int rewinds = 0;
    int follows = 0;
    int stepNumberReports = 0;
};

struct SequencerRig {
    static constexpr double kStepFrames = 1000.0;

    SequencerRig();
    // One step; ownerStep defaults to the running count of steps.
    void step();
    void stepAt(int ownerStep);
    void steps(int n);
    void addNote(int pattern, float position, float length, int key, int velocity = 100);
    void holdKeys(std::vector<int> keys);

    PatternStore patterns;
    TrackSequencer sequencer;
    StepEnvironment env;
    RecordingSink sink;
    std::vector<int> held;
    int ownerStep = 0;
    // The current pattern after each step.
    std::vector<int> currentAfterStep;
};
