// The one balance law of the instrument, used for stereo placement and for
// dry/wet crossfades: at the centre both sides are at full value; moving away
// from the centre attenuates the far side linearly to 0.25 over the inner
// quarter of the travel (slope 3) and on to 0 over the outer quarter (slope 1).
#pragma once

namespace fxdsp {

struct SideGains {
    float first;   // left, or dry
    float second;  // right, or wet
};

// position in 0..1: 0 keeps only the first side, 1 only the second.
inline SideGains balanceGains(float position) {
    const float p = position;
    if (p > 0.5f) return {p < 0.75f ? 2.5f - 3.0f * p : 1.0f - p, 1.0f};
    return {1.0f, p > 0.25f ? 3.0f * p - 0.5f : p};
}

// Dry/wet crossfade of the effects' Mix parameter.
struct MixGains {
    float dry;
    float wet;
};
inline MixGains mixGains(float mix) {
    const SideGains g = balanceGains(mix);
    return {g.first, g.second};
}

}  // namespace fxdsp
