// The mix at the end of a track's strip, one block at a time: the strip gains
// (level, pan, crossfade) and the four send gains glide toward their targets
// frame by frame, the peak meter follows what leaves the strip, and the
// signal goes to the master, the track's own output pair and the send buses.
// The buses come out the same to the bit in SSE2 and AVX2 lanes and as the
// frame-by-frame mix gave them; the meter, which is only shown, within a
// few roundings per frame of decay of the frame-by-frame one.
#pragma once

constexpr int kNumSends = 4;

// Per-frame glide factors, the drum machine's send floor and the meter's
// per-frame decay.
constexpr float kStripSmoothing = 0.005f;
constexpr float kSendSmoothing = 0.001f;
constexpr float kDrumSendFloor = 0.000021f;
constexpr float kStripMeterDecay = 0.995f;

struct StripMixState {
    float gainLeft = 0.0f, gainRight = 0.0f;
    float sendGain[kNumSends] = {0, 0, 0, 0};
    float meter = 0.0f;
};

struct StripMixTargets {
    float left = 0.0f, right = 0.0f;
    float send[kNumSends] = {0, 0, 0, 0};
    // The send gain never falls below kDrumSendFloor (drum machine, send on).
    bool drumFloor[kNumSends] = {false, false, false, false};
};

struct StripMixBuffers {
    int frames = 0;
    // The module's pair; a one-channel module gives the same buffer twice.
    const float* in[2] = {nullptr, nullptr};
    // The drum machine's pad pairs that feed sends 1 and 2 after the strip
    // gains (not the send level), or none.
    const float* pads[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};
    float* master[2] = {nullptr, nullptr};
    // The track's own output pair (the module's signal before the strip
    // gains), or none.
    float* own[2] = {nullptr, nullptr};
    // Inputs of the send buses; none for a bus that is not loaded (its send
    // gain then stays where it is).
    float* send[kNumSends][2] = {};
};

// Adds one block of the strip to the buses and moves the state on by
// io.frames frames; eight frames at a time where `wide` and the processor
// has AVX2, else four.
void mixStrip(const StripMixBuffers& io, const StripMixTargets& targets, StripMixState& state, bool wide);
bool stripMixWideLanesAvailable();
