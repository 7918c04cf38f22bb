// The filter effect's runs against its frame-by-frame rendering (control
// step, trigger and MIDI checks on every frame, one channel at a time through
// the scalar sections), which the module keeps for this comparison. Two
// modules take the same script of blocks, parameter moves, MIDI program
// changes, rests and song positions; their outputs must agree to the bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "effects/dsp/signal_floor.h"
#include "effects/filter.h"
#include "effects/filter_stage.h"
#include "modules/dsp_tables.h"
#include "modules/effect_module.h"
#include "tests/effects_dynamics/hosted_effect.h"

namespace {

constexpr float kRate = 44100.0f;

VstTimeInfo* gTime = nullptr;

VstIntPtr VSTCALLBACK songHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(gTime);
    if (opcode == audioMasterVersion) return 2400;
    return 0;
}

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof(b));
    return b;
}

// The first frame where two renderings differ in any bit, or the size.
size_t firstDifferingFrame(const StereoBuffer& a, const StereoBuffer& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (bitsOf(a.left[i]) != bitsOf(b.left[i]) || bitsOf(a.right[i]) != bitsOf(b.right[i])) return i;
    return a.size();
}

double rmsOf(const std::vector<float>& x) {
    double sum = 0.0;
    size_t n = 0;
    for (float v : x)
        if (std::isfinite(v)) {
            sum += static_cast<double>(v) * v;
            ++n;
        }
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// Noise and a tone, different on the two channels, with a stretch of exact
// silence (the sections decay through the flush-to-zero guard) and a few
// samples that are not finite or far out of range.
StereoBuffer testSignal(size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    StereoBuffer in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const bool silent = i >= frames / 3 && i < frames / 3 + 12000;
        const float tone = 0.4f * std::sin(0.05f * static_cast<float>(i));
        in.left[i] = silent ? 0.0f : 0.3f * u(rng) + tone;
        in.right[i] = silent ? 0.0f : 0.2f * u(rng) - tone;
    }
    const size_t odd = frames - frames / 5;
    in.left[odd] = std::numeric_limits<float>::quiet_NaN();
    in.right[odd + 7] = std::numeric_limits<float>::infinity();
    in.left[odd + 300] = -3.0e7f;
    return in;
}

// A modulation setting, applied to program 0 and, with a different cutoff
// and type, to program 2 (the target of the MIDI program changes).
struct Setting {
    const char* name;
    float values[EffectFilter::kNumParameters];
};

// FilterType, FilterFrequency, FilterQ, LfoFrequency, LfoQ, EnvAttack,
// EnvRelease, EnvDepth, EnvStep, LfoWave, LfoRate, LfoDepth, LfoSync, Mix,
// Level, LfoLevel.
const Setting kSettings[] = {
    {"LowPassLfoSine", {0.0f, 0.5f, 0.8f, 1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.8f, 0.6f, 0.0f, 1.0f, 0.5f, 0.0f}},
    {"BandPassEnvelope", {0.5f, 0.3f, 0.9f, 0.0f, 0.0f, 0.1f, 0.3f, 1.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.8f, 0.6f, 0.0f}},
    {"HighPassSawLevel", {1.0f, 0.4f, 0.5f, 1.0f, 0.0f, 0.0f, 0.5f, 0.2f, 0.4f, 0.5f, 0.9f, 0.9f, 0.0f, 0.7f, 0.5f, 1.0f}},
    {"LowPassHoldSynced", {0.0f, 0.6f, 1.0f, 1.0f, 0.0f, 0.2f, 0.2f, 0.9f, 0.2f, 1.0f, 0.7f, 0.7f, 1.0f, 1.0f, 0.5f, 1.0f}},
    {"BandPassSquareEnvelopeDown", {0.5f, 0.7f, 0.3f, 1.0f, 0.0f, 0.0f, 0.1f, 0.0f, 0.0f, 0.3f, 1.0f, 1.0f, 1.0f, 0.4f, 0.7f, 0.0f}},
};

// Drives one module through a script that the seed fixes; frameByFrame picks
// the module's rendering.
class ScriptedRender {
public:
    ScriptedRender(const Setting& setting, unsigned seed, bool frameByFrame)
        : fx_("KavoFilter", kRate, songHost), rng_(seed) {
        auto* filter = dynamic_cast<EffectFilter*>(fx_.module());
        if (filter != nullptr) filter->renderFrameByFrame(frameByFrame);
        found_ = filter != nullptr;
        fx_.setProgram(2);
        load(setting);
        fx_.setParameter(EffectFilter::kFilterType, setting.values[EffectFilter::kFilterType] == 0.0f ? 1.0f : 0.0f);
        fx_.setParameter(EffectFilter::kFilterFrequency, 0.8f);
        fx_.setProgram(0);
        load(setting);
    }
    bool found() const { return found_; }

    // Renders the input in blocks of maxBlock frames or, with maxBlock 0,
    // of random sizes from 1 to 512. Between blocks parameters move, MIDI
    // program changes are queued for frames inside the next block, the song
    // position jumps or the transport stops, and some silent blocks pass as
    // rests; every other block is processed in place.
    StereoBuffer render(const StereoBuffer& in, size_t maxBlock) {
        StereoBuffer out(in.size());
        std::uniform_int_distribution<int> blockSize(1, 512);
        std::uniform_int_distribution<int> parameter(0, EffectFilter::kNumParameters - 1);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        VstTimeInfo time;
        double position = 3000.0;
        bool playing = true;
        size_t at = 0, block = 0;
        while (at < in.size()) {
            size_t frames = maxBlock ? maxBlock : static_cast<size_t>(blockSize(rng_));
            frames = std::min(frames, in.size() - at);
            // Moves of one to three parameters, half of them to 0 or 1 (the
            // switches act only at 1).
            if (unit(rng_) < 0.3f) {
                const int moves = 1 + static_cast<int>(unit(rng_) * 3.0f);
                for (int m = 0; m < moves; ++m) {
                    const float v = unit(rng_);
                    fx_.setParameter(parameter(rng_), unit(rng_) < 0.5f ? v : std::round(v));
                }
            }
            if (unit(rng_) < 0.1f) {
                std::uniform_int_distribution<int> delta(0, static_cast<int>(frames) - 1);
                fx_.sendMidi(0xC0, unit(rng_) < 0.5f ? 0 : 2, 0, delta(rng_));
                if (unit(rng_) < 0.5f) fx_.sendMidi(0xC0, 0, 0, delta(rng_));
            }
            if (unit(rng_) < 0.02f) position = std::floor(unit(rng_) * 200000.0f);
            if (unit(rng_) < 0.02f) playing = !playing;
            std::memset(&time, 0, sizeof(time));
            time.samplePos = position;
            time.sampleRate = kRate;
            time.tempo = 480.0;  // a sixteenth every 1378.125 frames
            time.timeSigNumerator = time.timeSigDenominator = 4;
            time.flags = kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0);
            gTime = &time;
            const bool silentInput = std::all_of(in.left.begin() + static_cast<long>(at),
                                                 in.left.begin() + static_cast<long>(at + frames),
                                                 [](float v) { return v == 0.0f; });
            if (silentInput && unit(rng_) < 0.5f) {
                // The module lets the frames pass; the output stays 0.
                rests_ += fx_.dispatch(effVendorSpecific, kModuleRestIndex, static_cast<VstIntPtr>(frames)) == 1;
            } else {
                std::copy_n(in.left.begin() + static_cast<long>(at), frames, out.left.begin() + static_cast<long>(at));
                std::copy_n(in.right.begin() + static_cast<long>(at), frames,
                            out.right.begin() + static_cast<long>(at));
                if (block % 2 == 0) {
                    fx_.processInPlace(&out.left[at], &out.right[at], static_cast<VstInt32>(frames));
                } else {
                    std::vector<float> l(out.left.begin() + static_cast<long>(at),
                                         out.left.begin() + static_cast<long>(at + frames));
                    std::vector<float> r(out.right.begin() + static_cast<long>(at),
                                         out.right.begin() + static_cast<long>(at + frames));
                    float* ins[2] = {l.data(), r.data()};
                    float* outs[2] = {&out.left[at], &out.right[at]};
                    fx_.effect()->processReplacing(fx_.effect(), ins, outs, static_cast<VstInt32>(frames));
                }
            }
            gTime = nullptr;
            position += static_cast<double>(frames);
            at += frames;
            ++block;
        }
        return out;
    }
    int rests() const { return rests_; }

private:
    void load(const Setting& s) {
        for (VstInt32 p = 0; p < EffectFilter::kNumParameters; ++p) fx_.setParameter(p, s.values[p]);
    }

    HostedEffect fx_;
    std::mt19937 rng_;
    bool found_ = false;
    int rests_ = 0;
};

class FilterNull : public ::testing::TestWithParam<Setting> {};

}  // namespace

TEST_P(FilterNull, RunsMatchFrameByFrameThroughAScript) {
    const StereoBuffer in = testSignal(120000, 99);
    for (unsigned seed : {1u, 2u, 3u}) {
        ScriptedRender runs(GetParam(), seed, false), reference(GetParam(), seed, true);
        ASSERT_TRUE(runs.found() && reference.found());
        const StereoBuffer a = runs.render(in, 0);
        const StereoBuffer b = reference.render(in, 0);
        EXPECT_EQ(firstDifferingFrame(a, b), a.size()) << "seed " << seed;
        // Not a comparison of silence, and the script let some blocks rest.
        EXPECT_GT(rmsOf(a.left) + rmsOf(a.right), 0.01);
        EXPECT_GT(runs.rests(), 0);
        EXPECT_EQ(runs.rests(), reference.rests());
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, FilterNull, ::testing::ValuesIn(kSettings),
                         [](const ::testing::TestParamInfo<Setting>& info) { return std::string(info.param.name); });

TEST(FilterNullBlocks, EveryBlockSizeFromOneTo512MatchesFrameByFrame) {
    const StereoBuffer in = testSignal(3000, 7);
    const Setting& setting = kSettings[3];  // sample and hold, envelope, level LFO
    size_t failures = 0;
    for (size_t block = 1; block <= 512; ++block) {
        ScriptedRender runs(setting, static_cast<unsigned>(block), false);
        ScriptedRender reference(setting, static_cast<unsigned>(block), true);
        const StereoBuffer a = runs.render(in, block);
        const StereoBuffer b = reference.render(in, block);
        const size_t at = firstDifferingFrame(a, b);
        if (at != a.size() && ++failures <= 5) ADD_FAILURE() << "block " << block << " differs from frame " << at;
    }
    EXPECT_EQ(failures, 0u);
}

// The stage's runs in SSE2 code and in AVX2 code against its frame-by-frame
// process(): cutoff, resonance, mode and gains moved between runs of 1..40
// frames, some in place, through loud and non-finite samples and through
// silence, where the sections' outputs die away below the floor.
TEST(FilterNullStage, RunsOfBothWidthsMatchProcess) {
    std::vector<bool> widths{false};
    if (cpuHasAvx2()) widths.push_back(true);
    for (const bool wide : widths) {
        const dsp::DspTables& tables = dsp::dspTables();
        StereoFilterStage runs(tables), frames(tables);
        runs.useWideLanes(wide);
        ASSERT_EQ(runs.wideLanes(), wide);
        std::mt19937 random(wide ? 71u : 70u);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::uniform_int_distribution<int> runLength(1, 40);
        constexpr int kFrames = 200000;
        std::vector<float> inL(kFrames), inR(kFrames);
        for (int n = 0; n < kFrames; ++n) {
            const bool silent = (n / 9000) % 4 == 3;
            inL[n] = silent ? 0.0f : 1.5f * std::sin(0.013f * float(n)) * unit(random);
            inR[n] = silent ? 0.0f : 2.0f * unit(random) - 1.0f;
        }
        inL[4321] = std::numeric_limits<float>::quiet_NaN();
        inR[70001] = std::numeric_limits<float>::infinity();
        inL[120003] = 1e30f;
        std::vector<float> outL(kFrames), outR(kFrames), refL(kFrames), refR(kFrames);
        StereoFourPoleLanes lanes = runs.loadHistories();
        int n = 0, differ = 0;
        while (n < kFrames) {
            if (unit(random) < 0.3f) {
                const float cutoff = unit(random), q = unit(random), mode = unit(random);
                const float mix = unit(random), levelL = 2.0f * unit(random), levelR = unit(random);
                const bool smoothing = unit(random) < 0.7f;
                for (StereoFilterStage* stage : {&runs, &frames}) {
                    stage->glideGains(mix, levelL, levelR, smoothing ? 0.01f : 1.0f);
                    stage->glideCutoff(cutoff, q, smoothing);
                    stage->design(0.0f, filterModeFor(mode));
                }
            }
            const int count = std::min(runLength(random), kFrames - n);
            if (n % 3 == 0) {
                std::copy_n(inL.begin() + n, count, outL.begin() + n);
                std::copy_n(inR.begin() + n, count, outR.begin() + n);
                runs.processRun(lanes, outL.data() + n, outR.data() + n, outL.data() + n, outR.data() + n, count);
            } else {
                runs.processRun(lanes, inL.data() + n, inR.data() + n, outL.data() + n, outR.data() + n, count);
            }
            for (int i = n; i < n + count; ++i) {
                const float l = fxdsp::fedSample(inL[i]), r = fxdsp::fedSample(inR[i]);
                frames.process(l, r, l, r, refL[i], refR[i]);
                if (bitsOf(outL[i]) != bitsOf(refL[i]) || bitsOf(outR[i]) != bitsOf(refR[i])) ++differ;
            }
            n += count;
        }
        runs.storeHistories(lanes);
        EXPECT_EQ(differ, 0) << "wide " << wide;
        // The sections died away to exact zeros in the silences.
        int zeros = 0;
        for (int i = 0; i < kFrames; ++i) zeros += (i / 9000) % 4 == 3 && bitsOf(refL[i]) == 0u ? 1 : 0;
        EXPECT_GT(zeros, 1000) << wide;
    }
}
