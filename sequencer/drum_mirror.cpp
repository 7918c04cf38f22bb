#include "sequencer/drum_mirror.h"

namespace drum_mirror {

float stepModeCode(const PatternStore& patterns) {
    if (patterns.stepMode[1] != 0.0f) return 1.0f;
    if (patterns.stepMode[2] != 0.0f) return 2.0f;
    if (patterns.stepMode[0] != 0.0f) return 0.0f;
    return -1.0f;
}

int chainMask(const PatternStore& patterns) {
    int mask = 0;
    for (int p = 0; p < kNumPatterns; ++p)
        if (patterns.patterns[p].chain != 0) mask |= 1 << (kNumPatterns - 1 - p);
    return mask;
}

}  // namespace drum_mirror
