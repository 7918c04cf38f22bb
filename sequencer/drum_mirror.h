// The messages that tell a drum-machine module about its track's pattern:
// packed parameter indices above the module's own parameters, sent through
// its setParameter.
#pragma once

#include <cstdint>

#include "sequencer/pattern.h"

namespace drum_mirror {

constexpr int32_t kSelectedPattern = 0x500002;
constexpr int32_t kPatternLength = 0x500003;
constexpr int32_t kClearGrid = 0x500004;
constexpr int32_t kSwing = 0x500005;
constexpr int32_t kStepMode = 0x500006;
constexpr int32_t kChainMask = 0x500008;
constexpr int32_t kCurrentPattern = 0x500009;
constexpr int32_t kStepOn = 0x400000;        // + step + 128 * key
constexpr int32_t kStepVelocity = 0x480000;  // + step + 128 * key
constexpr int32_t kSendName = 0x510000;      // + send (0, 1)

// The step-mode code: chain wins over random, random over loop; -1 none.
float stepModeCode(const PatternStore& patterns);
// Chain flags as 16 bits, pattern 0 in the most significant one.
int chainMask(const PatternStore& patterns);

// Sends the whole picture through set(index, value). sendOn tells whether
// the track's sends 1 and 2 are on.
template <class Set>
void mirrorPattern(const PatternStore& patterns, int selected, int current, const bool sendOn[2], Set&& set) {
    if (selected < 0 || selected >= kNumPatterns) return;
    const Pattern& pattern = patterns.patterns[selected];
    set(kSelectedPattern, static_cast<float>(selected));
    set(kCurrentPattern, static_cast<float>(current));
    set(kClearGrid, 0.0f);
    // Steps and keys share the index bits; anything outside 0..127 would
    // land on another pad or step.
    auto inGrid = [](const PatternNote& n) {
        return n.position >= 0.0f && n.position < 128.0f && n.key >= 0 && n.key <= 127;
    };
    for (const PatternNote& n : pattern.notes)
        if (inGrid(n)) set(kStepOn + static_cast<int32_t>(n.position) + 128 * n.key, 1.0f);
    for (const PatternNote& n : pattern.notes)
        if (inGrid(n))
            set(kStepVelocity + static_cast<int32_t>(n.position) + 128 * n.key, static_cast<float>(n.velocity));
    set(kChainMask, static_cast<float>(chainMask(patterns)));
    set(kStepMode, stepModeCode(patterns));
    set(kPatternLength, pattern.lengthSteps);
    set(kSwing, patterns.swing);
    // A send effect's name cannot travel as a float: whether the send is on
    // goes here, the name itself as a vendor-specific call of the same index.
    set(kSendName + 0, sendOn[0] ? 1.0f : 0.0f);
    set(kSendName + 1, sendOn[1] ? 1.0f : 0.0f);
}

}  // namespace drum_mirror
