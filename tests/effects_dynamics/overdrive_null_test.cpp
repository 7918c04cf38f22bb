// The overdrive against a plain per-sample rendering of its algorithm (one
// channel at a time, scalar one-frame filter sections, control step every 16
// samples), kept from before the module computed its filter sections four
// frames at a time. The block form groups the recursion's sums differently,
// so the two differ by rounding: the difference must stay below
// kDifferenceBoundDb relative to the reference's level, through parameter
// moves, runs of 1 to 600 frames, in-place and mono processing, program
// changes over MIDI on consecutive frames and samples that are not finite.
//
// The bound: where the cutoff sits well above the poles' crowding towards 1
// the two renderings differ by single-precision rounding fed through the
// recursion, below -90 dB of the output, under the 16-bit dither a master
// would add. At the lowest cutoffs with high q the recursion feeds its
// rounding back so strongly that the one-frame form itself strays from
// exact arithmetic (the same filter in double) by as much as -55 dB; there
// the test holds the block form to straying at most twice as far. That
// difference lies at the resonance, below 20 Hz, where nothing is heard. Both paths of the module (four SSE2 lanes, eight
// AVX2 lanes) give the same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/portable_math.h"
#include "effects/dsp/balance_law.h"
#include "effects/overdrive.h"
#include "effects/dsp/param_curves.h"
#include "effects/filter_stage.h"
#include "tests/effects_dynamics/hosted_effect.h"

namespace {

enum { kDrive, kFilterType, kFilterFrequency, kFilterQ, kMix, kLevel, kNumParameters };

// What the module does to a frame, written out sample by sample.
class ReferenceOverdrive {
public:
    ReferenceOverdrive() : stage_(dsp::dspTables()) {
        const float defaults[kNumParameters] = {0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f};
        std::memcpy(live_, defaults, sizeof(live_));
        recompute();
    }
    void set(int index, float value) { live_[index] = value; }
    // A program change or a new sample rate: everything jumps.
    void recompute() { controlStep(false); }
    void loadDefaults() {
        const float defaults[kNumParameters] = {0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f};
        std::memcpy(live_, defaults, sizeof(live_));
    }
    void load(const float* values) { std::memcpy(live_, values, sizeof(live_)); }

    // One frame: the control step every 16th frame, then the audio.
    void frame(float l, float r, float& outL, float& outR) {
        if (++count_ == 16) {
            count_ = 0;
            controlStep(true);
        }
        render(l, r, outL, outR);
    }
    // The frame of a program change: the control step (if due) comes first,
    // then the change, then the audio.
    void frameWithProgramChange(float l, float r, float& outL, float& outR) {
        if (++count_ == 16) {
            count_ = 0;
            controlStep(true);
        }
        loadDefaults();
        recompute();
        render(l, r, outL, outR);
    }
    // The same with a program of the given values.
    void frameWithProgram(const float* values, float l, float r, float& outL, float& outR) {
        if (++count_ == 16) {
            count_ = 0;
            controlStep(true);
        }
        load(values);
        recompute();
        render(l, r, outL, outR);
    }

private:
    static float softClip(float y) {
        if (y > 1.0f) return std::sqrt(y);
        if (y < -1.0f) return -std::sqrt(-y);
        return y;
    }
    void controlStep(bool smoothing) {
        const float level = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
        const float factor = smoothing ? 0.01f : 1.0f;
        stage_.glideGains(live_[kMix], level, level, factor);
        stage_.glideCutoff(live_[kFilterFrequency], live_[kFilterQ], smoothing);
        stage_.design(0.0f, filterModeFor(live_[kFilterType]));
    }
    // What the filter is fed: NaN as 0, anything else held within +-1e6.
    static float held(float x) {
        if (std::isnan(x)) return 0.0f;
        return std::min(std::max(x, -1.0e6f), 1.0e6f);
    }
    void render(float l, float r, float& outL, float& outR) {
        const double g = portable::pow(1000.0, static_cast<double>(live_[kDrive]));
        const float gain = static_cast<float>(g);
        const float compensation = static_cast<float>(1.0 / std::sqrt(g));
        stage_.process(l, r, softClip(gain * held(l)) * compensation, softClip(gain * held(r)) * compensation, outL,
                       outR);
    }

    StereoFilterStage stage_;
    float live_[kNumParameters];
    int count_ = 0;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof(b));
    return b;
}

// Frames where two renderings differ in any bit.
size_t differingFrames(const StereoBuffer& a, const StereoBuffer& b) {
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (bitsOf(a.left[i]) != bitsOf(b.left[i]) || bitsOf(a.right[i]) != bitsOf(b.right[i])) ++count;
    return count;
}

constexpr double kDifferenceBoundDb = -90.0;

// The power of actual - expected relative to the power of expected, in dB,
// over the frames where the reference is finite (-400 for no difference).
// Frames whose finiteness differs count as a difference of 0 dB.
double differenceDb(const StereoBuffer& actual, const StereoBuffer& expected) {
    double difference = 0.0, level = 0.0;
    const auto add = [&](float a, float e) {
        if (std::isfinite(e) != std::isfinite(a)) {
            difference += 1e30;
            return;
        }
        if (!std::isfinite(e)) return;
        difference += (static_cast<double>(a) - e) * (static_cast<double>(a) - e);
        level += static_cast<double>(e) * e;
    };
    for (size_t i = 0; i < actual.size(); ++i) {
        add(actual.left[i], expected.left[i]);
        add(actual.right[i], expected.right[i]);
    }
    if (difference == 0.0) return -400.0;
    return 10.0 * std::log10(difference / std::max(level, 1e-30));
}

// Noise with a slow swell from -40 dB to +6 dB (well past the clipper's knee
// at every drive), different on the two channels, with a stretch of exact
// silence so that the filters decay through the flush-to-zero guard.
StereoBuffer testSignal(size_t frames) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    StereoBuffer in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const float swell = std::pow(10.0f, (-40.0f + 46.0f * static_cast<float>(i) / frames) / 20.0f);
        const bool silent = i >= frames / 2 && i < frames / 2 + 4000;
        in.left[i] = silent ? 0.0f : swell * u(rng);
        in.right[i] = silent ? 0.0f : swell * (0.5f * u(rng) + 0.3f);
    }
    return in;
}

}  // namespace

TEST(OverdriveNull, StaysWithinTheBoundOfThePerSampleAlgorithm) {
    HostedEffect fx("KavoOverdrive", 44100.0f);
    ASSERT_TRUE(fx.valid());
    ReferenceOverdrive ref;

    const StereoBuffer in = testSignal(60000);
    StereoBuffer expected(in.size()), actual(in.size());
    // Block sizes that cut control periods at every phase; parameter moves
    // between blocks glide; one block is processed in place.
    const size_t blocks[] = {512, 37, 1, 16, 100, 511, 3, 2048};
    struct Move {
        size_t atFrame;
        int index;
        float value;
    };
    const Move moves[] = {{3000, kDrive, 1.0f},           {9000, kFilterFrequency, 0.55f}, {12000, kFilterQ, 0.95f},
                          {18000, kFilterType, 0.5f},     {24000, kMix, 0.6f},             {27000, kLevel, 0.8f},
                          {33000, kFilterType, 1.0f},     {36000, kDrive, 0.0f},           {42000, kFilterQ, 0.1f},
                          {45000, kFilterFrequency, 0.2f}, {50000, kMix, 0.3f}};
    const size_t programChangeFrame = 54321;  // MIDI program change to the untouched program 1

    size_t at = 0, b = 0, m = 0;
    bool programChanged = false;
    while (at < in.size()) {
        const size_t frames = std::min(blocks[b++ % std::size(blocks)], in.size() - at);
        while (m < std::size(moves) && moves[m].atFrame <= at) {
            fx.setParameter(moves[m].index, moves[m].value);
            ref.set(moves[m].index, moves[m].value);
            ++m;
        }
        size_t changeAt = frames;
        if (!programChanged && programChangeFrame >= at && programChangeFrame < at + frames) {
            // An event of offset d leaving the module's ring at frame 0 acts
            // at frame d - 1.
            changeAt = programChangeFrame - at;
            fx.sendMidi(0xC0, 1, 0, static_cast<VstInt32>(changeAt + 1));
            programChanged = true;
        }
        for (size_t i = 0; i < frames; ++i) {
            const size_t n = at + i;
            if (i == changeAt)
                ref.frameWithProgramChange(in.left[n], in.right[n], expected.left[n], expected.right[n]);
            else
                ref.frame(in.left[n], in.right[n], expected.left[n], expected.right[n]);
        }
        std::copy_n(in.left.begin() + at, frames, actual.left.begin() + at);
        std::copy_n(in.right.begin() + at, frames, actual.right.begin() + at);
        if (frames == 100) {
            fx.processInPlace(&actual.left[at], &actual.right[at], static_cast<VstInt32>(frames));
        } else {
            StereoBuffer block(frames);
            std::copy_n(in.left.begin() + at, frames, block.left.begin());
            std::copy_n(in.right.begin() + at, frames, block.right.begin());
            const StereoBuffer out = fx.process(block, frames);
            std::copy_n(out.left.begin(), frames, actual.left.begin() + at);
            std::copy_n(out.right.begin(), frames, actual.right.begin() + at);
        }
        at += frames;
    }
    ASSERT_TRUE(programChanged);
    EXPECT_EQ(fx.program(), 1);
    EXPECT_LT(differenceDb(actual, expected), kDifferenceBoundDb);
    // The comparison means something: the drive pushed the output up.
    float peak = 0.0f;
    for (float v : actual.left) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.5f);
}

namespace {

// How a block reaches the module: separate buffers, in place, or a mono
// source on both inputs (a host's mono track), out of place and in place.
enum class Wiring { Separate, InPlace, Mono, MonoInPlace };

// Renders one block through the module's processReplacing with the given
// wiring; mono takes the left input for both channels.
void processWired(HostedEffect& fx, Wiring wiring, const float* inL, const float* inR, float* outL, float* outR,
                  size_t frames) {
    std::vector<float> left(inL, inL + frames), right(inR, inR + frames);
    std::vector<float> spareL(frames), spareR(frames);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {spareL.data(), spareR.data()};
    switch (wiring) {
        case Wiring::Separate:
            break;
        case Wiring::InPlace:
            outputs[0] = left.data();
            outputs[1] = right.data();
            break;
        case Wiring::Mono:
            inputs[1] = left.data();
            break;
        case Wiring::MonoInPlace:
            inputs[1] = left.data();
            outputs[0] = left.data();
            break;
    }
    fx.effect()->processReplacing(fx.effect(), inputs, outputs, static_cast<VstInt32>(frames));
    std::copy_n(outputs[0], frames, outL);
    std::copy_n(outputs[1], frames, outR);
}

}  // namespace

TEST(OverdriveNull, RandomRunsWiringsProgramBurstsAndNonFiniteSamples) {
    HostedEffect fx("KavoOverdrive", 44100.0f);
    ASSERT_TRUE(fx.valid());
    ReferenceOverdrive ref;

    // Programs 1 to 3 get settings of their own (different filters), so
    // program changes on consecutive frames change the coefficients from one
    // frame to the next.
    float programs[4][kNumParameters] = {{0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f},
                                               {0.9f, 0.5f, 0.3f, 0.9f, 0.8f, 0.6f},
                                               {0.2f, 0.0f, 0.05f, 0.99f, 1.0f, 0.5f},
                                               {0.7f, 1.0f, 0.6f, 0.4f, 0.4f, 0.7f}};
    for (int p = 1; p <= 3; ++p) {
        fx.setProgram(p);
        for (int i = 0; i < kNumParameters; ++i) fx.setParameter(i, programs[p][i]);
    }
    fx.setProgram(0);
    ref.load(programs[0]);
    ref.recompute();
    // A parameter move writes to the current program too.
    int current = 0;

    const size_t total = 50000;
    StereoBuffer in = testSignal(total);
    // Samples no signal should hold; the module passes them to the dry path
    // as they are and keeps its filter finite.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const size_t strange[] = {7001, 7002, 15000, 23456, 31001, 39999};
    const float strangeValues[] = {nan, inf, -inf, 1.0e30f, -nan, nan};
    for (size_t i = 0; i < std::size(strange); ++i) {
        in.left[strange[i]] = strangeValues[i];
        in.right[strange[i] + 1] = strangeValues[(i + 1) % std::size(strange)];
    }

    std::mt19937 rng(77);
    std::uniform_int_distribution<int> blockFrames(1, 600);
    std::uniform_int_distribution<int> parameter(0, kNumParameters - 1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    StereoBuffer expected(total), actual(total);
    // Bursts of program changes: three on consecutive frames inside a block,
    // and two that straddle a block's end.
    const size_t burstAt = 20000, straddleAt = 33000;
    const int burst[] = {1, 2, 3};
    size_t at = 0, nextMove = 1000, blocks = 0, shortBlocks = 0;
    bool burstSent = false, straddleSent = false;
    while (at < total) {
        size_t frames = std::min<size_t>(static_cast<size_t>(blockFrames(rng)), total - at);
        if (blocks % 7 == 3) frames = std::min<size_t>(1 + blocks % 3, total - at);  // runs of 1 to 3 frames
        if (!straddleSent && at < straddleAt && at + frames > straddleAt) frames = straddleAt + 1 - at;
        while (nextMove <= at) {
            const int index = parameter(rng);
            const float v = index == kFilterType ? 0.5f * static_cast<float>(rng() % 3) : value(rng);
            fx.setParameter(index, v);
            ref.set(index, v);
            programs[current][index] = v;
            nextMove += 1500;
        }
        // Frames of this block where a program change acts, and its program.
        std::vector<std::pair<size_t, int>> changes;
        if (!burstSent && burstAt >= at && burstAt + 3 <= at + frames) {
            for (size_t j = 0; j < 3; ++j) changes.push_back({burstAt - at + j, burst[j]});
            burstSent = true;
        }
        if (!straddleSent && straddleAt == at + frames - 1) {
            changes.push_back({frames - 1, 2});  // the block's last frame
        } else if (!straddleSent && straddleAt + 1 == at) {
            changes.push_back({0, 0});  // the next block's first frame
            straddleSent = true;
        }
        // The module takes one event a frame from its ring and counts the
        // event's offset from there: events of one offset act on
        // consecutive frames.
        for (const auto& c : changes)
            fx.sendMidi(0xC0, static_cast<unsigned char>(c.second), 0, static_cast<VstInt32>(changes[0].first + 1));
        const Wiring wiring = static_cast<Wiring>(blocks % 4);
        const bool mono = wiring == Wiring::Mono || wiring == Wiring::MonoInPlace;
        size_t c = 0;
        for (size_t i = 0; i < frames; ++i) {
            const size_t n = at + i;
            const float l = in.left[n];
            const float r = mono ? in.left[n] : in.right[n];
            if (c < changes.size() && changes[c].first == i) {
                current = changes[c].second;
                ref.frameWithProgram(programs[current], l, r, expected.left[n], expected.right[n]);
                ++c;
            } else {
                ref.frame(l, r, expected.left[n], expected.right[n]);
            }
        }
        processWired(fx, wiring, &in.left[at], &in.right[at], &actual.left[at], &actual.right[at], frames);
        shortBlocks += frames <= 3 ? 1 : 0;
        at += frames;
        ++blocks;
    }
    ASSERT_TRUE(burstSent);
    ASSERT_TRUE(straddleSent);
    EXPECT_GT(shortBlocks, 20u);
    EXPECT_EQ(fx.program(), 0);
    EXPECT_LT(differenceDb(actual, expected), kDifferenceBoundDb);

    // The filter stays finite: only the frames that received a strange
    // sample (through the dry path) may be non-finite.
    size_t nonFinite = 0;
    for (size_t n = 0; n < total; ++n)
        if (!std::isfinite(actual.left[n]) || !std::isfinite(actual.right[n])) ++nonFinite;
    EXPECT_LE(nonFinite, 2 * std::size(strange));
    float peak = 0.0f;
    for (size_t n = total - 5000; n < total; ++n) peak = std::max(peak, std::fabs(actual.left[n]));
    EXPECT_GT(peak, 0.1f);
}

namespace {

// Sines, noise and silence in turn on both channels, with a full-scale
// stretch that the drive pushes far into the clipper.
StereoBuffer mixedSignal(size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    StereoBuffer in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const size_t part = (i * 5) / frames;
        const float t = static_cast<float>(i) / 44100.0f;
        switch (part) {
            case 0:
                in.left[i] = 0.3f * std::sin(6.2831853f * 55.0f * t);
                in.right[i] = 0.2f * std::sin(6.2831853f * 3100.0f * t);
                break;
            case 1:
                in.left[i] = 0.1f * u(rng);
                in.right[i] = 0.05f * u(rng);
                break;
            case 2:
                in.left[i] = in.right[i] = 0.0f;
                break;
            case 3:
                in.left[i] = std::sin(6.2831853f * 220.0f * t);
                in.right[i] = u(rng);
                break;
            default:
                in.left[i] = 0.01f * std::sin(6.2831853f * 12000.0f * t);
                in.right[i] = 0.5f * u(rng);
                break;
        }
    }
    return in;
}

// Renders `in` through a module set to `values` (program 0), in blocks of
// 1 to 600 frames from `seed`, on the four-lane path or the widest one.
StereoBuffer renderSettled(const float* values, const StereoBuffer& in, unsigned seed, bool wide) {
    HostedEffect fx("KavoOverdrive", 44100.0f);
    static_cast<EffectOverdrive*>(fx.module())->allowWideLanes(wide);
    for (int i = 0; i < kNumParameters; ++i) fx.setParameter(i, values[i]);
    fx.setProgram(0);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> blockFrames(1, 600);
    StereoBuffer out(in.size());
    for (size_t at = 0; at < in.size();) {
        const size_t frames = std::min<size_t>(static_cast<size_t>(blockFrames(rng)), in.size() - at);
        processWired(fx, Wiring::Separate, &in.left[at], &in.right[at], &out.left[at], &out.right[at], frames);
        at += frames;
    }
    return out;
}

// The same overdrive with its filter in double precision (no flush to zero)
// for settings that stand still: what both renderings are measured against.
StereoBuffer exactRendering(const float* v, const StereoBuffer& in) {
    const dsp::BiquadCoefficients c =
        dsp::designBiquad(dsp::dspTables(), dsp::cutoffTableIndex(v[kFilterFrequency] * kCutoffSemitonesPerUnit),
                          dsp::qTableIndex(v[kFilterQ]), filterModeFor(v[kFilterType]));
    const double g = portable::pow(1000.0, static_cast<double>(v[kDrive]));
    const float gain = static_cast<float>(g);
    const float compensation = static_cast<float>(1.0 / std::sqrt(g));
    const fxdsp::MixGains mix = fxdsp::mixGains(v[kMix]);
    const double level = fxdsp::levelGain(v[kLevel]);
    StereoBuffer out(in.size());
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<float>& x = ch == 0 ? in.left : in.right;
        std::vector<float>& y = ch == 0 ? out.left : out.right;
        double s[2][4] = {};  // per section: x1, x2, y1, y2
        for (size_t n = 0; n < x.size(); ++n) {
            const float held = std::min(std::max(x[n], -1.0e6f), 1.0e6f);
            const float driven = gain * held;
            const float clipped = driven > 1.0f ? std::sqrt(driven) : driven < -1.0f ? -std::sqrt(-driven) : driven;
            double u = static_cast<double>(clipped * compensation);
            for (auto& q : s) {
                const double w = c.b0 * u + c.b1 * q[0] + c.b2 * q[1] - c.a1 * static_cast<double>(q[2]) -
                                 c.a2 * static_cast<double>(q[3]);
                q[1] = q[0];
                q[0] = u;
                q[3] = q[2];
                q[2] = w;
                u = w;
            }
            y[n] = static_cast<float>((mix.dry * static_cast<double>(x[n]) + mix.wet * u) * level);
        }
    }
    return out;
}

}  // namespace

TEST(OverdriveNull, RandomSettingsStayWithinTheBoundAndBothWidthsAgree) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const StereoBuffer in = mixedSignal(30000, 5);
    // The extremes first: lowest cutoff with the highest q (the most
    // resonant recursion) and with the lowest, the highest cutoff with the
    // lowest q, band pass and high pass low down, then random settings.
    std::vector<std::vector<float>> settings = {{1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f},
                                                {0.3f, 0.0f, 0.0f, 0.0f, 1.0f, 0.5f},
                                                {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.5f},
                                                {0.6f, 0.5f, 0.05f, 1.0f, 0.7f, 0.5f},
                                                {0.6f, 1.0f, 0.0f, 0.9f, 1.0f, 0.5f}};
    for (int i = 0; i < 12; ++i) {
        std::vector<float> v(kNumParameters);
        for (float& x : v) x = value(rng);
        v[kFilterType] = 0.5f * static_cast<float>(rng() % 3);
        settings.push_back(v);
    }
    size_t silenced = 0, illConditioned = 0;
    for (size_t s = 0; s < settings.size(); ++s) {
        const float* values = settings[s].data();
        ReferenceOverdrive ref;
        ref.load(values);
        ref.recompute();
        StereoBuffer expected(in.size());
        for (size_t n = 0; n < in.size(); ++n) ref.frame(in.left[n], in.right[n], expected.left[n], expected.right[n]);
        const StereoBuffer narrow = renderSettled(values, in, static_cast<unsigned>(s), false);
        const StereoBuffer wide = renderSettled(values, in, static_cast<unsigned>(s), true);
        EXPECT_EQ(differingFrames(narrow, wide), 0u) << "setting " << s;

        const StereoBuffer exact = exactRendering(values, in);
        const double oneFrameStray = differenceDb(expected, exact);
        const double blockStray = differenceDb(narrow, exact);
        const double difference = differenceDb(narrow, expected);
        // Within the bound; or, where the one-frame form itself strays near
        // or beyond the bound from exact arithmetic, the block form strays at
        // most twice as far (6 dB).
        if (oneFrameStray < kDifferenceBoundDb - 6.0) {
            EXPECT_LT(difference, kDifferenceBoundDb) << "setting " << s;
        } else {
            ++illConditioned;
            EXPECT_LT(blockStray, oneFrameStray + 6.0) << "setting " << s;
        }
        // Where the reference has died away to exact silence at the end of the
        // silent stretch, so has the module.
        const size_t silentEnd = in.size() * 3 / 5 - 1;
        if (expected.left[silentEnd] == 0.0f && expected.right[silentEnd] == 0.0f) {
            ++silenced;
            EXPECT_EQ(narrow.left[silentEnd], 0.0f) << "setting " << s;
            EXPECT_EQ(narrow.right[silentEnd], 0.0f) << "setting " << s;
        }
    }
    EXPECT_GT(silenced, 5u);
    // Both criteria were used.
    EXPECT_GE(illConditioned, 2u);
    EXPECT_LT(illConditioned, settings.size() / 2);
}

namespace {

// The run a module with these settings renders once its glides have landed.
fxdsp::OverdriveRun settledRun(const float* v) {
    const dsp::BiquadCoefficients c =
        dsp::designBiquad(dsp::dspTables(), dsp::cutoffTableIndex(v[kFilterFrequency] * kCutoffSemitonesPerUnit),
                          dsp::qTableIndex(v[kFilterQ]), filterModeFor(v[kFilterType]));
    const double g = portable::pow(1000.0, static_cast<double>(v[kDrive]));
    const fxdsp::MixGains mix = fxdsp::mixGains(v[kMix]);
    const float level = static_cast<float>(fxdsp::levelGain(v[kLevel]));
    return {fxdsp::blockBiquad(c), static_cast<float>(g), static_cast<float>(1.0 / std::sqrt(g)), mix.dry, mix.wet,
            level, level};
}

bool sameHistory(const fxdsp::OverdriveHistory& a, const fxdsp::OverdriveHistory& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

}  // namespace

// The renderers work through groups of blocks stage by stage (every drive,
// then each section through the group); block after block, as before, must
// give the same bits, including where the sections flush to zero, with runs
// of every length (groups of 32 and 16 frames, single blocks, padded ends)
// and samples that are not finite.
TEST(OverdriveNull, GroupedStagesMatchBlockAfterBlockBitForBit) {
    StereoBuffer in = mixedSignal(24000, 9);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    in.left[3001] = nan;
    in.right[9003] = inf;
    in.left[17777] = -inf;
    for (size_t n = 10000; n < 10100; ++n) in.right[n] = -0.0f;
    const std::vector<std::vector<float>> settings = {{0.5f, 0.0f, 0.85f, 0.2f, 1.0f, 0.5f},
                                                      {1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f},
                                                      {0.6f, 0.5f, 0.05f, 1.0f, 0.7f, 0.5f},
                                                      {0.3f, 1.0f, 0.4f, 0.6f, 0.4f, 0.8f}};
    for (const bool wide : {false, true}) {
        size_t silenced = 0;
        for (size_t s = 0; s < settings.size(); ++s) {
            const fxdsp::OverdriveRun run = settledRun(settings[s].data());
            std::mt19937 rng(static_cast<unsigned>(31 + s));
            // Mostly long runs (the grouped path), some of 16 to 47 frames and
            // some short ones.
            std::uniform_int_distribution<int> longRun(32, 700), midRun(16, 47), shortRun(1, 15);
            fxdsp::OverdriveHistory grouped, blockwise;
            StereoBuffer a(in.size()), b(in.size());
            size_t runs = 0;
            for (size_t at = 0; at < in.size(); ++runs) {
                const int pick = static_cast<int>(runs % 5);
                const int wanted = pick < 3 ? longRun(rng) : pick == 3 ? midRun(rng) : shortRun(rng);
                const int frames = static_cast<int>(std::min<size_t>(static_cast<size_t>(wanted), in.size() - at));
                if (wide)
                    fxdsp::renderOverdriveWide(run, grouped, &in.left[at], &in.right[at], &a.left[at], &a.right[at],
                                               frames);
                else
                    fxdsp::renderOverdriveNarrow(run, grouped, &in.left[at], &in.right[at], &a.left[at],
                                                 &a.right[at], frames);
                fxdsp::renderOverdriveBlockwise(run, blockwise, &in.left[at], &in.right[at], &b.left[at],
                                                &b.right[at], frames, wide);
                at += static_cast<size_t>(frames);
            }
            EXPECT_EQ(differingFrames(a, b), 0u) << "setting " << s << (wide ? " wide" : " narrow");
            EXPECT_TRUE(sameHistory(grouped, blockwise)) << "setting " << s;
            // Where the silent stretch ends in exact zeros the sections have
            // flushed: the comparison covered that too.
            const size_t silentEnd = in.size() * 3 / 5 - 1;
            if (a.left[silentEnd] == 0.0f && a.right[silentEnd] == 0.0f) ++silenced;
        }
        EXPECT_GE(silenced, 2u);
    }
}
