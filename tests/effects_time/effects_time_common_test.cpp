// What the four time-based effects share, checked through their AEffect as
// a host sees them, at 44.1 kHz and 96 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/effects_time/fx_test_host.h"

using fxtest::HostedEffect;
using fxtest::Stereo;

namespace {

struct Identity {
    const char* title;
    const char* product;
    VstInt32 uniqueId;
    int params, programs;
    const char* newProgramName;
};

const Identity kEffects[] = {
    {"KavoChorus", "KAVO chorus", vstFourCC('7', 'v', '6', '0'), 5, 48, "-"},
    {"KavoFlanger", "KAVO flanger", vstFourCC('1', '2', '8', '3'), 6, 16, "--------"},
    {"KavoDelay", "KAVO delay", vstFourCC('8', '1', '0', '3'), 12, 48, "-"},
    {"KavoReverb", "KAVO reverb", vstFourCC('6', 'x', '3', '1'), 8, 48, "-"},
};

struct Case {
    Identity id;
    float rate;
};

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Identity& id : kEffects)
        for (float rate : {44100.0f, 96000.0f}) cases.push_back({id, rate});
    return cases;
}

Stereo noise(size_t frames, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    Stereo s(frames);
    for (size_t i = 0; i < frames; ++i) s.left[i] = u(gen), s.right[i] = u(gen);
    return s;
}

class TimeEffect : public testing::TestWithParam<Case> {
protected:
    const Identity& id() const { return GetParam().id; }
    HostedEffect fx{GetParam().id.title, GetParam().rate};

    // Every parameter somewhere in the middle, so the whole path carries signal.
    void busy(HostedEffect& e) {
        for (int i = 0; i < id().params; ++i) e.set(i, 0.3f + 0.05f * static_cast<float>(i));
        e.dispatch(effSetProgram, 0, 0);
    }
};

}  // namespace

TEST_P(TimeEffect, DescribesItselfAndItsPrograms) {
    AEffect* e = fx.effect();
    EXPECT_EQ(e->numParams, id().params);
    EXPECT_EQ(e->numPrograms, id().programs);
    EXPECT_EQ(e->uniqueID, id().uniqueId);
    EXPECT_EQ(e->numInputs * 10 + e->numOutputs, 22);
    EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsNoSoundInStop), 0);
    EXPECT_EQ(fx.dispatch(effGetPlugCategory), kPlugCategEffect);
    VstPinProperties pin;
    EXPECT_EQ(fx.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, id().product);
    char text[80];
    for (int p = 0; p < id().programs; ++p) {
        ASSERT_EQ(fx.dispatch(effGetProgramNameIndexed, p, 0, text), 1);
        EXPECT_STREQ(text, id().newProgramName);
    }
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, id().programs, 0, text), 0);
    fx.dispatch(effSetProgram, 0, 3);
    fx.dispatch(effSetProgram, 0, id().programs);  // beyond the last: ignored
    EXPECT_EQ(fx.dispatch(effGetProgram), 3);
    EXPECT_EQ(fx.name(id().params), "");
    EXPECT_EQ(fx.display(id().params), "");
}

TEST_P(TimeEffect, ChunksHaveTheirExactSizesAndRefuseAnyOther) {
    const size_t presetBytes = 4u * static_cast<size_t>(id().params);
    const size_t bankBytes = static_cast<size_t>(id().programs) * (24u + presetBytes);
    std::vector<char> preset = fx.chunk(true);
    ASSERT_EQ(preset.size(), presetBytes);
    const std::vector<char> bank = fx.chunk(false);
    ASSERT_EQ(bank.size(), bankBytes);

    std::vector<float> values(static_cast<size_t>(id().params));
    for (size_t i = 0; i < values.size(); ++i) values[i] = 0.125f * static_cast<float>(i % 8);
    std::memcpy(preset.data(), values.data(), presetBytes);
    EXPECT_EQ(fx.setChunk(preset, true), 1);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);

    const std::vector<char> before = fx.chunk(false);
    for (size_t size : {presetBytes - 1, presetBytes + 1, size_t{0}})
        EXPECT_EQ(fx.setChunk(std::vector<char>(size, 0x55), true), 0) << size;
    for (size_t size : {bankBytes - 1, bankBytes + 1, presetBytes})
        EXPECT_EQ(fx.setChunk(std::vector<char>(size, 0x55), false), 0) << size;
    EXPECT_EQ(fx.chunk(false), before);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);

    std::vector<char> edited = before;
    std::memcpy(edited.data(), "Edited", 7);
    EXPECT_EQ(fx.setChunk(edited, false), 1);
    EXPECT_EQ(fx.chunk(false), edited);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);
}

TEST_P(TimeEffect, MidiProgramChangeActsAtItsFrame) {
    const int level = fx.paramIndex("Level"), mix = fx.paramIndex("Mix");
    ASSERT_GE(level, 0);
    ASSERT_GE(mix, 0);
    // Program 1 at +15 dB, program 0 at -15 dB, both dry only.
    for (int program : {1, 0}) {
        fx.dispatch(effSetProgram, 0, program);
        fx.set(level, program == 1 ? 1.0f : 0.0f);
        fx.set(mix, 0.0f);
    }
    fx.dispatch(effSetProgram, 0, 0);
    Stereo in(64);
    std::fill(in.left.begin(), in.left.end(), 0.5f);
    std::fill(in.right.begin(), in.right.end(), 0.5f);
    fx.sendMidi(0x90, 60, 2);  // not a program change: ignored
    fx.sendMidi(0xC3, 1, 10);  // leaves the ring at frame 1: acts at 1 + 10 - 1
    const Stereo out = fx.process(in, 64);
    EXPECT_NEAR(out.left[9], 0.5 * 0.17677669, 1e-4);
    EXPECT_NEAR(20 * std::log10(out.left[10] / out.left[9]), 30.1, 0.01);
    EXPECT_NEAR(20 * std::log10(out.right[63] / out.right[9]), 30.1, 0.01);
    EXPECT_EQ(fx.dispatch(effGetProgram), 1);
}

TEST_P(TimeEffect, OutputDoesNotDependOnBlockSizeOrInPlaceProcessing) {
    HostedEffect a(id().title, GetParam().rate), b(id().title, GetParam().rate), c(id().title, GetParam().rate);
    busy(a), busy(b), busy(c);
    const Stereo in = noise(20000, 7);
    const Stereo byOne = a.process(in, 1);
    const Stereo byBig = b.process(in, 4096);
    EXPECT_EQ(byOne.left, byBig.left);
    EXPECT_EQ(byOne.right, byBig.right);
    Stereo io = in;
    for (size_t at = 0; at < io.size(); at += 333) {
        float* buffers[2] = {io.left.data() + at, io.right.data() + at};
        c.effect()->processReplacing(c.effect(), buffers, buffers,
                                     static_cast<VstInt32>(std::min<size_t>(333, io.size() - at)));
    }
    EXPECT_EQ(io.left, byOne.left);
    EXPECT_EQ(io.right, byOne.right);
    EXPECT_GT(fxtest::peakAbs(byOne.left, 0, byOne.size()), 0.01);
}

TEST_P(TimeEffect, BadRatesAndValuesLeaveTheOutputFinite) {
    HostedEffect reference(id().title, GetParam().rate);
    busy(fx);
    busy(reference);
    fx.setSampleRate(0.0f);  // ignored, as is a negative rate
    fx.setSampleRate(-44100.0f);
    const Stereo in = noise(5000, 3);
    EXPECT_EQ(fx.process(in).left, reference.process(in).left);
    for (float v : {std::nanf(""), -1.0f, 7.0f, INFINITY, -INFINITY}) {
        for (int i = 0; i < id().params; ++i) fx.set(i, v);
        fx.dispatch(effSetProgram, 0, fx.dispatch(effGetProgram));
        const Stereo out = fx.process(noise(3000, 5), 128);
        for (size_t n = 0; n < out.size(); ++n)
            ASSERT_TRUE(std::isfinite(out.left[n]) && std::isfinite(out.right[n])) << v << " at " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(AllRates, TimeEffect, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.id.title) + "_" +
                                    std::to_string(static_cast<int>(info.param.rate));
                         });
