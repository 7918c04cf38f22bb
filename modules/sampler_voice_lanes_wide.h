// The sampler's voice lanes on AVX2: four voices in eight lanes, the left
// channel of each voice in the low four and its right channel in the high
// four, so that one vector operation interpolates, scales, filters and
// applies the gains of both channels of four voices. Each lane does the
// operations of the four-lane SSE2 kernel in the same order (no fused
// multiply-add), so the two kernels give the same bits.
//
// Built for x86_64 by gcc or clang; runs only where the processor has AVX2.
#pragma once

#include "modules/sampler_voice_lanes.h"

namespace sampler::wide {

// This processor runs the kernel (false on builds without it).
bool available();

// renderVoiceLanes() for voices already ordered: lanes below stereoLanes
// play stereo samples, the others mono ones; entries past `count` repeat a
// voice. Call only where available() says so.
void renderLanes(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count, int stereoLanes,
                 bool filter, float* const left[kLanes], float* const right[kLanes], int frames);

}  // namespace sampler::wide
