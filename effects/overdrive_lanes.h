// The overdrive's audio path, four frames of both channels at a time: the
// drive and soft clip, the two biquad sections of each channel and the
// dry/wet crossfade. Each section runs in block form: a block's four outputs
// come from the two outputs before the block and the block's own inputs, so
// the recursion's dependency chain takes one multiply and two adds per four
// frames instead of a multiply and two subtractions per frame. The sums are
// grouped differently from the one-frame recursion, so the output differs
// from it by rounding only.
//
// Two widths do the same arithmetic lane for lane: each channel in four SSE2
// lanes (every target), or both channels in the eight lanes of AVX2 (x86_64
// processors that have it). Their outputs are the same to the bit.
#pragma once

#include "modules/synth_filter.h"

namespace fxdsp {

// A biquad's coefficients in block form, for frame j (0 to 3) of a block:
// y[j] = p[j] + y[-1] + excess[j] y[-1] + rise[j] (y[-1] - y[-2]), where p is
// the fed-forward part f filtered by the recursion from rest,
// p[j] = f[j] + impulse[0] f[j-1] + impulse[1] f[j-2] + impulse[2] f[j-3]
// (f of frames before the block counted as 0). Written with the last output
// and its rise rather than the last two outputs, the weights keep their
// precision where the poles crowd towards 1 (low cutoffs, high q): there the
// weights of the last two outputs are large and nearly cancel, and rounding
// them to single precision would move the poles audibly, while the excess
// over 1 is small and exact to its own last bits.
struct BlockBiquad {
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    float impulse[3] = {0.0f, 0.0f, 0.0f};
    float excess[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float rise[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};
BlockBiquad blockBiquad(const dsp::BiquadCoefficients& c);

// The last two values (before last, last) of each channel's driven input,
// first section output and second section output.
struct OverdriveHistory {
    float driven[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
    float first[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
    float second[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
};

// Everything a run of frames is rendered with. Runs with the same settings,
// bit for bit, may be rendered as one.
struct OverdriveRun {
    BlockBiquad filter;
    float driveGain, driveCompensation, dry, wet, levelLeft, levelRight;
};

// Renders frames (any count) from inL/inR to outL/outR; the outputs may be
// the inputs, and both inputs may be one buffer.
void renderOverdriveNarrow(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                           float* outL, float* outR, int frames);
// The same in AVX2; only where overdriveWideLanesAvailable().
void renderOverdriveWide(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                         float* outL, float* outR, int frames);
bool overdriveWideLanesAvailable();
// The same frames rendered block after block in the order the renderers
// used before they worked in groups of blocks, stage by stage; kept for the
// tests, which hold the renderers to it bit for bit. wide takes the AVX2
// lanes where there are any.
void renderOverdriveBlockwise(const OverdriveRun& run, OverdriveHistory& history, const float* inL, const float* inR,
                              float* outL, float* outR, int frames, bool wide);

}  // namespace fxdsp
