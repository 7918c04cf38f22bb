// The drum voices against a plain frame-by-frame rendering of their
// algorithm, one voice after another: the stretches read without per-frame
// decisions and the outputs mixed four (SSE2) or eight (AVX2) frames at a
// time for all voices must come out bit for bit the same. Random pads
// (forward, reverse, loop, decay on and off, muted, narrow and empty
// windows, bass transpositions, absurd rates), hits that wait for a zero
// crossing, releases, chokes, window and sample changes while voices play,
// runs of 1 to 600 frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "common/portable_math.h"
#include "modules/drums_voice.h"

namespace {

using namespace drums;

constexpr float kSampleScale = 1.0f / 32768.0f;

// What the reference met on its way, so that a run of the test is known to
// have crossed every case.
struct Seen {
    long stoppedInsideRun = 0;
    long reverseFrames = 0;
    long forwardLoops = 0;
    long reverseLoops = 0;
    long waitedFrames = 0;
    long ringFrames = 0;
    long mutedFrames = 0;
};

bool referenceRinging(const float* last) {
    return (last[0] > 0.0f && last[1] > 0.0f) || (last[0] < 0.0f && last[1] < 0.0f);
}

// The control update computing targets and increment afresh each time.
void referenceControlUpdate(Voice& v, const PadSettings& pad, float hostRateHz, bool smooth) {
    const float velocity = static_cast<float>(v.velocity);
    const float e = velocity * pad.levelVelocity / 128.0f + 1.0f - pad.levelVelocity;
    const StereoGains g = balance(pad.pan);
    const float levels[3] = {pad.levelGain, pad.send1Gain, pad.send2Gain};
    for (int k = 0; k < 3; ++k) {
        v.target[2 * k] = e * levels[k] * g.left;
        v.target[2 * k + 1] = e * levels[k] * g.right;
    }
    for (int k = 0; k < kOutputs; ++k)
        v.gain[k] = smooth ? v.gain[k] + (v.target[k] - v.gain[k]) * kGainSmoothing : v.target[k];
    const double rate = pad.sample != nullptr ? pad.sample->sampleRateHz : 44100.0;
    double increment = (velocity * pad.tuneVelocity / 128.0 + 1.0) * pad.tuneFactor * v.noteFactor * rate /
                       static_cast<double>(hostRateHz);
    if (!(increment > 0.0)) increment = 0.0;
    if (increment > 1024.0) increment = 1024.0;
    v.increment = increment;
}

// The voice as it rendered frame after frame, with every decision in each frame.
void referenceRender(Voice& v, const PadSettings& pad, float* const* outputs, int frames, int zeroWaitFrames,
                     Seen& seen) {
    const DecodedSample* sample = pad.sample;
    if (sample == nullptr || sample->frameCount < 2) {
        if (v.active()) stopVoice(v);
        return;
    }
    const int16_t* data = sample->samples.data();
    const int64_t frameCount = sample->frameCount;
    const double begin = v.windowBeginFrames;
    const double end = v.windowEndFrames;
    const double outputEnd = end - 3.0;

    for (int f = 0; f < frames; ++f) {
        if (v.pendingStart >= 0.0) {
            if (!referenceRinging(v.last) || v.waitFrames >= zeroWaitFrames) {
                v.position = v.pendingStart;
                v.pendingStart = -1.0;
                v.playing = true;
                v.waitFrames = 0;
                v.ringFrames = 0;
            } else {
                ++v.waitFrames;
                ++seen.waitedFrames;
            }
        }
        if (!v.playing) return;

        const bool inWindow = v.position >= begin && v.position < end;
        if (v.gate || (pad.decay && inWindow) || v.pendingStart >= 0.0) {
            v.ringFrames = 0;
        } else if (referenceRinging(v.last) && v.ringFrames < zeroWaitFrames) {
            ++v.ringFrames;
            ++seen.ringFrames;
        } else {
            stopVoice(v);
            if (f > 0) ++seen.stoppedInsideRun;
            return;
        }

        float s = 0.0f;
        const double p = v.position;
        if (p >= begin && p < outputEnd && p >= 0.0) {
            const auto i = static_cast<int64_t>(p);
            if (i + 1 < frameCount) {
                const float frac = static_cast<float>(p - static_cast<double>(i));
                const float a = data[i];
                const float b = data[i + 1];
                s = (a + (b - a) * frac) * kSampleScale;
            }
        }

        if (pad.reverse) {
            ++seen.reverseFrames;
            if (v.position > begin) {
                v.position -= v.increment;
            } else if (pad.loop && v.gate) {
                v.position = end - 1.0;
                ++seen.reverseLoops;
            } else {
                v.position = begin - 1.0;
            }
        } else {
            if (v.position < end) {
                v.position += v.increment;
            } else if (pad.loop && v.gate) {
                v.position = begin;
                ++seen.forwardLoops;
            }
        }

        v.last[1] = v.last[0];
        v.last[0] = s;
        if (!pad.mute)
            for (int k = 0; k < kOutputs; ++k) outputs[k][f] += s * v.gain[k];
        else
            ++seen.mutedFrames;
    }
}

template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

::testing::AssertionResult sameVoice(const Voice& a, const Voice& b) {
    if (!sameBits(a.position, b.position) || !sameBits(a.pendingStart, b.pendingStart) || a.playing != b.playing ||
        !sameBits(a.last, b.last) || a.waitFrames != b.waitFrames || a.ringFrames != b.ringFrames ||
        !sameBits(a.gain, b.gain) || !sameBits(a.target, b.target) || !sameBits(a.increment, b.increment))
        return ::testing::AssertionFailure()
               << "position " << a.position << " / " << b.position << ", pending " << a.pendingStart << " / "
               << b.pendingStart << ", playing " << a.playing << " / " << b.playing << ", last " << a.last[0] << ","
               << a.last[1] << " / " << b.last[0] << "," << b.last[1] << ", wait " << a.waitFrames << " / "
               << b.waitFrames << ", ring " << a.ringFrames << " / " << b.ringFrames << ", increment "
               << a.increment << " / " << b.increment << ", gain " << a.gain[0] << " / " << b.gain[0];
    return ::testing::AssertionSuccess();
}

// Sounds a drum kit might hold: tones, noise, sounds that never cross zero,
// silence, and files of two or a few frames.
std::shared_ptr<DecodedSample> randomSample(std::mt19937& rng) {
    auto s = std::make_shared<DecodedSample>();
    std::uniform_int_distribution<int> kind(0, 5);
    const int k = kind(rng);
    const uint32_t frames = k == 5 ? std::uniform_int_distribution<uint32_t>(2, 9)(rng)
                                   : std::uniform_int_distribution<uint32_t>(10, 20000)(rng);
    const float rates[] = {44100.0f, 22050.0f, 48000.0f, 96000.0f, 8000.0f, 1.0e9f};
    s->sampleRateHz = rates[std::uniform_int_distribution<int>(0, 5)(rng)];
    s->frameCount = frames;
    s->samples.resize(frames);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double hz = 20.0 + 2000.0 * unit(rng);
    const double offset = k == 2 ? 0.3 : 0.0;
    for (uint32_t i = 0; i < frames; ++i) {
        double x = 0.0;
        switch (k) {
            case 0:
            case 2:
            case 5: x = offset + 0.6 * std::sin(6.283185307179586 * hz * i / 44100.0); break;
            case 1: x = 2.0 * unit(rng) - 1.0; break;
            case 3: x = 0.45; break;  // never crosses zero
            default: x = 0.0; break;
        }
        s->samples[i] = static_cast<int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0));
    }
    return s;
}

struct Kit {
    std::vector<std::shared_ptr<DecodedSample>> samples;  // kept alive for the pads
    PadSettings pads[kVoices];
    Voice reference[kVoices];
    Voice lanes[kVoices];
    float hostRateHz = 44100.0f;
};

void setWindow(PadSettings& pad, float waveBegin, float waveEnd) {
    pad.waveBegin = waveBegin;
    pad.waveEnd = waveEnd;
    const double frames = pad.sample != nullptr ? static_cast<double>(pad.sample->frameCount) : 0.0;
    pad.windowBeginFrames = static_cast<double>(waveBegin) * frames;
    pad.windowEndFrames = static_cast<double>(std::max(waveBegin, waveEnd)) * frames;
}

void randomWindow(PadSettings& pad, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
        case 0: setWindow(pad, 0.0f, 1.0f); break;
        case 1: setWindow(pad, unit(rng), unit(rng)); break;
        case 2: setWindow(pad, 0.5f, 0.5f); break;  // empty
        case 3: setWindow(pad, 0.0f, 0.001f); break;  // a few frames
        default: setWindow(pad, 0.2f * unit(rng), 0.8f + 0.2f * unit(rng)); break;
    }
}

void randomPad(Kit& kit, PadSettings& pad, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::bernoulli_distribution coin(0.5);
    pad.pan = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 0.5f : 1.2f * unit(rng) - 0.1f;
    pad.levelVelocity = unit(rng);
    pad.tuneVelocity = std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? 0.0f : unit(rng);
    pad.decay = coin(rng);
    pad.reverse = std::bernoulli_distribution(0.35)(rng);
    pad.loop = coin(rng);
    pad.mute = std::bernoulli_distribution(0.15)(rng);
    pad.levelGain = levelGain(unit(rng), pad.mute);
    pad.send1Gain = sendGain(unit(rng));
    pad.send2Gain = sendGain(unit(rng));
    pad.tuneFactor = tuneFactor(std::bernoulli_distribution(0.1)(rng) ? 1.0f : unit(rng));
    if (std::bernoulli_distribution(0.05)(rng)) {
        pad.sample = nullptr;
    } else {
        kit.samples.push_back(randomSample(rng));
        pad.sample = kit.samples.back().get();
    }
    randomWindow(pad, rng);
}

// Applies one edit to both copies of the voices, as the module would.
void randomEdit(Kit& kit, std::mt19937& rng, int voices) {
    const int i = std::uniform_int_distribution<int>(0, voices - 1)(rng);
    PadSettings& pad = kit.pads[i];
    Voice* both[2] = {&kit.reference[i], &kit.lanes[i]};
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0:
        case 1:
        case 2: {  // a hit, perhaps a bass key
            const int velocity = std::uniform_int_distribution<int>(1, 127)(rng);
            const double noteFactor = std::bernoulli_distribution(0.3)(rng)
                                          ? portable::exp2(std::uniform_int_distribution<int>(-24, 36)(rng) / 12.0)
                                          : 1.0;
            for (Voice* v : both) {
                v->velocity = velocity;
                v->gate = true;
                v->noteFactor = noteFactor;
                startVoice(*v, pad);
            }
            referenceControlUpdate(kit.reference[i], pad, kit.hostRateHz, false);
            controlUpdate(kit.lanes[i], pad, kit.hostRateHz, false);
            break;
        }
        case 3:
        case 4:  // release
            for (Voice* v : both) v->gate = false;
            break;
        case 5:  // choke
            for (Voice* v : both) stopVoice(*v);
            break;
        case 6: {  // switches while playing
            const int which = std::uniform_int_distribution<int>(0, 3)(rng);
            if (which == 0) pad.decay = !pad.decay;
            if (which == 1) pad.loop = !pad.loop;
            if (which == 2) pad.reverse = !pad.reverse;
            if (which == 3) pad.mute = !pad.mute;
            break;
        }
        case 7:  // the window moves
            randomWindow(pad, rng);
            for (Voice* v : both) applyWindow(*v, pad);
            break;
        case 8:  // one setting moves; the voices follow at their next control update
            switch (std::uniform_int_distribution<int>(0, 8)(rng)) {
                case 0: pad.pan = unit(rng); break;
                case 1: pad.levelGain = levelGain(unit(rng), pad.mute); break;
                case 2: pad.send1Gain = sendGain(unit(rng)); break;
                case 3: pad.send2Gain = sendGain(unit(rng)); break;
                case 4: pad.tuneFactor = tuneFactor(unit(rng)); break;
                case 5: pad.levelVelocity = unit(rng); break;
                case 6: pad.tuneVelocity = unit(rng); break;
                case 7: kit.hostRateHz = kit.hostRateHz == 44100.0f ? 48000.0f : 44100.0f; break;
                default:  // the mode switched under the voice
                    for (Voice* v : both) v->noteFactor = 1.0;
                    break;
            }
            break;
        default:  // another sample: the voices on the pad stop
            randomPad(kit, pad, rng);
            for (Voice* v : both) stopVoice(*v);
            break;
    }
}

// The reference over a span: run by run between the control updates, each
// update reaching the voices still sounding.
void referenceSpan(Kit& kit, int voices, float* const* outputs, int frames, const std::vector<int>& ticks,
                   int zeroWait, Seen& seen) {
    int from = 0;
    size_t next = 0;
    while (true) {
        for (; next < ticks.size() && ticks[next] <= from; ++next)
            for (int i = 0; i < voices; ++i)
                if (kit.reference[i].active())
                    referenceControlUpdate(kit.reference[i], kit.pads[i], kit.hostRateHz, true);
        if (from >= frames) break;
        const int to = next < ticks.size() ? std::min(frames, ticks[next]) : frames;
        float* at[kOutputs];
        for (int k = 0; k < kOutputs; ++k) at[k] = outputs[k] + from;
        for (int i = 0; i < voices; ++i)
            if (kit.reference[i].active()) referenceRender(kit.reference[i], kit.pads[i], at, to - from, zeroWait, seen);
        from = to;
    }
}

TEST(DrumsVoiceNull, RandomKitsRenderBitForBitAsFrameByFrame) {
    std::mt19937 rng(20261209);
    Seen seen;
    long runs = 0;
    long voiceRuns = 0;
    long spanTicks = 0;
    const float rates[] = {44100.0f, 48000.0f, 22050.0f, 96000.0f};
    const int waits[] = {1, 3, 40, 2206};
    for (int trial = 0; trial < 160; ++trial) {
        Kit kit;
        kit.hostRateHz = rates[trial % 4];
        const int zeroWait = waits[(trial / 4) % 4];
        const int voices = std::uniform_int_distribution<int>(1, kVoices)(rng);
        for (int i = 0; i < voices; ++i) randomPad(kit, kit.pads[i], rng);
        const int maxRun = trial % 3 == 0 ? 16 : 600;
        // Every third kit renders spans with control updates inside them;
        // half of them in four lanes only (no AVX2), half in eight where
        // the processor has them.
        const bool spans = trial % 3 == 1;
        const bool wide = (trial / 3) % 2 == 0;
        for (int block = 0; block < 40; ++block) {
            const int edits = std::uniform_int_distribution<int>(0, 2 + voices / 2)(rng);
            for (int e = 0; e < edits; ++e) randomEdit(kit, rng, voices);
            if (spans || std::bernoulli_distribution(0.7)(rng))
                for (int i = 0; i < voices; ++i) {
                    // A span needs settled inputs: the module updates at
                    // once where they moved.
                    if (spans && controlInputsUnchanged(kit.lanes[i], kit.pads[i], kit.hostRateHz)) continue;
                    if (kit.reference[i].active())
                        referenceControlUpdate(kit.reference[i], kit.pads[i], kit.hostRateHz, true);
                    if (kit.lanes[i].active()) controlUpdate(kit.lanes[i], kit.pads[i], kit.hostRateHz, true);
                }
            const int frames = std::uniform_int_distribution<int>(spans ? 0 : 1, maxRun)(rng);
            std::vector<float> want(kOutputs * static_cast<size_t>(frames));
            for (float& x : want) x = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
            std::vector<float> got = want;
            float* wantOut[kOutputs];
            float* gotOut[kOutputs];
            for (int k = 0; k < kOutputs; ++k) {
                wantOut[k] = want.data() + k * frames;
                gotOut[k] = got.data() + k * frames;
            }

            Voice* active[kVoices];
            const PadSettings* pads[kVoices];
            int count = 0;
            for (int i = 0; i < voices; ++i) {
                ASSERT_EQ(kit.reference[i].active(), kit.lanes[i].active());
                if (!kit.lanes[i].active()) continue;
                active[count] = &kit.lanes[i];
                pads[count] = &kit.pads[i];
                ++count;
            }
            if (spans) {
                std::vector<int> ticks;
                const int spacing = std::uniform_int_distribution<int>(1, 40)(rng);
                for (int t = std::uniform_int_distribution<int>(0, spacing)(rng); t <= frames; t += spacing)
                    ticks.push_back(t);
                referenceSpan(kit, voices, wantOut, frames, ticks, zeroWait, seen);
                renderVoiceSpan(active, pads, count, gotOut, frames, ticks.data(), static_cast<int>(ticks.size()),
                                zeroWait, wide);
                spanTicks += static_cast<long>(ticks.size());
            } else {
                for (int i = 0; i < voices; ++i)
                    if (kit.reference[i].active())
                        referenceRender(kit.reference[i], kit.pads[i], wantOut, frames, zeroWait, seen);
                if (count == 1 && trial % 2 == 0)
                    renderVoice(*active[0], *pads[0], gotOut, frames, zeroWait);
                else
                    renderVoices(active, pads, count, gotOut, frames, zeroWait, wide);
            }
            ++runs;
            voiceRuns += count;

            for (int i = 0; i < voices; ++i)
                ASSERT_TRUE(sameVoice(kit.reference[i], kit.lanes[i])) << "trial " << trial << " block " << block
                                                                       << " voice " << i;
            for (size_t n = 0; n < want.size(); ++n)
                ASSERT_TRUE(sameBits(want[n], got[n]))
                    << "trial " << trial << " block " << block << " output " << n / frames << " frame "
                    << n % frames << ": " << want[n] << " against " << got[n];
        }
    }
    EXPECT_GT(spanTicks, 20000);
    // The random kits went through every case.
    EXPECT_GT(voiceRuns, 3 * runs);
    EXPECT_GT(seen.stoppedInsideRun, 100);
    EXPECT_GT(seen.reverseFrames, 100000);
    EXPECT_GT(seen.forwardLoops, 20);
    EXPECT_GT(seen.reverseLoops, 20);
    EXPECT_GT(seen.waitedFrames, 1000);
    EXPECT_GT(seen.ringFrames, 1000);
    EXPECT_GT(seen.mutedFrames, 10000);
}

// Voices that end inside a run leave the frames after their end to the
// voices after them: the mix must not add anything there, not even zeros
// times a gain (an infinity would turn them into NaN).
TEST(DrumsVoiceNull, AVoiceEndingInsideARunAddsNothingAfterItsEnd) {
    auto sample = std::make_shared<DecodedSample>();
    sample->frameCount = 40;
    sample->samples.assign(40, 8000);
    PadSettings pad;
    pad.sample = sample.get();
    pad.decay = true;
    setWindow(pad, 0.0f, 1.0f);
    Voice v;
    v.velocity = 100;
    v.gate = false;
    startVoice(v, pad);
    controlUpdate(v, pad, 44100.0f, false);
    for (float& g : v.gain) g = std::numeric_limits<float>::infinity();
    std::vector<float> buffers(kOutputs * 100, 0.25f);
    float* out[kOutputs];
    for (int k = 0; k < kOutputs; ++k) out[k] = buffers.data() + k * 100;
    Voice* voices[1] = {&v};
    const PadSettings* pads[1] = {&pad};
    renderVoices(voices, pads, 1, out, 100, 10);
    EXPECT_FALSE(v.active());
    for (int k = 0; k < kOutputs; ++k) {
        // The window's last three frames are not read: 37 frames sound, then
        // the voice rings on zeros for frames it no longer adds to.
        for (int f = 0; f < 37; ++f) EXPECT_TRUE(std::isinf(out[k][f])) << k << " " << f;
        for (int f = 40; f < 100; ++f) EXPECT_EQ(out[k][f], 0.25f) << k << " " << f;
    }
}

}  // namespace
