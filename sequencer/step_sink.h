// What one step of a track's sequencer reads from around it and where its
// results go. The track fills StepEnvironment and implements StepSink; tests
// bring their own, so the sequencer runs without an engine.
#pragma once

#include <climits>
#include <cmath>

// The ten arpeggiator values of a track, in project-key order.
struct ArpeggiatorSettings {
    float on = 0.0f;
    float mode = 0.0f;  // 0 up, 1 down, 2 up and down, 3 random
    float hole = 0.0f;  // rests added to the random range
    float extension = 0.0f;
    float extensionMode = 0.0f;
    float velocity = 0.0f;  // randomness of the velocity, 0 = always 127
    float interval = 0.0f;  // semitones per extension
    float gateTime = 0.0f;  // note length = step / 2^n; 5 draws at random
    float tempo = 0.0f;     // plays every 2^n steps
    float swing = 0.0f;     // fraction of a step, on odd notes

    static ArpeggiatorSettings fromValues(const float values[10]) {
        ArpeggiatorSettings s;
        s.on = values[0];
        s.mode = values[1];
        s.hole = values[2];
        s.extension = values[3];
        s.extensionMode = values[4];
        s.velocity = values[5];
        s.interval = values[6];
        s.gateTime = values[7];
        s.tempo = values[8];
        s.swing = values[9];
        return s;
    }
};

struct StepEnvironment {
    bool trackSynchro = false;
    bool masterSynchro = false;
    int ownerStep = 0;  // the owner's step counter at this boundary
    int timeSignatureNumerator = 4;
    bool followSelection = true;
    // The owner's arpeggiator switch and the track's ARPEG_ON together.
    bool arpeggiatorEnabled = false;
    bool keyboardGated = false;
    // Key transposition 255 means the track does not follow.
    bool followsTransposition = false;
    int transposition = 0;  // key transposition + the owner's live one
    int stepNumber = 256;
    const int* heldKeys = nullptr;  // press order
    int heldKeyCount = 0;
    ArpeggiatorSettings arpeggiator;

    bool synchro() const { return trackSynchro || masterSynchro; }
};

class StepSink {
public:
    virtual ~StepSink() = default;
    // A note for the track's main module; velocity 0 is a note-off. The frame
    // offset counts from the start of the current block.
    virtual void scheduleNote(int key, int velocity, int frameOffset, int transposition) = 0;
    // The edit pattern's stop: the key's waiting notes end at frameOffset.
    virtual void stopKey(int key, int frameOffset) = 0;
    // Automation replay starts again from the pattern start.
    virtual void rewindAutomation() = 0;
    // The step changed the selected pattern (chaining with follow-selection).
    virtual void selectionFollowed() = 0;
    // The step position reached the track's step number, which grows by 16.
    virtual void stepNumberReached() = 0;
    // The sound balls' random jumps of this step, at the step position
    // (-1 while the track is stopped).
    virtual void randomBallJumps(int stepPosition) = 0;
};

// Frames from a product of step lengths and fractions, which come from
// project data and the host's tempo: a NaN or absurd value must not reach an
// integer conversion.
inline int framesFromSteps(double frames) {
    constexpr double kLimit = static_cast<double>(INT_MAX / 4);
    if (!(frames > -kLimit)) return std::isnan(frames) ? 0 : -static_cast<int>(kLimit);
    if (frames >= kLimit) return static_cast<int>(kLimit);
    return static_cast<int>(frames);
}

// Integer part of a control value, clamped to lo..hi (NaN gives lo).
inline int integerPart(float value, int lo, int hi) {
    if (!(value >= static_cast<float>(lo))) return lo;
    if (value >= static_cast<float>(hi)) return hi;
    return static_cast<int>(value);
}
