#include "modules/sampler_voice.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
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

// The sample at play position pos (at least 0, below the frame count less
// the read margin): linear interpolation between frame pos and the next,
// scaled by amp.
template <bool kStereo>
inline void readFrame(const int16_t* data, double pos, float amp, float& left, float& right) {
    const int i = static_cast<int>(pos);
    const float frac = static_cast<float>(pos - static_cast<double>(i));
    if constexpr (kStereo) {
        const int16_t* s = data + 2 * static_cast<size_t>(i);
        left = (s[0] + (s[2] - s[0]) * frac) * amp;
        right = (s[1] + (s[3] - s[1]) * frac) * amp;
    } else {
        const int16_t* s = data + i;
        left = right = (s[0] + (s[1] - s[0]) * frac) * amp;
    }
}

// readVoice() for a held note (gate on) playing forward whose envelope sits
// in its sustain (or is off and sustaining): the envelope step, the "does it
// sound" test and the loop decision are then the same on every frame, and
// only the play position moves. Same arithmetic as readVoice() otherwise.
template <bool kStereo, bool kLoop>
void readSteady(Voice& v, const PartSettings& p, float* outL, float* outR, int count) {
    const int16_t* const data = p.sample.frames;
    const double readLimit = static_cast<double>(p.sample.frameCount) - kReadMarginFrames;
    const PartWindow w = v.window;
    const double loopLength = w.loopEndFrames - w.loopStartFrames;
    const double limit = kLoop ? w.loopEndFrames : w.endFrames;
    const double increment = v.increment;
    const float amp = (p.envelopeOn ? v.envelope : 1.0f) * kSampleScale;
    double pos = v.position;
    float lastL = v.lastLeft, lastR = v.lastRight;
    for (int n = 0; n < count; ++n) {
        if (pos < w.beginFrames) pos = w.beginFrames;
        if (pos < limit) {
            pos += increment;
            if (kLoop && pos >= limit) pos -= loopLength;
        } else {
            pos = kLoop ? w.loopStartFrames : w.endFrames;
        }
        const bool read = kLoop || pos < w.endFrames;
        float sampleL, sampleR;
        if (read && pos >= 0.0 && pos < readLimit) {
            readFrame<kStereo>(data, pos, amp, sampleL, sampleR);
        } else {
            lastL = std::fabs(lastL) > kFadeFloor ? lastL * 0.5f : 0.0f;
            lastR = std::fabs(lastR) > kFadeFloor ? lastR * 0.5f : 0.0f;
            sampleL = lastL;
            sampleR = lastR;
        }
        lastL = sampleL;
        lastR = sampleR;
        outL[n] = sampleL;
        outR[n] = sampleR;
    }
    v.position = pos;
    v.lastLeft = lastL;
    v.lastRight = lastR;
}

// The samples of up to count frames before the filter: the play position
// through the window, the envelope, the interpolated reads and the fade of
// the last values where there is nothing to read. Returns the frames read;
// fewer than count where the voice fell silent (nothing for that frame on).
int readVoice(Voice& v, const PartSettings& p, float* outL, float* outR, int count) {
    // Held, forward, sustaining: the envelope step changes nothing (its
    // level lies within its limits), the voice sounds on every frame (the
    // position only moves up or back to a point of the window, none of them
    // negative) and loops whenever its part loops.
    if (v.gate && !p.reverse && v.stage == kStageSustain && v.envelope <= 1.0f && v.envelope >= kEnvelopeFloor &&
        v.position >= 0.0 && v.increment >= 0.0 && v.window.beginFrames >= 0.0 && v.window.endFrames >= 0.0 &&
        v.window.loopStartFrames >= 0.0) {
        const bool loop = p.loop && v.window.loopEndFrames - v.window.loopStartFrames >= kMinLoopFrames;
        if (p.sample.stereo)
            loop ? readSteady<true, true>(v, p, outL, outR, count) : readSteady<true, false>(v, p, outL, outR, count);
        else
            loop ? readSteady<false, true>(v, p, outL, outR, count) : readSteady<false, false>(v, p, outL, outR, count);
        return count;
    }
    const int16_t* const data = p.sample.frames;
    const bool stereo = p.sample.stereo;
    const double readLimit = static_cast<double>(p.sample.frameCount) - kReadMarginFrames;
    const PartWindow w = v.window;
    const double loopLength = w.loopEndFrames - w.loopStartFrames;
    const bool loopUsable = p.loop && loopLength >= kMinLoopFrames;
    const bool envelopeOn = p.envelopeOn;
    const bool hold = p.hold;
    const bool reverse = p.reverse;
    const double increment = v.increment;
    const bool gate = v.gate;

    double pos = v.position;
    float env = v.envelope;
    int stage = v.stage;
    float lastL = v.lastLeft, lastR = v.lastRight;

    int n = 0;
    for (; n < count; ++n) {
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
            const float amp = (envelopeOn ? env : 1.0f) * kSampleScale;
            if (stereo)
                readFrame<true>(data, pos, amp, sampleL, sampleR);
            else
                readFrame<false>(data, pos, amp, sampleL, sampleR);
        } else {
            lastL = std::fabs(lastL) > kFadeFloor ? lastL * 0.5f : 0.0f;
            lastR = std::fabs(lastR) > kFadeFloor ? lastR * 0.5f : 0.0f;
            if (!sounds && lastL == 0.0f && lastR == 0.0f) break;
            sampleL = lastL;
            sampleR = lastR;
        }
        lastL = sampleL;
        lastR = sampleR;
        outL[n] = sampleL;
        outR[n] = sampleR;
    }
    v.position = pos;
    v.envelope = env;
    v.stage = stage;
    v.lastLeft = lastL;
    v.lastRight = lastR;
    return n;
}

// One step of four Direct Form I sections sharing the coefficients, one per
// lane, each doing dsp::BiquadSection's arithmetic in its order with the
// effects' flush-to-zero guard.
struct LaneSections {
    __m128 x1, x2, y1, y2;
};

inline __m128 stepSections(LaneSections& h, __m128 x, __m128 b0, __m128 b1, __m128 b2, __m128 a1, __m128 a2) {
    __m128 y = _mm_add_ps(_mm_mul_ps(b0, x), _mm_mul_ps(b1, h.x1));
    y = _mm_add_ps(y, _mm_mul_ps(b2, h.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(a1, h.y1));
    y = _mm_sub_ps(y, _mm_mul_ps(a2, h.y2));
    // Magnitude at most 1e-10 becomes 0 ("not <=" keeps NaN). Such values
    // come only where the signal dies away, so the branch is predicted right
    // and the mask stays off the recursion's chain.
    const __m128 magnitude = _mm_and_ps(y, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 keep = _mm_cmpnle_ps(magnitude, _mm_set1_ps(1e-10f));
    if (_mm_movemask_ps(keep) != 0xf) y = _mm_and_ps(keep, y);
    h.x2 = h.x1;
    h.x1 = x;
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

// Both channels' four-pole filters over count frames in place, bit for bit
// as FourPoleFilter::processFourPole<FlushToZero> frame by frame. The lanes
// hold the left and right first sections and, one frame behind them, the
// left and right second sections, so that one step of four lanes advances
// all four sections: at step t the first sections take frame t and the
// second sections the first sections' output of frame t - 1.
void filterPiece(const dsp::BiquadCoefficients& k, dsp::FourPoleFilter& fl, dsp::FourPoleFilter& fr, float* l,
                 float* r, int count) {
    if (count <= 0) return;
    const __m128 b0 = _mm_set1_ps(k.b0), b1 = _mm_set1_ps(k.b1), b2 = _mm_set1_ps(k.b2);
    const __m128 a1 = _mm_set1_ps(k.a1), a2 = _mm_set1_ps(k.a2);
    LaneSections h{_mm_setr_ps(fl.first.x1, fr.first.x1, fl.second.x1, fr.second.x1),
                   _mm_setr_ps(fl.first.x2, fr.first.x2, fl.second.x2, fr.second.x2),
                   _mm_setr_ps(fl.first.y1, fr.first.y1, fl.second.y1, fr.second.y1),
                   _mm_setr_ps(fl.first.y2, fr.first.y2, fl.second.y2, fr.second.y2)};
    // Lanes 0, 1 from a, lanes 2, 3 from b.
    const auto lowFromHigh = [](__m128 a, __m128 b) { return _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 1, 0)); };
    // Step 0: the first sections alone; the second sections keep their state.
    {
        const LaneSections before = h;
        const __m128 y = stepSections(h, _mm_setr_ps(l[0], r[0], 0.0f, 0.0f), b0, b1, b2, a1, a2);
        h.x1 = lowFromHigh(h.x1, before.x1);
        h.x2 = lowFromHigh(h.x2, before.x2);
        h.y1 = lowFromHigh(h.y1, before.y1);
        h.y2 = lowFromHigh(h.y2, before.y2);
        (void)y;
    }
    for (int t = 1; t < count; ++t) {
        // Lanes 0, 1: frame t; lanes 2, 3: the first sections' last output.
        const __m128 in = _mm_shuffle_ps(_mm_unpacklo_ps(_mm_load_ss(l + t), _mm_load_ss(r + t)), h.y1,
                                         _MM_SHUFFLE(1, 0, 1, 0));
        const __m128 y = stepSections(h, in, b0, b1, b2, a1, a2);
        // The second sections' output is frame t - 1's.
        _mm_store_ss(l + t - 1, _mm_shuffle_ps(y, y, _MM_SHUFFLE(2, 2, 2, 2)));
        _mm_store_ss(r + t - 1, _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 3, 3, 3)));
    }
    // Last step: the second sections alone take the last frame.
    {
        const LaneSections before = h;
        const __m128 in = _mm_shuffle_ps(h.y1, h.y1, _MM_SHUFFLE(1, 0, 1, 0));
        const __m128 y = stepSections(h, in, b0, b1, b2, a1, a2);
        h.x1 = lowFromHigh(before.x1, h.x1);
        h.x2 = lowFromHigh(before.x2, h.x2);
        h.y1 = lowFromHigh(before.y1, h.y1);
        h.y2 = lowFromHigh(before.y2, h.y2);
        _mm_store_ss(l + count - 1, _mm_shuffle_ps(y, y, _MM_SHUFFLE(2, 2, 2, 2)));
        _mm_store_ss(r + count - 1, _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 3, 3, 3)));
    }
    alignas(16) float x1[4], x2[4], y1[4], y2[4];
    _mm_store_ps(x1, h.x1);
    _mm_store_ps(x2, h.x2);
    _mm_store_ps(y1, h.y1);
    _mm_store_ps(y2, h.y2);
    fl.first = {x1[0], x2[0], y1[0], y2[0]};
    fr.first = {x1[1], x2[1], y1[1], y2[1]};
    fl.second = {x1[2], x2[2], y1[2], y2[2]};
    fr.second = {x1[3], x2[3], y1[3], y2[3]};
}

void mixPiece(float gainL, float gainR, const float* sampleL, const float* sampleR, float* left, float* right,
              int count) {
    for (int n = 0; n < count; ++n) {
        left[n] += gainL * sampleL[n];
        right[n] += gainR * sampleR[n];
    }
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
    // exp2 is a pure function: the same exponent gives the same factor.
    if (exponent != v.lastExponent) {
        v.lastExponent = exponent;
        v.lastPitchFactor = portable::exp2(exponent);
    }
    v.increment = p.increment * (static_cast<double>(velocity * p.tuneVelocity) / 128.0 + 1.0) * v.lastPitchFactor;

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
        const int cutoffIndex = dsp::cutoffTableIndex(noteValue - 32.0f);
        const int qIndex = dsp::qTableIndex(v.smoothedQ);
        if (cutoffIndex != v.designedCutoffIndex || qIndex != v.designedQIndex) {
            v.filterCoefficients =
                dsp::designBiquad(dsp::dspTables(), cutoffIndex, qIndex, dsp::FilterMode::LowPass);
            v.designedCutoffIndex = cutoffIndex;
            v.designedQIndex = qIndex;
        }
    }
}

namespace {

bool sectionAtRest(const dsp::BiquadSection& s) {
    uint32_t any = 0;
    for (float x : {s.x1, s.x2, s.y1, s.y2}) any |= std::bit_cast<uint32_t>(x);
    return any == 0;
}

// A voice at rest frame by frame: no frame reads, the fade and filter give
// +0 and the mix adds nothing; the envelope steps while the voice sounds and
// the position stays at the window's end.
bool restFrames(Voice& v, const PartSettings& p, int frames) {
    const PartWindow& w = v.window;
    const bool envelopeOn = p.envelopeOn;
    const bool hold = p.hold;
    const bool gate = v.gate;
    double pos = v.position;
    float env = v.envelope;
    int stage = v.stage;
    bool sounding = true;
    for (int n = 0; n < frames; ++n) {
        const bool envelopeAudible = envelopeOn && env > kEnvelopeAudible;
        const bool holding = hold && pos > w.beginFrames && pos < w.endFrames;
        if (!(pos >= 0.0 && (gate || envelopeAudible || holding))) {
            sounding = false;
            break;
        }
        stepEnvelope(env, stage, p);
        pos = w.endFrames;
    }
    v.position = pos;
    v.envelope = env;
    v.stage = stage;
    v.lastLeft = v.lastRight = 0.0f;
    if (!sounding) v.running = false;
    return sounding;
}

// Clamped as stepEnvelope() clamps.
inline float clampEnvelope(float level) {
    if (level > 1.0f) level = 1.0f;
    if (!(level >= kEnvelopeFloor)) level = kEnvelopeFloor;
    return level;
}

}  // namespace

// At rest the position lies at or past the window's end (and stays at the
// end): the hold never holds it, and whether the voice sounds depends only
// on the gate and the envelope. Sustain and idle leave the level where
// their first step clamps it.
bool renderVoiceAtRest(Voice& v, const PartSettings& p, int frames) {
    const PartWindow& w = v.window;
    if (frames <= 0) return true;
    if (!(v.position >= 0.0) || !(w.endFrames >= 0.0)) return restFrames(v, p, frames);
    const bool envelopeOn = p.envelopeOn;
    const bool gate = v.gate;
    float env = v.envelope;
    int stage = v.stage;
    const auto sounds = [&] { return gate || (envelopeOn && env > kEnvelopeAudible); };
    bool sounding = sounds();
    if (sounding) {
        v.position = w.endFrames;
        if (stage == kStageSustain || stage == kStageIdle) {
            env = clampEnvelope(env);
            if (frames > 1) sounding = sounds();
        } else {
            stepEnvelope(env, stage, p);
            for (int n = 1; n < frames; ++n) {
                if (!sounds()) {
                    sounding = false;
                    break;
                }
                stepEnvelope(env, stage, p);
            }
        }
    }
    v.envelope = env;
    v.stage = stage;
    v.lastLeft = v.lastRight = 0.0f;
    if (!sounding) v.running = false;
    return sounding;
}

bool voiceAtRest(const Voice& v, const PartSettings& p) {
    const PartWindow& w = v.window;
    // Forward without a loop, at or past the end of a window that does not
    // end before it begins: every frame leaves the position at the end and
    // reads nothing.
    if (p.reverse || (p.loop && w.loopEndFrames - w.loopStartFrames >= kMinLoopFrames)) return false;
    if (!(v.position >= w.endFrames) || !(w.endFrames >= w.beginFrames)) return false;
    // Nothing left to fade, nothing ringing, and gains that turn a zero
    // into a zero.
    if (v.lastLeft != 0.0f || v.lastRight != 0.0f) return false;
    if (!std::isfinite(v.gainLeft) || !std::isfinite(v.gainRight)) return false;
    if (p.filterOn) {
        const dsp::BiquadCoefficients& k = v.filterCoefficients;
        if (!std::isfinite(k.b0) || !std::isfinite(k.b1) || !std::isfinite(k.b2) || !std::isfinite(k.a1) ||
            !std::isfinite(k.a2))
            return false;
        if (!sectionAtRest(v.filterLeft.first) || !sectionAtRest(v.filterLeft.second) ||
            !sectionAtRest(v.filterRight.first) || !sectionAtRest(v.filterRight.second))
            return false;
    }
    return true;
}

bool renderVoice(Voice& v, const PartSettings& p, float* left, float* right, int frames) {
    if (frames > 0 && voiceAtRest(v, p)) return renderVoiceAtRest(v, p, frames);
    // In pieces of up to kPiece frames: the play position, envelope and
    // sample reads frame by frame, then the filter over the piece, then the
    // mix into the outputs.
    constexpr int kPiece = 64;
    alignas(16) float sampleL[kPiece], sampleR[kPiece];
    for (int start = 0; start < frames; start += kPiece) {
        const int count = std::min(kPiece, frames - start);
        const int read = readVoice(v, p, sampleL, sampleR, count);
        if (p.filterOn) filterPiece(v.filterCoefficients, v.filterLeft, v.filterRight, sampleL, sampleR, read);
        mixPiece(v.gainLeft, v.gainRight, sampleL, sampleR, left + start, right + start, read);
        if (read < count) {
            // Fallen silent, its fade included.
            v.running = false;
            v.lastLeft = v.lastRight = 0.0f;
            return false;
        }
    }
    return true;
}

}  // namespace sampler
