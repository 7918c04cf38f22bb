// Up to four sampler voices rendered together, one voice in each lane of an
// SSE2 vector (or both channels of four voices in AVX2's eight lanes): envelopes, play positions (two lanes to a register of
// doubles), interpolation, both channels' four-pole filters and the output
// gains. Only the sample reads are per lane (four loads, then turned into
// lanes).
//
// Every lane performs the same operations in the same order as
// renderVoice() does for its voice, so a voice sounds bit for bit the same
// whichever path renders it. The lanes carry only the plain case of a run: a
// voice playing forward that sounds on every frame of the run and whose
// position meets no end of its window, loop or sample inside it. Everything
// else (reverse play, a loop's wrap, the end of the window, a release
// falling silent) stays with renderVoice(), for that run.
#pragma once

#include "modules/sampler_part.h"
#include "modules/sampler_voice.h"

namespace sampler {

constexpr int kLanes = 4;

// What all voices of one lane group must share: the branches of the loop.
// Stereo and mono samples mix in a group.
struct LaneShape {
    bool filterOn = false;

    bool operator==(const LaneShape&) const = default;
};

LaneShape laneShape(const PartSettings& part);

// True when renderVoiceLanes() can render this running voice for the next
// `frames` frames exactly as renderVoice() would.
bool laneEligible(const Voice& voice, const PartSettings& part, int frames);

// The kernels the lanes run on: four lanes of SSE2 (every build) or, where
// the processor has AVX2, eight lanes holding both channels of the four
// voices. Both give the same bits.
enum class LaneKernel { Sse2, Avx2 };

// The fastest kernel this processor runs.
LaneKernel fastestLaneKernel();
bool laneKernelAvailable(LaneKernel kernel);

// Renders `count` (1..4) eligible voices of one shape for `frames` frames
// (1 .. kControlPeriod), writing (not adding) each voice's output, its gains
// applied, to left[lane][0 .. frames) and right[lane][0 .. frames). The
// arrays' entries past `count` are not used.
void renderVoiceLanes(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count,
                      const LaneShape& shape, float* const left[kLanes], float* const right[kLanes], int frames,
                      LaneKernel kernel = fastestLaneKernel());

}  // namespace sampler
