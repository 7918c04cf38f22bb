// Working values of one sampler part, derived from its stored values, its
// sample, the host sample rate and the pitch bend. Recomputed when one of
// those changes; the voices read them at audio and control rate.
#pragma once

#include <memory>

#include "modules/decoded_sample.h"
#include "modules/synth_filter.h"

namespace sampler {

// Envelope levels stay within this floor and 1.
constexpr float kEnvelopeFloor = 0.00001f;
// With an amplitude envelope, a released voice sounds until its level
// falls to this.
constexpr float kEnvelopeAudible = 0.01f;
// Modulation runs once every 16 frames.
constexpr int kControlPeriod = 16;

struct PartSample {
    // Owner of the sample data: the shared library keeps every sample for the
    // life of the process, so dropping this reference never frees on the
    // audio thread.
    std::shared_ptr<const DecodedSample> owner;
    const int16_t* frames = nullptr;
    uint32_t frameCount = 0;
    bool stereo = true;
    float rateHz = 44100.0f;
    float fileLoopStart = 0.0f;  // as fractions of the frame count
    float fileLoopEnd = 0.0f;
};

struct PartWindow {
    double beginFrames = 0.0;
    double endFrames = 0.0;
    double loopStartFrames = 0.0;
    double loopEndFrames = 0.0;
    double velocityStartFrames = 0.0;
};

struct PartSettings {
    PartSample sample;
    PartWindow window;

    double increment = 1.0;  // frames per output sample, bent
    float levelGain = 1.0f;
    float pan = 0.5f;
    float attackIncrement = 0.0f;  // per sample
    float decayFactor = 1.0f;
    float sustain = 1.0f;
    float releaseFactor = 1.0f;
    float envTuneExponent = 0.0f;  // (EnvTune - 0.5) for 4^(x * level)
    bool envelopeOn = false;
    float levelVelocity = 0.0f;
    float tuneVelocity = 0.0f;
    bool hold = true;
    bool reverse = false;
    bool loop = false;
    int splitNote = 36;
    float filterFreq = 1.0f;
    float filterQ = 0.5f;
    float filterVelocity = 0.0f;
    float filterEnvAmount = 0.0f;  // 2v - 1
    bool filterOn = false;
    bool frequencyKeyOn = true;
    bool filterKeyOn = true;
    bool mono = false;
};

// values: the part's 32 live values in parameter order (value 0 unused).
void computeSettings(PartSettings& part, const float* values, float sampleRate, float bend);
// Only the playback increment (pitch bend, tuning, rate).
void computeIncrement(PartSettings& part, const float* values, float sampleRate, float bend);
// Window positions in frames from the fractions and the frame count.
void computeWindow(PartSettings& part, const float* values);

// Gain of the Level value: 400^v / 100 above 0.01, else silence.
float levelGainOf(float value);

}  // namespace sampler
