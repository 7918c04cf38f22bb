// A track's pattern store: sixteen note patterns, the edit pattern, their
// lengths and chain flags, the step mode and swing. The project loader fills
// it; the sequencer plays it on the audio thread.
#pragma once

#include <algorithm>
#include <vector>

constexpr int kNumPatterns = 16;
// Notes one pattern keeps room for; the audio thread inserts into the edit
// pattern without allocating up to this many.
constexpr int kPatternNoteCapacity = 1024;

struct PatternNote {
    float position = 0.0f;  // steps from the pattern start
    float length = 0.0f;    // steps
    int key = 0;
    int velocity = 0;       // 0 in the edit pattern stops the key
};

struct Pattern {
    Pattern() { notes.reserve(kPatternNoteCapacity); }
    float lengthSteps = 16.0f;
    int chain = 0;
    // Ascending position order.
    std::vector<PatternNote> notes;
};

// Playback searches a pattern's notes by position, so every writer keeps them
// in ascending position order; notes at one position keep the order they
// came in. Positions must be finite.
inline void sortByPosition(std::vector<PatternNote>& notes) {
    std::stable_sort(notes.begin(), notes.end(),
                     [](const PatternNote& a, const PatternNote& b) { return a.position < b.position; });
}

struct PatternStore {
    Pattern patterns[kNumPatterns];
    Pattern editPattern;
    // Loop, chain, random.
    float stepMode[3] = {1.0f, 0.0f, 0.0f};
    float swing = 0.0f;

    // The pattern-block reset of a project load.
    void reset() {
        for (Pattern& p : patterns) {
            p.lengthSteps = 16.0f;
            p.chain = 0;
            p.notes.clear();
        }
        stepMode[0] = 1.0f;
        stepMode[1] = 0.0f;
        stepMode[2] = 0.0f;
        swing = 0.0f;
    }
};
