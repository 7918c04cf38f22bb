// The four 128-entry gain curves that turn 0..127 controls into linear gains.
// Each is two exponential segments meeting without a step; entry 0 is the
// silence gain 1e-6 so that smoothed paths never reach 0 (no denormals).
#pragma once

struct GainTables {
    float level[128];        // T1: master and send levels, 0.25 at 63, 1 at 127
    float trackLevel[128];   // T2: track level, 0.25 at 63, 2 at 127
    float planetLevel[128];  // T3: planet level, 1 at 63, 4 at 127
    float crossfade[128];    // T4: crossfade, 1/(4*sqrt 2) at 31, 1 from 63 up

    void build();

    // A table index is the integer part of a 0..127 control. Controls come
    // from project data, ball ranges and hosts: anything below 0, and NaN,
    // is the silent entry; anything above 127 the loudest. The clamp comes
    // before the conversion, which is undefined for NaN and huge values.
    static int index(float control) {
        if (!(control > 0.0f)) return 0;
        if (control >= 127.0f) return 127;
        return static_cast<int>(control);
    }
};
