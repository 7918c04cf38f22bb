#include "modules/sampler_voice.h"

#include <cmath>

#include "common/portable_math.h"
#include "modules/balance_law.h"
#include "modules/dsp_tables.h"

namespace sampler {

namespace {

constexpr float kGainSmoothing = 0.01f;
constexpr float kFilterSmoothing = 0.05f;
// Where a voice has nothing to read, its last values halve every sample
// down to this: a fade of well under a millisecond instead of a step.
constexpr float kFadeFloor = 0.0001f;
constexpr float kSampleScale = 1.0f / 32768.0f;
// The interpolation reads frame i + 1; keep a margin below the frame count.
constexpr double kReadMarginFrames = 3.0;
// A loop shorter than this is no loop.
constexpr double kMinLoopFrames = 1.0;

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

}  // namespace

void Voice::removeHeld(int key) {
    int kept = 0;
    for (int i = 0; i < heldCount; ++i)
        if (held[i] != key) held[kept++] = held[i];
    heldCount = kept;
}

void Voice::addHeld(int key) {
    removeHeld(key);
    if (heldCount < kMaxHeld) held[heldCount++] = static_cast<uint8_t>(key);
}

void voiceNoteOn(Voice& v, const PartSettings& part, int note, int velocity) {
    v.note = note;
    v.velocity = velocity;
    v.gate = true;
    v.pedalHeld = false;
    v.window = part.window;
    const double start = v.window.beginFrames + (v.window.velocityStartFrames - v.window.beginFrames) *
                                                    static_cast<double>(127 - velocity) / 128.0;
    v.position = part.reverse ? v.window.endFrames : start;
    v.envelope = kEnvelopeFloor;
    v.stage = kStageAttack;
    if (!v.running) {
        v.filterLeft.reset();
        v.filterRight.reset();
        v.lastLeft = v.lastRight = 0.0f;
    }
}

void voiceRestartEnvelope(Voice& v) {
    v.gate = true;
    v.pedalHeld = false;
    v.stage = kStageAttack;
}

void voiceRelease(Voice& v) {
    v.gate = false;
    v.pedalHeld = false;
    v.stage = kStageRelease;
}

void voiceStop(Voice& v) {
    v.gate = false;
    v.pedalHeld = false;
    v.stage = kStageIdle;
    v.envelope = kEnvelopeFloor;
    v.position = -1.0;
}

void controlUpdate(Voice& v, const PartSettings& p, int splitNote, bool smooth) {
    const float g = smooth ? kGainSmoothing : 1.0f;
    const float velocity = static_cast<float>(v.velocity);

    // Level and balance (the synth's law: the near side stays at full gain).
    const float amplitude = p.levelGain * (velocity * p.levelVelocity / 128.0f + 1.0f - p.levelVelocity);
    const float d = p.pan;
    const dsp::BalanceGains balance = dsp::balanceGains(d);
    v.gainLeft += (amplitude * balance.left - v.gainLeft) * g;
    v.gainRight += (amplitude * balance.right - v.gainRight) * g;

    // Pitch.
    const int keyOffset = v.note - splitNote;
    double exponent = 2.0 * static_cast<double>(p.envTuneExponent) * static_cast<double>(v.envelope);  // 4^x
    if (p.frequencyKeyOn) exponent += static_cast<double>(keyOffset) / 12.0;
    v.increment = p.increment * (static_cast<double>(velocity * p.tuneVelocity) / 128.0 + 1.0) * portable::exp2(exponent);

    // Filter.
    if (smooth) {
        v.smoothedCutoff += (p.filterFreq - v.smoothedCutoff) * kFilterSmoothing;
        v.smoothedQ += (p.filterQ - v.smoothedQ) * kFilterSmoothing;
    } else {
        v.smoothedCutoff = p.filterFreq;
        v.smoothedQ = p.filterQ;
    }
    if (p.filterOn) {
        float noteValue =
            (p.filterEnvAmount * v.envelope + v.smoothedCutoff + p.filterVelocity * velocity / 512.0f) * 128.0f;
        if (p.filterKeyOn) noteValue += static_cast<float>(keyOffset);
        // The synth's low-pass: cutoff in semitones, the table 32 up.
        v.filterCoefficients = dsp::designBiquad(dsp::dspTables(), dsp::cutoffTableIndex(noteValue - 32.0f),
                                                 dsp::qTableIndex(v.smoothedQ), dsp::FilterMode::LowPass);
    }
}

bool renderVoice(Voice& v, const PartSettings& p, float* left, float* right, int frames) {
    using Guard = dsp::DenormalGuard;
    const int16_t* const data = p.sample.frames;
    const bool stereo = p.sample.stereo;
    const double readLimit = static_cast<double>(p.sample.frameCount) - kReadMarginFrames;
    const PartWindow w = v.window;
    const double loopLength = w.loopEndFrames - w.loopStartFrames;
    const bool loopUsable = p.loop && loopLength >= kMinLoopFrames;
    const bool envelopeOn = p.envelopeOn;
    const bool hold = p.hold;
    const bool reverse = p.reverse;
    const bool filterOn = p.filterOn;
    const double increment = v.increment;
    const float gainL = v.gainLeft, gainR = v.gainRight;
    const dsp::BiquadCoefficients k = v.filterCoefficients;
    const bool gate = v.gate;

    double pos = v.position;
    float env = v.envelope;
    int stage = v.stage;
    float lastL = v.lastLeft, lastR = v.lastRight;
    dsp::FourPoleFilter fl = v.filterLeft, fr = v.filterRight;

    bool sounding = true;
    for (int n = 0; n < frames; ++n) {
        // 1. Does the voice still sound?
        const bool envelopeAudible = envelopeOn && env > kEnvelopeAudible;
        const bool holding = hold && pos > w.beginFrames && pos < w.endFrames;
        const bool sounds = pos >= 0.0 && (gate || envelopeAudible || holding);

        float sampleL, sampleR;
        bool read = false;
        if (sounds) {
            // 2. Envelope.
            stepEnvelope(env, stage, p);
            // 3, 4. Move through the window.
            if (!reverse) {
                if (pos < w.beginFrames) pos = w.beginFrames;
                const bool loopOn = loopUsable && (gate || (envelopeOn && env > kEnvelopeAudible));
                const double limit = loopOn ? w.loopEndFrames : w.endFrames;
                if (pos < limit) {
                    pos += increment;
                    // Wrap by the loop length so that the loop keeps its
                    // exact period, fraction included.
                    if (loopOn && pos >= limit) pos -= loopLength;
                } else {
                    pos = loopOn ? w.loopStartFrames : w.endFrames;
                }
                read = loopOn || pos < w.endFrames;
            } else {
                if (pos > w.endFrames) pos = w.endFrames;
                const bool loopOn = loopUsable && gate;
                const double lower = loopOn ? w.loopStartFrames : w.beginFrames;
                if (pos > lower) {
                    pos -= increment;
                    if (loopOn && pos < lower) pos += loopLength;
                } else {
                    pos = loopOn ? w.loopEndFrames : w.beginFrames;
                }
                read = loopOn || pos > w.beginFrames;
            }
        }
        // 5. Read, or fade the last values where there is nothing to read
        // (stopped, run past the window, or outside the sample).
        if (read && pos >= 0.0 && pos < readLimit) {
            const int i = static_cast<int>(pos);
            const float frac = static_cast<float>(pos - static_cast<double>(i));
            const float amp = (envelopeOn ? env : 1.0f) * kSampleScale;
            if (stereo) {
                const int16_t* s = data + 2 * static_cast<size_t>(i);
                sampleL = (s[0] + (s[2] - s[0]) * frac) * amp;
                sampleR = (s[1] + (s[3] - s[1]) * frac) * amp;
            } else {
                const int16_t* s = data + i;
                sampleL = sampleR = (s[0] + (s[1] - s[0]) * frac) * amp;
            }
        } else {
            lastL = std::fabs(lastL) > kFadeFloor ? lastL * 0.5f : 0.0f;
            lastR = std::fabs(lastR) > kFadeFloor ? lastR * 0.5f : 0.0f;
            if (!sounds && lastL == 0.0f && lastR == 0.0f) {
                sounding = false;
                break;
            }
            sampleL = lastL;
            sampleR = lastR;
        }
        lastL = sampleL;
        lastR = sampleR;
        // 6. Filter.
        if (filterOn) {
            sampleL = fl.processFourPole<Guard::FlushToZero>(k, sampleL);
            sampleR = fr.processFourPole<Guard::FlushToZero>(k, sampleR);
        }
        // 7. Mix.
        left[n] += gainL * sampleL;
        right[n] += gainR * sampleR;
    }

    v.position = pos;
    v.envelope = env;
    v.stage = stage;
    v.lastLeft = lastL;
    v.lastRight = lastR;
    v.filterLeft = fl;
    v.filterRight = fr;
    if (!sounding) {
        v.running = false;
        v.lastLeft = v.lastRight = 0.0f;
    }
    return sounding;
}

}  // namespace sampler
