// Plays the notes of one pattern that start inside one step.
#pragma once

#include "sequencer/pattern.h"
#include "sequencer/step_sink.h"

struct PatternPlayContext {
    double stepFrames = 0.0;  // length of a step in samples
    int offsetFrames = 0;     // where the step begins in the current block
    float swing = 0.0f;       // fraction of a step added on odd steps
    int transposition = 0;
    bool keyboardGated = false;
    const int* heldKeys = nullptr;
    int heldKeyCount = 0;
    // The edit pattern: a note with velocity 0 stops its key and ends the step.
    bool editPattern = false;
};

// Schedules every note of the pattern whose position lies in [step, step + 1).
// The notes must be in ascending position order.
void playPatternStep(const Pattern& pattern, int step, const PatternPlayContext& context, StepSink& sink);
