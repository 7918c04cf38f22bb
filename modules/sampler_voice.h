// One sampler voice: a play position running through its part's sample
// (forward, backward or looping), an envelope, a two-section low-pass per
// channel and the output gains. The voice keeps only its state; everything
// derived from parameters comes from its part's PartSettings.
//
// Audio-rate work is renderVoice(), over runs of frames between two control
// ticks or MIDI events; modulation is controlUpdate(), once every 16 frames.
#pragma once

#include <cstdint>
#include <limits>

#include "modules/sampler_part.h"
#include "modules/synth_filter.h"

namespace sampler {

// Sample values to -1 .. 1.
constexpr float kSampleScale = 1.0f / 32768.0f;
// The interpolation reads frame i + 1; keep a margin below the frame count.
constexpr double kReadMarginFrames = 3.0;
// A loop shorter than this is no loop.
constexpr double kMinLoopFrames = 1.0;

enum EnvelopeStage : int { kStageIdle = 0, kStageAttack, kStageDecay, kStageSustain, kStageRelease };

struct Voice {
    static constexpr int kMaxHeld = 128;

    int part = 0;
    int note = -1;
    int velocity = 127;
    bool gate = false;
    // Order of the note-on that last claimed the voice: a counter of the
    // module, not wall-clock time, so that a host rendering faster than real
    // time still gets every note and the oldest voice is stolen.
    uint64_t startOrder = 0;
    bool pedalHeld = false;
    bool running = false;

    // Negative: stopped, silent until the next note.
    double position = -1.0;
    PartWindow window;  // taken from the part at note on
    double increment = 0.0;

    float envelope = kEnvelopeFloor;
    int stage = kStageIdle;

    float smoothedCutoff = 1.0f;
    float smoothedQ = 0.5f;
    dsp::BiquadCoefficients filterCoefficients;
    // What the control step last computed, for skipping the same work with
    // the same inputs: the pitch exponent and its power of two, the filter
    // table indices the coefficients above were designed from (-1: none).
    double lastExponent = std::numeric_limits<double>::quiet_NaN();
    double lastPitchFactor = 1.0;
    int designedCutoffIndex = -1;
    int designedQIndex = -1;
    dsp::FourPoleFilter filterLeft;
    dsp::FourPoleFilter filterRight;

    float gainLeft = 0.0f;
    float gainRight = 0.0f;
    float lastLeft = 0.0f;
    float lastRight = 0.0f;

    // Mono parts in layered mode: the keys held, oldest first.
    uint8_t held[kMaxHeld];
    int heldCount = 0;

    bool active() const { return gate || running; }
    void removeHeld(int key);
    void addHeld(int key);
};

// One step of the envelope: attack up to 1, decay down to the sustain
// level, release by its factor; the level kept within its floor and 1.
inline void stepEnvelope(float& level, int& stage, const PartSettings& p) {
    switch (stage) {
        case kStageAttack:
            level += p.attackIncrement;
            if (level >= 1.0f) {
                level = 1.0f;
                stage = kStageDecay;
            }
            break;
        case kStageDecay:
            if (level <= p.sustain) {
                stage = kStageSustain;
            } else {
                level *= p.decayFactor;
                if (level < p.sustain) level = p.sustain;
            }
            break;
        case kStageRelease:
            level *= p.releaseFactor;
            break;
        default:
            break;
    }
    if (level > 1.0f) level = 1.0f;
    if (!(level >= kEnvelopeFloor)) level = kEnvelopeFloor;
}

// Note on: gate, velocity, window and start position, envelope from the
// floor in attack.
void voiceNoteOn(Voice& voice, const PartSettings& part, int note, int velocity);
// Legato in a mono part: the envelope starts its attack again from where it
// is; the play position carries on.
void voiceRestartEnvelope(Voice& voice);
// Gate off and the envelope to release.
void voiceRelease(Voice& voice);
// Silent at once (the short fade of the last values still runs).
void voiceStop(Voice& voice);

// Modulation step; smooth = false jumps gains and filter values to their
// targets (a voice that just started). splitNote is the note the part's
// pitch and filter tracking count from.
void controlUpdate(Voice& voice, const PartSettings& part, int splitNote, bool smooth);

// A running voice that has played to the end of its window with nothing
// left to hear: no loop to go back to, its fade done and its filter at
// rest. renderVoice() then adds exactly nothing and only steps its
// envelope until the voice ends.
bool voiceAtRest(const Voice& voice, const PartSettings& part);

// renderVoice() for a voice that voiceAtRest() finds at rest, without asking
// again: only its envelope steps. Returns false when the voice has ended.
bool renderVoiceAtRest(Voice& voice, const PartSettings& part, int frames);

// Adds frames samples of the voice to left and right. Returns false when the
// voice has fallen silent (its fade included); it then adds nothing more.
bool renderVoice(Voice& voice, const PartSettings& part, float* left, float* right, int frames);

}  // namespace sampler
