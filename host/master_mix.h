// The plug-in's own mixing at the end of a block: the send buses added to
// the master pair, and the master section (crossfade and level glides, the
// output limit, the meters). Loops over whole blocks, four frames at a
// time where the arithmetic allows; every frame gets the arithmetic the
// frame-by-frame loops gave it, so the output is the same to the bit.
#pragma once

// Per-frame glide factor of the master gains and the meters' per-frame decay.
constexpr float kMasterSmoothing = 0.005f;
constexpr float kMasterMeterDecay = 0.9999f;
// The largest magnitude a master sample leaves with.
constexpr float kMasterOutputLimit = 0.99f;

// Adds a send bus's pair to out (and to extra, the effects pair, when it is
// given) and answers the bus's peak: the largest |sample| of the block over
// both channels, 0 for silence. A frame whose left sample is NaN counts as
// silence.
float addSendBus(float* const out[2], float* const extra[2], const float* const bus[2], int frames);

struct MasterMixState {
    float crossfadeA = 0.0f, crossfadeB = 0.0f, gain = 0.0f;
    float meterLeft = 0.0f, meterRight = 0.0f;
};

struct MasterMixTargets {
    float crossfadeA = 0.0f, crossfadeB = 0.0f, gain = 0.0f;
};

// out = limit(gain · in) per channel, frame by frame with the gains gliding
// toward their targets; the meters follow the output with their decay. A
// sample that is not finite leaves as 0. in and out may be the same pair.
void mixMaster(const float* const in[2], float* const out[2], int frames, const MasterMixTargets& targets,
               MasterMixState& state);
