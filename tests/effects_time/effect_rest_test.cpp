// Effects with an oscillator of their own (chorus, flanger, filter) rest on
// silence with their clock running on: told how many frames passed, they
// step their oscillator, smoothing and envelope exactly as a render of
// those frames would have, and skip the audio. After a phrase, a silence
// long enough for their tail to die away and a rest, a second phrase must
// come out bit for bit as from the module that rendered the silence in full,
// through a parameter move and a MIDI program change made while resting. A
// module merely skipped for the same time (no rest call) wakes at another
// phase and sounds different: the comparison can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "modules/effect_module.h"
#include "tests/effects_time/fx_test_host.h"

namespace {

using fxtest::HostedEffect;
using fxtest::Stereo;

constexpr int kBlock = 256;

Stereo noisePhrase(size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    Stereo s(frames);
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] = u(rng);
        s.right[i] = u(rng);
    }
    return s;
}

enum class Silence { Render, Rest, Skip };

struct Case {
    const char* title;
    const char* rateParameter;   // moved while resting
    const char* depthParameter;  // full depth, so that the oscillator is heard
};

// Phrase, 4 s of rendered silence (the longest ring, 3 s, holds silence
// then), then 5 s rendered in full, rested or skipped, with a parameter
// moved and a program change sent half-way; then the second phrase, whose
// output is returned.
Stereo secondPhrase(const Case& c, Silence how) {
    VstTimeInfo time = fxtest::tempoRecord(120.0);
    fxtest::setHostTime(&time);
    HostedEffect fx(c.title);
    fx.dispatch(effMainsChanged, 0, 1);
    const int rate = fx.paramIndex(c.rateParameter);
    const int depth = fx.paramIndex(c.depthParameter);
    const int cutoff = fx.paramIndex("FilterFrequency");
    const int sweepsCutoff = fx.paramIndex("LfoFrequency");  // the filter's LFO on its cutoff
    EXPECT_GE(rate, 0) << c.title;
    EXPECT_GE(depth, 0) << c.title;
    // Programs 1 and 0 both at full depth (parameters go to the current
    // program too), program 1 at another rate.
    for (int program : {1, 0}) {
        fx.dispatch(effSetProgram, 0, program);
        if (rate >= 0) fx.set(rate, program == 1 ? 0.75f : 0.9f);
        if (depth >= 0) fx.set(depth, 1.0f);
        if (cutoff >= 0) fx.set(cutoff, 0.5f);
        if (sweepsCutoff >= 0) fx.set(sweepsCutoff, 1.0f);
    }
    fx.process(noisePhrase(2 * 44100, 1), kBlock);
    fx.silence(4 * 44100, kBlock);
    const int blocks = 5 * 44100 / kBlock;
    for (int b = 0; b < blocks; ++b) {
        if (b == blocks / 2) {
            if (rate >= 0) fx.set(rate, 0.6f);
            fx.sendMidi(0xC0, 1, 10);  // an untouched program: the live values jump
        }
        if (how == Silence::Render) {
            fx.silence(kBlock, kBlock);
        } else if (how == Silence::Rest) {
            EXPECT_EQ(fx.dispatch(effVendorSpecific, kModuleRestIndex, kBlock), 1) << c.title;
        }
    }
    const Stereo out = fx.process(noisePhrase(2 * 44100, 2), kBlock);
    fxtest::setHostTime(nullptr);
    return out;
}

double largestDifference(const Stereo& a, const Stereo& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        d = std::max(d, std::fabs(static_cast<double>(a.left[i]) - b.left[i]));
        d = std::max(d, std::fabs(static_cast<double>(a.right[i]) - b.right[i]));
    }
    return d;
}

class EffectRest : public ::testing::TestWithParam<Case> {};

TEST_P(EffectRest, WakesAsIfItHadRenderedTheSilence) {
    const Case c = GetParam();
    const Stereo full = secondPhrase(c, Silence::Render);
    const Stereo rested = secondPhrase(c, Silence::Rest);
    const Stereo skipped = secondPhrase(c, Silence::Skip);
    EXPECT_EQ(largestDifference(full, rested), 0.0) << c.title;
    // Without the rest the oscillator is elsewhere: clearly audible.
    EXPECT_GT(largestDifference(full, skipped), 1e-2) << c.title;
    EXPECT_GT(fxtest::peakAbs(full.left, 0, full.size()), 0.05) << c.title;
}

INSTANTIATE_TEST_SUITE_P(Oscillators, EffectRest,
                         ::testing::Values(Case{"KavoChorus", "Rate", "Depth"}, Case{"KavoFlanger", "Rate", "Depth"},
                                           Case{"KavoFilter", "LfoRate", "LfoDepth"}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.title); });

// Effects that only decay answer 0: they have no clock to keep and the
// caller simply skips them.
TEST(EffectRest, EffectsWithoutAClockDecline) {
    for (const char* title : {"KavoDelay", "KavoReverb", "KavoCompressor", "KavoLimiter", "KavoOverdrive"}) {
        HostedEffect fx(title);
        EXPECT_EQ(fx.dispatch(effVendorSpecific, kModuleRestIndex, kBlock), 0) << title;
    }
    HostedEffect chorus("KavoChorus");
    EXPECT_EQ(chorus.dispatch(effVendorSpecific, kModuleRestIndex, 0), 0);
    EXPECT_EQ(chorus.dispatch(effVendorSpecific, kModuleRestIndex, -5), 0);
    EXPECT_EQ(chorus.dispatch(effVendorSpecific, kModuleRestIndex + 1, kBlock), 0);
}

}  // namespace
