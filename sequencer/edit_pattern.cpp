#include "sequencer/edit_pattern.h"

#include <algorithm>

#include "sequencer/step_sink.h"

namespace {

constexpr int kCommandHit = 1;
constexpr int kCommandStop = 2;

std::vector<PatternNote>::iterator findNote(std::vector<PatternNote>& notes, int step, int key) {
    const float start = static_cast<float>(step);
    const float end = static_cast<float>(step + 1);
    return std::find_if(notes.begin(), notes.end(), [&](const PatternNote& n) {
        return n.key == key && n.position >= start && n.position < end;
    });
}

}  // namespace

void applyDrumPatternEdit(Pattern& editPattern, int step, int key, bool setVelocity, float command) {
    auto& notes = editPattern.notes;
    const int commandValue = integerPart(command, -1000, 1000);
    auto found = findNote(notes, step, key);
    if (setVelocity) {
        if (found != notes.end()) found->velocity = std::clamp(commandValue, 0, 127);
        return;
    }
    if (found != notes.end()) notes.erase(found);
    if (commandValue != kCommandHit && commandValue != kCommandStop) return;
    if (notes.size() >= notes.capacity()) return;

    PatternNote note;
    note.position = static_cast<float>(step);
    note.length = 1.0f;
    note.key = key;
    note.velocity = commandValue == kCommandHit ? 127 : 0;
    // After every note that starts at or before it, so the list stays in
    // position order and earlier edits of the step keep their place.
    auto at = std::upper_bound(notes.begin(), notes.end(), note.position,
                               [](float position, const PatternNote& n) { return position < n.position; });
    notes.insert(at, note);
}
