// Synthesizer voices rendered together, one voice in each lane of a vector:
// four in SSE2, or eight in AVX2 where the processor has it. The per-sample
// work of a voice is a chain of dependent steps (envelope, oscillators, two
// filter sections); voices side by side fill the time each step waits for
// the previous one.
//
// Every lane performs the same single-precision operations in the same order
// as renderVoice() does for its voice, so a voice sounds bit for bit the same
// whichever path renders it. A voice falling silent inside the run, which
// the lanes do not carry, takes renderVoice().
#pragma once

#include "common/float_lanes.h"  // TALVEX_AVX2_LANES
#include "modules/synth_part.h"
#include "modules/synth_voice.h"

namespace synth {

// Lanes of the SSE2 path (every build) and of the AVX2 path (x86_64 builds
// by gcc or clang, taken where the processor has AVX2).
constexpr int kLanes = 4;
constexpr int kMaxLanes = 8;


// The widest lane count this processor runs: kMaxLanes or kLanes. Asks the
// processor; call it outside the audio path and keep the answer.
int widestLanes();

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

namespace lane_detail {
// A phase and an increment the lanes take: below half the table size a
// phase advanced by one increment needs at most one wrap, and the wrap is exact.
constexpr float kTableSizeF = static_cast<float>(dsp::kTableSize);
constexpr float kMaxLaneIncrement = kTableSizeF / 2.0f;
// A released voice: true when it stays above the floor for the whole run.
bool releaseOutlastsRun(const Voice& voice, const PartCoefficients& part, int frames);
}  // namespace lane_detail

// True when renderVoiceLanes() can render this sounding voice for the next
// `frames` frames exactly as renderVoice() would.
inline bool laneEligible(const Voice& v, const PartCoefficients& part, int frames) {
    using namespace lane_detail;
    if (static_cast<unsigned>(part.osc[0].wave) > 4u || static_cast<unsigned>(part.osc[1].wave) > 4u) return false;
    if (frames > kControlPeriod) return false;
    // The lanes' floor of the frequency-modulated phase holds below 2^31;
    // the depth follows a pulse width of 0.01 .. 1.
    if (part.osc[1].wave == 4 && !(v.fmDepth >= -1.0f && v.fmDepth <= 1.0f)) return false;
    for (const OscillatorState& osc : v.osc) {
        if (!(osc.currentIncrement >= 0.0f && osc.currentIncrement < kMaxLaneIncrement)) return false;
        if (!(osc.phase >= 0.0f && osc.phase < kTableSizeF)) return false;
    }
    return v.gate || releaseOutlastsRun(v, part, frames);
}

// Voice runs, each written to its own buffer, added to left and
// right in the order given: out[n] = ((out[n] + run0[n]) + run1[n]) + ...,
// as the one-voice loop adds them. width as for renderVoiceLanes().
void addInOrder(float* left, float* right, const float* const lefts[], const float* const rights[], int count,
                int frames, int width);

// Renders `count` (1..width) eligible voices of one shape for `frames`
// frames (at most kControlPeriod), writing (not adding) each voice's output
// to left[lane][0 .. frames) and right[lane][0 .. frames). width is kLanes,
// or kMaxLanes where widestLanes() says so; the entries from count up to
// width repeat lane 0 (their results are not stored). With noise on DCO1
// (wave 4), noise[lane][0 .. frames) holds the values renderVoice() would
// draw for the voice, in order; otherwise noise is not read.
void renderVoiceLanes(Voice* const voices[kMaxLanes], const PartCoefficients* const parts[kMaxLanes], int count,
                      const LaneShape& shape, const float* const noise[kMaxLanes], float* const left[kMaxLanes],
                      float* const right[kMaxLanes], int frames, int width);

}  // namespace synth
