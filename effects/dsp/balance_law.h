// The instrument's balance law (modules/balance_law.h) as the effects use it:
// stereo placement, and dry/wet crossfades where the first side is dry.
#pragma once

#include "modules/balance_law.h"

namespace fxdsp {

struct SideGains {
    float first;   // left, or dry
    float second;  // right, or wet
};

// position in 0..1: 0 keeps only the first side, 1 only the second.
inline SideGains balanceGains(float position) {
    const dsp::BalanceGains g = dsp::balanceGains(position);
    return {g.left, g.right};
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
