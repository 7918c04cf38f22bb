// Records where a ball's targets land.
#pragma once

#include <cstring>
#include <vector>

#include "balls/sound_balls.h"

struct RecordingSink : BallTargetSink {
    struct Call {
        int kind;
        int index;
        float value;
    };
    std::vector<Call> calls;
    void setBallModuleParameter(int kind, int index, float value) override { calls.push_back({kind, index, value}); }
    void setBallMixParameter(int index, float fraction) override { calls.push_back({1, index, fraction}); }
};

inline ParameterDescriptor target(int kind, int index, float minimum, float maximum, const char* display = "",
                                  bool resonance = false) {
    ParameterDescriptor d;
    d.kind = kind;
    d.index = index;
    d.minimum = minimum;
    d.maximum = maximum;
    std::strncpy(d.display, display, sizeof(d.display) - 1);
    d.resonance = resonance;
    return d;
}
