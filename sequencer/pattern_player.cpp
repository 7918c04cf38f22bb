#include "sequencer/pattern_player.h"

#include <algorithm>

namespace {

// The keyboard-gated mode transposes by the distance of each held key from
// this key (C2), so holding it plays the pattern as written.
constexpr int kGateRootKey = 36;

int clampVelocity(int velocity) { return std::clamp(velocity, 0, 127); }

}  // namespace

void playPatternStep(const Pattern& pattern, int step, const PatternPlayContext& context, StepSink& sink) {
    const auto& notes = pattern.notes;
    const float stepStart = static_cast<float>(step);
    const float stepEnd = static_cast<float>(step + 1);
    auto it = std::lower_bound(notes.begin(), notes.end(), stepStart,
                               [](const PatternNote& n, float position) { return n.position < position; });

    const double b = context.stepFrames;
    int swingFrames = 0;
    if ((step & 1) != 0) swingFrames = framesFromSteps(b * static_cast<double>(context.swing));

    for (; it != notes.end() && it->position < stepEnd; ++it) {
        const PatternNote& note = *it;
        if (!(note.position >= stepStart)) continue;  // NaN from damaged data
        int time = context.offsetFrames + framesFromSteps((note.position - stepStart) * b) + swingFrames;
        time = std::max(time, 0);

        if (context.editPattern && note.velocity == 0) {
            sink.stopKey(note.key, time);
            break;
        }

        // Notes end at the latest a pattern length after their position.
        double lengthSteps = note.length;
        const double limit = static_cast<double>(note.position) + static_cast<double>(pattern.lengthSteps);
        if (lengthSteps > limit) lengthSteps = limit;
        if (!(lengthSteps >= 0.0)) lengthSteps = 0.0;
        const int end = std::max(time + framesFromSteps(b * lengthSteps), time + 1);
        const int velocity = clampVelocity(note.velocity);

        if (!context.keyboardGated) {
            if (note.key < 0 || note.key > 127) continue;
            sink.scheduleNote(note.key, velocity, time, context.transposition);
            sink.scheduleNote(note.key, 0, end, context.transposition);
            continue;
        }
        for (int h = 0; h < context.heldKeyCount; ++h) {
            const int key = note.key + context.heldKeys[h] - kGateRootKey;
            if (key < 0 || key > 127) continue;
            sink.scheduleNote(key, velocity, time, context.transposition);
            sink.scheduleNote(key, 0, end, context.transposition);
        }
    }
}
