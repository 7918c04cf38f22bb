// The sampler voice against a plain per-frame rendering of its algorithm: the
// voice reads its samples frame by frame, then runs both channels' four-pole
// filters in SSE lanes over the run and mixes, and must come out bit for bit
// the same, in every play mode (forward, reverse, loops, hold, envelope off),
// through releases, the end of the sample and the fade to silence, on mono
// and stereo samples, with runs of every length. Voices rendered four at a
// time in SSE lanes, entering and leaving them from run to run, must sum to
// the same samples as the one-voice frame loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "modules/dsp_tables.h"
#include "modules/sampler_voice.h"
#include "modules/sampler_voice_lanes.h"

namespace {

using namespace sampler;

constexpr float kFadeFloor = 0.0001f;
constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr double kReadMarginFrames = 3.0;
constexpr double kMinLoopFrames = 1.0;

void referenceEnvelope(float& level, int& stage, const PartSettings& p) {
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

// One frame after another: move, read, filter, mix.
bool referenceRender(Voice& v, const PartSettings& p, float* left, float* right, int frames) {
    const PartWindow w = v.window;
    const double readLimit = static_cast<double>(p.sample.frameCount) - kReadMarginFrames;
    const double loopLength = w.loopEndFrames - w.loopStartFrames;
    const bool loopUsable = p.loop && loopLength >= kMinLoopFrames;
    for (int n = 0; n < frames; ++n) {
        const bool envelopeAudible = p.envelopeOn && v.envelope > kEnvelopeAudible;
        const bool holding = p.hold && v.position > w.beginFrames && v.position < w.endFrames;
        const bool sounds = v.position >= 0.0 && (v.gate || envelopeAudible || holding);
        bool read = false;
        double& pos = v.position;
        if (sounds) {
            referenceEnvelope(v.envelope, v.stage, p);
            if (!p.reverse) {
                if (pos < w.beginFrames) pos = w.beginFrames;
                const bool loopOn = loopUsable && (v.gate || (p.envelopeOn && v.envelope > kEnvelopeAudible));
                const double limit = loopOn ? w.loopEndFrames : w.endFrames;
                if (pos < limit) {
                    pos += v.increment;
                    if (loopOn && pos >= limit) pos -= loopLength;
                } else {
                    pos = loopOn ? w.loopStartFrames : w.endFrames;
                }
                read = loopOn || pos < w.endFrames;
            } else {
                if (pos > w.endFrames) pos = w.endFrames;
                const bool loopOn = loopUsable && v.gate;
                const double lower = loopOn ? w.loopStartFrames : w.beginFrames;
                if (pos > lower) {
                    pos -= v.increment;
                    if (loopOn && pos < lower) pos += loopLength;
                } else {
                    pos = loopOn ? w.loopEndFrames : w.beginFrames;
                }
                read = loopOn || pos > w.beginFrames;
            }
        }
        float sl, sr;
        if (read && pos >= 0.0 && pos < readLimit) {
            const int i = static_cast<int>(pos);
            const float frac = static_cast<float>(pos - static_cast<double>(i));
            const float amp = (p.envelopeOn ? v.envelope : 1.0f) * kSampleScale;
            if (p.sample.stereo) {
                const int16_t* s = p.sample.frames + 2 * static_cast<size_t>(i);
                sl = (s[0] + (s[2] - s[0]) * frac) * amp;
                sr = (s[1] + (s[3] - s[1]) * frac) * amp;
            } else {
                const int16_t* s = p.sample.frames + i;
                sl = sr = (s[0] + (s[1] - s[0]) * frac) * amp;
            }
        } else {
            v.lastLeft = std::fabs(v.lastLeft) > kFadeFloor ? v.lastLeft * 0.5f : 0.0f;
            v.lastRight = std::fabs(v.lastRight) > kFadeFloor ? v.lastRight * 0.5f : 0.0f;
            if (!sounds && v.lastLeft == 0.0f && v.lastRight == 0.0f) {
                v.running = false;
                return false;
            }
            sl = v.lastLeft;
            sr = v.lastRight;
        }
        v.lastLeft = sl;
        v.lastRight = sr;
        if (p.filterOn) {
            sl = v.filterLeft.processFourPole<dsp::DenormalGuard::FlushToZero>(v.filterCoefficients, sl);
            sr = v.filterRight.processFourPole<dsp::DenormalGuard::FlushToZero>(v.filterCoefficients, sr);
        }
        left[n] += v.gainLeft * sl;
        right[n] += v.gainRight * sr;
    }
    return true;
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

bool sameSection(const dsp::BiquadSection& a, const dsp::BiquadSection& b) {
    return bits(a.x1) == bits(b.x1) && bits(a.x2) == bits(b.x2) && bits(a.y1) == bits(b.y1) && bits(a.y2) == bits(b.y2);
}

struct Material {
    std::vector<int16_t> data;
    uint32_t frames;
    bool stereo;
};

Material makeSample(std::mt19937& rng, bool stereo) {
    Material m;
    m.stereo = stereo;
    m.frames = 3000 + static_cast<uint32_t>(rng() % 20000);
    m.data.resize(static_cast<size_t>(m.frames) * (stereo ? 2 : 1));
    std::uniform_int_distribution<int> noise(-3000, 3000);
    for (size_t i = 0; i < m.data.size(); ++i) {
        // A loud tone under noise, so that the filters ring.
        const double t = static_cast<double>(i / (stereo ? 2 : 1));
        m.data[i] = static_cast<int16_t>(20000.0 * std::sin(0.07 * t + (i % 2 ? 0.5 : 0.0)) + noise(rng));
    }
    return m;
}

PartSettings randomPart(std::mt19937& rng, const Material& m) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    PartSettings p;
    p.sample.frames = m.data.data();
    p.sample.frameCount = m.frames;
    p.sample.stereo = m.stereo;
    const double n = m.frames;
    p.window.beginFrames = n * 0.1 * unit(rng);
    p.window.endFrames = n * (0.6 + 0.45 * unit(rng));  // past the sample's end now and then
    p.window.loopStartFrames = n * (0.2 + 0.2 * unit(rng));
    p.window.loopEndFrames = p.window.loopStartFrames + (unit(rng) < 0.1f ? 0.5 : n * 0.3 * unit(rng));
    p.window.velocityStartFrames = p.window.beginFrames + n * 0.05 * unit(rng);
    p.increment = 0.25 + 2.5 * unit(rng);
    p.levelGain = 0.2f + unit(rng);
    p.pan = unit(rng);
    p.attackIncrement = 0.0005f + 0.02f * unit(rng);
    p.decayFactor = 0.999f + 0.00099f * unit(rng);
    p.sustain = unit(rng);
    p.releaseFactor = 0.99f + 0.0099f * unit(rng);
    p.envTuneExponent = unit(rng) < 0.3f ? unit(rng) - 0.5f : 0.0f;
    p.envelopeOn = unit(rng) < 0.8f;
    p.levelVelocity = unit(rng);
    p.tuneVelocity = unit(rng) < 0.2f ? unit(rng) * 0.1f : 0.0f;
    p.hold = unit(rng) < 0.3f;
    p.reverse = unit(rng) < 0.25f;
    p.loop = unit(rng) < 0.6f;
    p.filterFreq = unit(rng);
    p.filterQ = unit(rng);
    p.filterVelocity = unit(rng) * 0.5f;
    p.filterEnvAmount = 2.0f * unit(rng) - 1.0f;
    p.filterOn = unit(rng) < 0.75f;
    p.frequencyKeyOn = unit(rng) < 0.7f;
    p.filterKeyOn = unit(rng) < 0.7f;
    return p;
}

// A note through control ticks and runs of random length, released part of
// the way, rendered until it falls silent or 3 s have passed. Returns the
// frames compared.
long compareNote(unsigned seed) {
    std::mt19937 rng(seed);
    const Material m = makeSample(rng, seed % 3 != 0);
    const PartSettings part = randomPart(rng, m);
    const int note = 30 + static_cast<int>(rng() % 60);
    const int velocity = 1 + static_cast<int>(rng() % 127);
    Voice fast, slow;
    voiceNoteOn(fast, part, note, velocity);
    voiceNoteOn(slow, part, note, velocity);
    fast.running = slow.running = true;
    controlUpdate(fast, part, part.splitNote, false);
    controlUpdate(slow, part, part.splitNote, false);
    // Past the 3 s now and then: a held note that still sounds at the end.
    const int releaseAt = static_cast<int>(rng() % 200000);
    const int longestRun = seed % 4 == 0 ? 200 : 16;
    std::vector<float> outFast(256), outSlow(256);
    long frame = 0, compared = 0;
    bool released = false;
    while (frame < 3 * 44100) {
        const int run = 1 + static_cast<int>(rng() % static_cast<unsigned>(longestRun));
        if (!released && frame >= releaseAt) {
            voiceRelease(fast);
            voiceRelease(slow);
            released = true;
        }
        for (int i = 0; i < run; ++i) outFast[static_cast<size_t>(i)] = outSlow[static_cast<size_t>(i)] = 0.01f * i;
        const bool a = renderVoice(fast, part, outFast.data(), outFast.data() + 128, std::min(run, 128));
        const bool b = referenceRender(slow, part, outSlow.data(), outSlow.data() + 128, std::min(run, 128));
        for (int i = 0; i < std::min(run, 128); ++i) {
            if (bits(outFast[static_cast<size_t>(i)]) != bits(outSlow[static_cast<size_t>(i)]) ||
                bits(outFast[static_cast<size_t>(128 + i)]) != bits(outSlow[static_cast<size_t>(128 + i)])) {
                ADD_FAILURE() << "seed " << seed << " frame " << frame + i << ": " << outFast[static_cast<size_t>(i)]
                              << " against " << outSlow[static_cast<size_t>(i)];
                return compared;
            }
        }
        compared += std::min(run, 128);
        EXPECT_EQ(a, b) << "seed " << seed;
        EXPECT_EQ(fast.position, slow.position) << "seed " << seed;
        EXPECT_EQ(bits(fast.envelope), bits(slow.envelope)) << "seed " << seed;
        EXPECT_TRUE(sameSection(fast.filterLeft.first, slow.filterLeft.first) &&
                    sameSection(fast.filterLeft.second, slow.filterLeft.second) &&
                    sameSection(fast.filterRight.first, slow.filterRight.first) &&
                    sameSection(fast.filterRight.second, slow.filterRight.second))
            << "seed " << seed;
        if (!a || !b || ::testing::Test::HasFailure()) break;
        frame += std::min(run, 128);
        controlUpdate(fast, part, part.splitNote, true);
        controlUpdate(slow, part, part.splitNote, true);
    }
    return compared;
}

TEST(SamplerVoiceNull, PiecesMatchTheFrameLoopBitForBit) {
    long compared = 0;
    int silenced = 0;
    for (unsigned seed = 1; seed <= 120 && !::testing::Test::HasFailure(); ++seed) {
        const long frames = compareNote(seed);
        compared += frames;
        if (frames < 3 * 44100) ++silenced;
    }
    EXPECT_GT(compared, 2000000);
    // Both ways out are covered: notes that fade to silence, and notes that
    // still sound when the comparison stops.
    EXPECT_GT(silenced, 10);
    EXPECT_LT(silenced, 115);
}

TEST(SamplerVoiceNull, FilterStatesCarryAcrossLongRuns) {
    // A run longer than the voice's working piece: the filter state passes
    // from one piece to the next.
    std::mt19937 rng(77);
    const Material m = makeSample(rng, true);
    PartSettings part = randomPart(rng, m);
    part.filterOn = true;
    part.loop = true;
    part.reverse = false;
    Voice fast, slow;
    voiceNoteOn(fast, part, 60, 100);
    voiceNoteOn(slow, part, 60, 100);
    fast.running = slow.running = true;
    controlUpdate(fast, part, part.splitNote, false);
    controlUpdate(slow, part, part.splitNote, false);
    std::vector<float> a(2 * 1000, 0.0f), b(2 * 1000, 0.0f);
    ASSERT_TRUE(renderVoice(fast, part, a.data(), a.data() + 1000, 1000));
    ASSERT_TRUE(referenceRender(slow, part, b.data(), b.data() + 1000, 1000));
    float peak = 0.0f;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(bits(a[i]), bits(b[i])) << i;
        peak = std::max(peak, std::fabs(a[i]));
    }
    EXPECT_GT(peak, 0.01f);
}

TEST(SamplerVoiceNull, ControlStepsThatSkipRepeatedWorkGiveTheSameValues) {
    // The control step keeps the pitch factor and the filter design of its
    // last inputs; a voice whose memory is wiped before every step computes
    // everything afresh. Pitch envelope, filter envelope and smoothing move
    // the inputs through attack, decay, sustain and release.
    long designs = 0, steps = 0;
    for (unsigned seed = 200; seed < 260; ++seed) {
        std::mt19937 rng(seed);
        const Material m = makeSample(rng, seed % 2 == 0);
        PartSettings part = randomPart(rng, m);
        if (seed % 3 == 0) part.envTuneExponent = 0.0f;
        Voice kept, fresh;
        voiceNoteOn(kept, part, 40 + static_cast<int>(seed % 40), 90);
        voiceNoteOn(fresh, part, 40 + static_cast<int>(seed % 40), 90);
        kept.running = fresh.running = true;
        std::vector<float> l(16), r(16);
        for (int step = 0; step < 2000; ++step) {
            fresh.lastExponent = std::numeric_limits<double>::quiet_NaN();
            fresh.designedCutoffIndex = fresh.designedQIndex = -1;
            const dsp::BiquadCoefficients before = kept.filterCoefficients;
            controlUpdate(kept, part, part.splitNote, step > 0);
            controlUpdate(fresh, part, part.splitNote, step > 0);
            ASSERT_EQ(kept.increment, fresh.increment) << "seed " << seed << " step " << step;
            if (part.filterOn) {
                ASSERT_EQ(bits(kept.filterCoefficients.b0), bits(fresh.filterCoefficients.b0));
                ASSERT_EQ(bits(kept.filterCoefficients.b1), bits(fresh.filterCoefficients.b1));
                ASSERT_EQ(bits(kept.filterCoefficients.b2), bits(fresh.filterCoefficients.b2));
                ASSERT_EQ(bits(kept.filterCoefficients.a1), bits(fresh.filterCoefficients.a1));
                ASSERT_EQ(bits(kept.filterCoefficients.a2), bits(fresh.filterCoefficients.a2));
                if (bits(before.a1) != bits(kept.filterCoefficients.a1)) ++designs;
            }
            if (step == 1200) {
                voiceRelease(kept);
                voiceRelease(fresh);
            }
            renderVoice(kept, part, l.data(), r.data(), 16);
            renderVoice(fresh, part, l.data(), r.data(), 16);
            ++steps;
        }
    }
    // The filter inputs did move (the comparison saw new designs).
    EXPECT_GT(designs, 1000);
    EXPECT_EQ(steps, 60 * 2000);
}

// A set of voices playing random notes on a handful of parts, rendered in
// runs of 1 to 16 frames as the module renders them: the fast side puts
// every voice the lanes take into groups of up to four of one shape, the
// rest through renderVoice(), and sums the voices' runs in voice order; the
// reference side adds each voice frame by frame in the same order.
struct LaneCounts {
    long laneRuns = 0;
    long loopRuns = 0;
    long entered = 0;  // a voice going from the one-voice loop to the lanes
    long left = 0;     // and back
    long groupsOfFour = 0;
    long mixedGroups = 0;  // lanes with voices of different parts
    long restRuns = 0;  // a voice past its end adding nothing
    long frames = 0;
};

void playLanes(unsigned seed, LaneKernel kernel, LaneCounts& counts) {
    constexpr int kVoiceCount = 12;
    std::mt19937 rng(seed);
    std::vector<Material> materials;
    for (int m = 0; m < 3; ++m) materials.push_back(makeSample(rng, m != 1));
    std::vector<PartSettings> parts;
    for (int k = 0; k < 6; ++k) {
        PartSettings p = randomPart(rng, materials[static_cast<size_t>(k) % materials.size()]);
        // Mostly parts the lanes can take for long stretches: forward, gated
        // or released slowly; the random ones keep the other modes in.
        if (k < 4) {
            p.reverse = false;
            p.envelopeOn = k != 3;
            p.releaseFactor = 0.9995f + 0.0004f * static_cast<float>(k);
            p.increment = 0.5 + 0.3 * k;
        }
        parts.push_back(p);
    }
    Voice fast[kVoiceCount], slow[kVoiceCount];
    bool inLanes[kVoiceCount] = {};
    alignas(16) float runL[kVoiceCount][kControlPeriod], runR[kVoiceCount][kControlPeriod];
    float sumL[kControlPeriod], sumR[kControlPeriod], refL[kControlPeriod], refR[kControlPeriod];
    std::uniform_int_distribution<int> dice(0, 99);
    for (int step = 0; step < 6000; ++step) {
        // Notes on and off between runs, as MIDI events split them.
        const int event = dice(rng);
        const int which = static_cast<int>(rng() % kVoiceCount);
        if (event < 6) {
            const int part = static_cast<int>(rng() % parts.size());
            const int note = 36 + static_cast<int>(rng() % 48);
            const int velocity = 1 + static_cast<int>(rng() % 127);
            for (Voice* v : {&fast[which], &slow[which]}) {
                v->part = part;
                voiceNoteOn(*v, parts[static_cast<size_t>(part)], note, velocity);
                if (!v->running) {
                    v->running = true;
                    controlUpdate(*v, parts[static_cast<size_t>(part)], 60, false);
                }
            }
        } else if (event < 10 && fast[which].gate) {
            voiceRelease(fast[which]);
            voiceRelease(slow[which]);
        }
        const int frames = 1 + static_cast<int>(rng() % kControlPeriod);
        for (int n = 0; n < frames; ++n) {
            sumL[n] = refL[n] = 0.001f * static_cast<float>(n);
            sumR[n] = refR[n] = -0.002f * static_cast<float>(n + 1);
        }
        // Fast side.
        int order[kVoiceCount];
        int sounding = 0;
        int laneList[kVoiceCount];
        int laneCount = 0;
        for (int i = 0; i < kVoiceCount; ++i) {
            Voice& v = fast[i];
            if (!v.running) continue;
            const PartSettings& part = parts[static_cast<size_t>(v.part)];
            if (voiceAtRest(v, part)) {
                // Left out of the sum, as the module leaves it.
                renderVoice(v, part, runL[i], runR[i], frames);
                ++counts.restRuns;
                continue;
            }
            order[sounding++] = i;
            const bool lanes = laneEligible(v, part, frames);
            if (lanes && !inLanes[i]) ++counts.entered;
            if (!lanes && inLanes[i]) ++counts.left;
            inLanes[i] = lanes;
            if (lanes) {
                laneList[laneCount++] = i;
                continue;
            }
            std::fill_n(runL[i], frames, 0.0f);
            std::fill_n(runR[i], frames, 0.0f);
            renderVoice(v, part, runL[i], runR[i], frames);
            ++counts.loopRuns;
        }
        bool grouped[kVoiceCount] = {};
        for (int a = 0; a < laneCount; ++a) {
            if (grouped[a]) continue;
            const LaneShape shape = laneShape(parts[static_cast<size_t>(fast[laneList[a]].part)]);
            Voice* group[kLanes];
            const PartSettings* groupParts[kLanes];
            float* groupL[kLanes];
            float* groupR[kLanes];
            int count = 0;
            for (int b = a; b < laneCount && count < kLanes; ++b) {
                const int i = laneList[b];
                const PartSettings& part = parts[static_cast<size_t>(fast[i].part)];
                if (grouped[b] || !(laneShape(part) == shape)) continue;
                grouped[b] = true;
                group[count] = &fast[i];
                groupParts[count] = &part;
                groupL[count] = runL[i];
                groupR[count] = runR[i];
                ++count;
            }
            for (int l = count; l < kLanes; ++l) {
                group[l] = group[0];
                groupParts[l] = groupParts[0];
                groupL[l] = groupL[0];
                groupR[l] = groupR[0];
            }
            renderVoiceLanes(group, groupParts, count, shape, groupL, groupR, frames, kernel);
            counts.laneRuns += count;
            if (count == kLanes) ++counts.groupsOfFour;
            for (int l = 1; l < count; ++l)
                if (groupParts[l] != groupParts[0]) {
                    ++counts.mixedGroups;
                    break;
                }
        }
        for (int s = 0; s < sounding; ++s)
            for (int n = 0; n < frames; ++n) {
                sumL[n] += runL[order[s]][n];
                sumR[n] += runR[order[s]][n];
            }
        // Reference side.
        for (int i = 0; i < kVoiceCount; ++i)
            if (slow[i].running) referenceRender(slow[i], parts[static_cast<size_t>(slow[i].part)], refL, refR, frames);
        for (int n = 0; n < frames; ++n) {
            if (bits(sumL[n]) != bits(refL[n]) || bits(sumR[n]) != bits(refR[n])) {
                ADD_FAILURE() << "seed " << seed << " step " << step << " frame " << n << ": " << sumL[n] << " "
                              << sumR[n] << " against " << refL[n] << " " << refR[n];
                return;
            }
        }
        counts.frames += frames;
        for (int i = 0; i < kVoiceCount; ++i) {
            const Voice& a = fast[i];
            const Voice& b = slow[i];
            const bool same = a.running == b.running && a.position == b.position && a.stage == b.stage &&
                              bits(a.envelope) == bits(b.envelope) && bits(a.lastLeft) == bits(b.lastLeft) &&
                              bits(a.lastRight) == bits(b.lastRight) &&
                              sameSection(a.filterLeft.first, b.filterLeft.first) &&
                              sameSection(a.filterLeft.second, b.filterLeft.second) &&
                              sameSection(a.filterRight.first, b.filterRight.first) &&
                              sameSection(a.filterRight.second, b.filterRight.second);
            if (!same) {
                ADD_FAILURE() << "seed " << seed << " step " << step << ": voice " << i << " state differs";
                return;
            }
            if (a.running) {
                controlUpdate(fast[i], parts[static_cast<size_t>(a.part)], 60, true);
                controlUpdate(slow[i], parts[static_cast<size_t>(b.part)], 60, true);
            }
        }
    }
}

void expectLanesMatch(LaneKernel kernel) {
    LaneCounts counts;
    for (unsigned seed = 1; seed <= 24 && !::testing::Test::HasFailure(); ++seed) playLanes(seed, kernel, counts);
    EXPECT_GT(counts.frames, 24L * 6000 * 8);
    // Both paths did real work, voices moved between them, and full and
    // mixed groups came up.
    EXPECT_GT(counts.laneRuns, 200000);
    EXPECT_GT(counts.loopRuns, 20000);
    EXPECT_GT(counts.entered, 1000);
    EXPECT_GT(counts.left, 1000);
    EXPECT_GT(counts.groupsOfFour, 10000);
    EXPECT_GT(counts.mixedGroups, 10000);
    EXPECT_GT(counts.restRuns, 3000);
}

TEST(SamplerVoiceNull, LanesMatchTheFrameLoopBitForBit) { expectLanesMatch(LaneKernel::Sse2); }

TEST(SamplerVoiceNull, WideLanesMatchTheFrameLoopBitForBit) {
    if (!laneKernelAvailable(LaneKernel::Avx2)) GTEST_SKIP() << "this processor has no AVX2";
    expectLanesMatch(LaneKernel::Avx2);
}

TEST(SamplerVoiceNull, LanesTakeOnlyWhatTheyRenderExactly) {
    std::mt19937 rng(5);
    const Material m = makeSample(rng, true);
    PartSettings part = randomPart(rng, m);
    part.reverse = false;
    part.loop = true;
    part.window.beginFrames = 100.0;
    part.window.endFrames = 2000.0;
    part.window.loopStartFrames = 500.0;
    part.window.loopEndFrames = 1000.0;
    part.envelopeOn = true;
    Voice v;
    voiceNoteOn(v, part, 60, 100);
    v.running = true;
    v.increment = 1.0;
    v.position = 900.0;
    EXPECT_TRUE(laneEligible(v, part, 16));
    // The 16th frame would reach the loop's end and wrap.
    v.position = 984.0;
    EXPECT_FALSE(laneEligible(v, part, 16));
    EXPECT_TRUE(laneEligible(v, part, 15));
    v.position = 50.0;  // before the window: moved up to its beginning first
    EXPECT_FALSE(laneEligible(v, part, 4));
    v.position = 900.0;
    part.reverse = true;
    EXPECT_FALSE(laneEligible(v, part, 4));
    part.reverse = false;
    // Without its loop the window's end and the sample's end bound the run.
    part.loop = false;
    v.position = 1990.0;
    EXPECT_FALSE(laneEligible(v, part, 16));
    v.window.endFrames = 1e9;  // the voice keeps the window of its note on
    v.position = static_cast<double>(m.frames) - 3.0 - 16.5;
    EXPECT_TRUE(laneEligible(v, part, 16));
    v.position += 1.0;
    EXPECT_FALSE(laneEligible(v, part, 16));
    // Released: while the level stays audible through the run, not after.
    v.position = 900.0;
    part.loop = true;
    voiceRelease(v);
    part.releaseFactor = 0.99f;
    v.envelope = 0.5f;
    EXPECT_TRUE(laneEligible(v, part, 16));
    v.envelope = kEnvelopeAudible / (0.99f * 0.99f * 0.99f);  // falls to it in the third step
    EXPECT_TRUE(laneEligible(v, part, 2));
    EXPECT_FALSE(laneEligible(v, part, 3));
    part.envelopeOn = false;
    v.envelope = 0.5f;
    EXPECT_FALSE(laneEligible(v, part, 1));
    EXPECT_FALSE(laneEligible(v, part, kControlPeriod + 1));
}

TEST(SamplerVoiceNull, VoicesAtRestStepLikeTheFrameLoop) {
    // A voice past the end of its window in every stage of its envelope,
    // gated or not, with and without the amplitude envelope and the hold:
    // only the envelope moves, and the voice ends on the same frame as the
    // frame loop ends it.
    std::mt19937 rng(31);
    const Material m = makeSample(rng, true);
    long ended = 0, sustained = 0, stepped = 0;
    for (int c = 0; c < 400; ++c) {
        PartSettings part = randomPart(rng, m);
        part.reverse = false;
        part.loop = false;
        part.hold = c % 3 == 0;
        part.envelopeOn = c % 5 != 0;
        part.releaseFactor = c % 2 == 0 ? 0.7f : 0.999f;
        Voice fast, slow;
        for (Voice* v : {&fast, &slow}) {
            voiceNoteOn(*v, part, 60, 100);
            v->running = true;
            controlUpdate(*v, part, part.splitNote, false);
            v->position = v->window.endFrames + (c % 4 == 0 ? 3.5 : 0.0);
            v->stage = c % 5;  // idle, attack, decay, sustain, release
            v->envelope = c % 7 == 0 ? 1.5f : 0.002f + 0.05f * static_cast<float>(c % 11);
            v->gate = c % 2 == 1;
        }
        ASSERT_TRUE(voiceAtRest(fast, part)) << c;
        if (fast.stage == kStageSustain || fast.stage == kStageIdle) ++sustained;
        for (int step = 0; step < 60 && fast.running; ++step) {
            const int frames = 1 + static_cast<int>(rng() % kControlPeriod);
            float l[kControlPeriod] = {}, r[kControlPeriod] = {};
            const bool a = renderVoiceAtRest(fast, part, frames);
            const bool b = referenceRender(slow, part, l, r, frames);
            for (int n = 0; n < frames; ++n) ASSERT_TRUE(bits(l[n]) == 0 && bits(r[n]) == 0) << c;
            ASSERT_EQ(a, b) << c;
            ASSERT_EQ(fast.running, slow.running) << c;
            ASSERT_EQ(fast.position, slow.position) << c;
            ASSERT_EQ(bits(fast.envelope), bits(slow.envelope)) << c;
            ASSERT_EQ(fast.stage, slow.stage) << c;
            ++stepped;
            if (!a) ++ended;
        }
    }
    // Voices ended on the way, others held on, and the shortcut of the
    // still stages was taken.
    EXPECT_GT(ended, 50);
    EXPECT_GT(stepped, 4000);
    EXPECT_GT(sustained, 100);
}

}  // namespace
