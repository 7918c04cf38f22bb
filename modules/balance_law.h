// The one balance law of the instrument: the near side stays at full gain,
// the far side falls along two slopes that meet at a quarter of the range
// (gain 0.25 at 0.25 and 0.75, 0 at the ends). The voices' stereo placement,
// the synth's oscillator mix (oscillator 1 as the left side), the drum pads
// and the effects' placement and dry/wet crossfades all follow it.
#pragma once

namespace dsp {

struct BalanceGains {
    float left;
    float right;
};

// position: 0 (left) .. 1 (right), 0.5 both at full gain.
inline BalanceGains balanceGains(float position) {
    const float d = position;
    if (d > 0.5f) return {d < 0.75f ? 2.5f - 3.0f * d : 1.0f - d, 1.0f};
    return {1.0f, d > 0.25f ? 3.0f * d - 0.5f : d};
}

}  // namespace dsp
