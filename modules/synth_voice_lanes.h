// Up to four synthesizer voices rendered together, one voice in each lane of
// an SSE2 vector. The per-sample work of a voice is a chain of dependent
// steps (envelope, oscillators, two filter sections); four voices side by
// side fill the time each step waits for the previous one.
//
// Every lane performs the same single-precision operations in the same order
// as renderVoice() does for its voice, so a voice sounds bit for bit the same
// whichever path renders it. Voices that need what the lanes do not carry
// (noise, frequency modulation, a pending key sync, a voice falling silent
// inside the run) take renderVoice().
#pragma once

#include "modules/synth_part.h"
#include "modules/synth_voice.h"

namespace synth {

constexpr int kLanes = 4;

// What all voices of one lane group must share: the branches of the loop.
struct LaneShape {
    int wave1 = 0;
    int wave2 = 0;
    bool dco1Env = false;
    bool dco2Env = false;
    bool filter1 = false;
    bool filter2 = false;
    bool fourPole = false;
    bool hardSync = false;
    bool dcoEnvNeeded = false;

    bool operator==(const LaneShape&) const = default;
};

LaneShape laneShape(const PartCoefficients& part);

// True when renderVoiceLanes() can render this sounding voice for the next
// `frames` frames exactly as renderVoice() would.
bool laneEligible(const Voice& voice, const PartCoefficients& part, int frames);

// Renders `count` (1..4) eligible voices of one shape for `frames` frames
// (at most kControlPeriod), writing (not adding) each voice's output to
// left[lane][0 .. frames) and right[lane][0 .. frames).
void renderVoiceLanes(Voice* const voices[kLanes], const PartCoefficients* const parts[kLanes], int count,
                      const LaneShape& shape, float* const left[kLanes], float* const right[kLanes], int frames);

}  // namespace synth
