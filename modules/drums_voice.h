// One pad's working values and one drum voice. A voice plays its pad's mono
// sample through the pad's window, forward or reversed, into six outputs:
// dry left/right, send 1 left/right, send 2 left/right.
//
// New hits and releases wait for a zero crossing of the sound that is
// already there, so that cutting or restarting a sample never clicks.
#pragma once

#include <cstdint>

#include "modules/decoded_sample.h"
#include "modules/drums_params.h"

namespace drums {

constexpr int kOutputs = 6;
// Once every 16 frames the voices' gains and increments follow the pad.
constexpr int kControlPeriod = 16;
// Share of the distance a gain moves toward its target per control update.
constexpr float kGainSmoothing = 0.01f;
// The longest a hit or a release waits for a zero crossing. A looped sample
// with a DC offset may never cross; without a bound the hit would be lost
// and the release would never end.
constexpr double kZeroCrossingWaitSeconds = 0.05;

struct PadSettings {
    int note = 0;
    // Stored values as the module keeps them.
    float pan = 0.5f;
    float levelVelocity = 0.0f;
    float tuneVelocity = 0.0f;
    bool decay = true;
    bool reverse = false;
    bool loop = false;
    bool mute = false;
    float waveBegin = 0.0f;
    float waveEnd = 1.0f;
    // Derived.
    float levelGain = kSilentGain;
    float send1Gain = kSilentGain;
    float send2Gain = kSilentGain;
    float tuneFactor = 1.0f;
    int sampleIndex = -1;  // entry in the module's sample slots, -1: none
    const DecodedSample* sample = nullptr;
    double windowBeginFrames = 0.0;
    double windowEndFrames = 0.0;
};

// What a voice's gain targets and increment are computed from.
struct ControlInputs {
    double noteFactor = 1.0;
    int velocity = 0;
    float levelVelocity = 0.0f;
    float pan = 0.0f;
    float levelGain = 0.0f;
    float send1Gain = 0.0f;
    float send2Gain = 0.0f;
    float tuneVelocity = 0.0f;
    float tuneFactor = 0.0f;
    float hostRateHz = 0.0f;
    float sampleRateHz = 0.0f;
};
// Compared byte for byte: no padding.
static_assert(sizeof(ControlInputs) == sizeof(double) + 10 * 4, "control inputs without padding");

struct Voice {
    int pad = 0;
    int note = -1;
    int velocity = 0;
    bool gate = false;
    uint64_t startOrder = 0;  // monotonic count of the module's note starts
    bool playing = false;
    double position = -1.0;
    double pendingStart = -1.0;  // -1: no hit waiting
    double windowBeginFrames = 0.0;
    double windowEndFrames = 0.0;
    double increment = 0.0;
    double noteFactor = 1.0;  // bass mode transposition
    float gain[kOutputs] = {};
    float target[kOutputs] = {};
    float last[2] = {};     // last two output samples, newest first
    int waitFrames = 0;     // frames a pending hit has waited for a crossing
    int ringFrames = 0;     // frames the voice has run on after its release
    ControlInputs controlInputs;  // of the last computed targets and increment
    bool controlInputsValid = false;

    bool active() const { return playing || pendingStart >= 0.0; }
};

// Gains toward the pad's level, sends and pan, scaled by the velocity;
// smoothed by kGainSmoothing, or at once. Also sets the increment.
void controlUpdate(Voice& v, const PadSettings& pad, float hostRateHz, bool smooth);

// Silences the voice at once: no position, no pending hit, outputs cleared.
void stopVoice(Voice& v);

// Starts a hit: the pad's window is taken over and the start position waits
// for the old sound's next zero crossing.
void startVoice(Voice& v, const PadSettings& pad);

// Takes the pad's (new) window over; a voice outside it stops.
void applyWindow(Voice& v, const PadSettings& pad);

// Adds frames of the voice to the six outputs (each a run of `frames`).
void renderVoice(Voice& v, const PadSettings& pad, float* const* outputs, int frames, int zeroWaitFrames);

// renderVoice() for `count` voices (at most kVoices), voice i playing
// pads[i]: every output sample is the sum of the voices' samples in the
// order given, as if each voice had been rendered after the one before.
// Each voice reads frame by frame only where something is to be decided (a
// waiting hit, a release, the window's ends); elsewhere it reads whole
// stretches, and the six outputs are mixed four frames at a time, eight
// where the processor has AVX2 and wideLanes allows (the same bits).
void renderVoices(Voice* const* voices, const PadSettings* const* pads, int count, float* const* outputs, int frames,
                  int zeroWaitFrames, bool wideLanes = true);

// renderVoices() over a span with control updates inside it: update k comes
// before frame ticks[k] (ascending, 0 .. frames) and acts on each voice
// still active then as controlUpdate(..., true) does where
// controlInputsUnchanged() holds, which the caller sees to for every voice:
// the increments stay as they are and only the gains move.
void renderVoiceSpan(Voice* const* voices, const PadSettings* const* pads, int count, float* const* outputs,
                     int frames, const int* ticks, int tickCount, int zeroWaitFrames, bool wideLanes = true);

// True when controlUpdate() would find the targets and increment it last
// computed for this voice.
bool controlInputsUnchanged(const Voice& v, const PadSettings& pad, float hostRateHz);

}  // namespace drums
