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
    const char* effectName;
    const char* product;
    VstInt32 uniqueId;
    int params;
    int programs;
    const char* newProgramName;
};

const Identity kEffects[] = {
    {"KavoChorus", "Chorus (1.31)", "KAVO chorus", vstFourCC('7', 'v', '6', '0'), 5, 48, "-"},
    {"KavoFlanger", "Flanger (1.31)", "KAVO flanger", vstFourCC('1', '2', '8', '3'), 6, 16, "--------"},
    {"KavoDelay", "Delay (2.1)", "KAVO delay", vstFourCC('8', '1', '0', '3'), 12, 48, "-"},
    {"KavoReverb", "Reverb (1.31)", "KAVO reverb", vstFourCC('6', 'x', '3', '1'), 8, 48, "-"},
};

struct Case {
    Identity id;
    float rate;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
    return std::string(info.param.id.title) + "_" + std::to_string(static_cast<int>(info.param.rate));
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Identity& id : kEffects)
        for (float rate : {44100.0f, 96000.0f}) cases.push_back({id, rate});
    return cases;
}

Stereo noise(size_t frames, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    Stereo s(frames);
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] = u(gen);
        s.right[i] = u(gen);
    }
    return s;
}

class TimeEffect : public testing::TestWithParam<Case> {
protected:
    HostedEffect fx{GetParam().id.title, GetParam().rate};
    const Identity& id() const { return GetParam().id; }

    // Every parameter to a mid value, with a short delay and some feedback, so
    // that the whole path carries signal.
    void busySettings(HostedEffect& e) {
        for (int i = 0; i < id().params; ++i) e.set(i, 0.3f + 0.05f * static_cast<float>(i));
        e.dispatch(effSetProgram, 0, 0);
    }
};

}  // namespace

TEST_P(TimeEffect, DescribesItselfAsTheModuleTableSays) {
    AEffect* e = fx.effect();
    EXPECT_EQ(e->numParams, id().params);
    EXPECT_EQ(e->numPrograms, id().programs);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, id().uniqueId);
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->flags & effFlagsCanReplacing, 0);
    EXPECT_NE(e->flags & effFlagsProgramChunks, 0);
    EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsNoSoundInStop), 0);
    EXPECT_EQ(fx.dispatch(effGetPlugCategory), kPlugCategEffect);
    char text[80];
    fx.dispatch(effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, id().effectName);
    fx.dispatch(effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, id().product);
    VstPinProperties pin;
    EXPECT_EQ(fx.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, id().product);
    EXPECT_EQ(fx.dispatch(effGetOutputProperties, 2, 0, &pin), 0);
    for (int p = 0; p < id().programs; ++p) {
        ASSERT_EQ(fx.dispatch(effGetProgramNameIndexed, p, 0, text), 1);
        EXPECT_STREQ(text, id().newProgramName);
    }
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, id().programs, 0, text), 0);
    // Names and displays end inside the buffer; beyond the last parameter
    // they are empty.
    for (int i = 0; i < id().params; ++i) {
        EXPECT_FALSE(fx.name(i).empty()) << i;
        EXPECT_FALSE(fx.display(i).empty()) << i;
        EXPECT_LT(fx.display(i).size(), 24u);
    }
    EXPECT_EQ(fx.name(id().params), "");
    EXPECT_EQ(fx.display(id().params), "");
    EXPECT_EQ(fx.get(id().params), 0.0f);
}

TEST_P(TimeEffect, ChunksHaveTheirExactSizesAndRefuseAnyOther) {
    const size_t presetBytes = 4u * static_cast<size_t>(id().params);
    const size_t bankBytes = static_cast<size_t>(id().programs) * (24u + presetBytes);
    std::vector<char> preset = fx.chunk(true);
    std::vector<char> bank = fx.chunk(false);
    ASSERT_EQ(preset.size(), presetBytes);
    ASSERT_EQ(bank.size(), bankBytes);

    // A preset chunk applies its values in order.
    std::vector<float> values(static_cast<size_t>(id().params));
    for (size_t i = 0; i < values.size(); ++i) values[i] = 0.125f * static_cast<float>(i % 8);
    std::memcpy(preset.data(), values.data(), presetBytes);
    EXPECT_EQ(fx.setChunk(preset, true), 1);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);

    // Wrong sizes change nothing.
    const std::vector<char> before = fx.chunk(false);
    std::vector<char> bad(bankBytes + 1, 0x55);
    for (size_t size : {presetBytes - 1, presetBytes + 1, size_t{0}}) {
        bad.resize(size);
        EXPECT_EQ(fx.setChunk(bad, true), 0) << size;
    }
    for (size_t size : {bankBytes - 1, bankBytes + 1, presetBytes}) {
        bad.assign(size, 0x55);
        EXPECT_EQ(fx.setChunk(bad, false), 0) << size;
    }
    EXPECT_EQ(fx.chunk(false), before);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);

    // A bank round-trips and leaves the live values alone.
    std::vector<char> edited = before;
    std::memcpy(edited.data(), "Edited", 7);
    EXPECT_EQ(fx.setChunk(edited, false), 1);
    EXPECT_EQ(fx.chunk(false), edited);
    for (int i = 0; i < id().params; ++i) EXPECT_EQ(fx.get(i), values[static_cast<size_t>(i)]);
}

TEST_P(TimeEffect, ProgramIndexBeyondTheLastIsIgnored) {
    fx.dispatch(effSetProgram, 0, 3);
    fx.dispatch(effSetProgram, 0, id().programs);
    EXPECT_EQ(fx.dispatch(effGetProgram), 3);
    EXPECT_EQ(fx.dispatch(effCopyProgram, id().programs), 0);
    EXPECT_EQ(fx.dispatch(effCopyProgram, id().programs - 1), 1);
}

TEST_P(TimeEffect, MidiProgramChangeActsAtItsFrame) {
    const int level = fx.paramIndex("Level");
    const int mix = fx.paramIndex("Mix");
    ASSERT_GE(level, 0);
    ASSERT_GE(mix, 0);
    // Program 1: +15 dB; program 0: -15 dB; both dry only.
    fx.dispatch(effSetProgram, 0, 1);
    fx.set(level, 1.0f);
    fx.set(mix, 0.0f);
    fx.dispatch(effSetProgram, 0, 0);
    fx.set(level, 0.0f);
    fx.set(mix, 0.0f);
    fx.dispatch(effSetProgram, 0, 0);

    Stereo in(64);
    std::fill(in.left.begin(), in.left.end(), 0.5f);
    std::fill(in.right.begin(), in.right.end(), 0.5f);
    fx.sendMidi(0x90, 60, 2);  // ignored
    fx.sendMidi(0xC3, 1, 10);  // any channel
    const Stereo out = fx.process(in, 64);
    // The second event leaves the ring one frame after the first: frame
    // 1 + 10 - 1 = 10.
    EXPECT_NEAR(out.left[9], 0.5 * 0.17677669, 1e-4);
    EXPECT_NEAR(20 * std::log10(out.left[10] / out.left[9]), 30.1, 0.01);
    EXPECT_NEAR(20 * std::log10(out.right[40] / out.right[9]), 30.1, 0.01);
    EXPECT_EQ(fx.dispatch(effGetProgram), 1);
}

TEST_P(TimeEffect, OutputDoesNotDependOnBlockSizeOrInPlaceProcessing) {
    HostedEffect a(id().title, GetParam().rate), b(id().title, GetParam().rate), c(id().title, GetParam().rate);
    busySettings(a);
    busySettings(b);
    busySettings(c);
    const Stereo in = noise(20000);
    const Stereo byOne = a.process(in, 1);
    const Stereo byBig = b.process(in, 4096);
    EXPECT_EQ(byOne.left, byBig.left);
    EXPECT_EQ(byOne.right, byBig.right);

    Stereo inPlace = in;
    for (size_t at = 0; at < inPlace.size(); at += 333) {
        const auto n = static_cast<VstInt32>(std::min<size_t>(333, inPlace.size() - at));
        float* io[2] = {inPlace.left.data() + at, inPlace.right.data() + at};
        c.effect()->processReplacing(c.effect(), io, io, n);
    }
    EXPECT_EQ(inPlace.left, byOne.left);
    EXPECT_EQ(inPlace.right, byOne.right);
    EXPECT_GT(fxtest::peakAbs(byOne.left, 0, byOne.size()), 0.01);
}

TEST_P(TimeEffect, BadRatesAndValuesLeaveTheOutputFinite) {
    HostedEffect reference(id().title, GetParam().rate);
    busySettings(fx);
    busySettings(reference);
    // A rate of 0 or below is ignored.
    fx.setSampleRate(0.0f);
    fx.setSampleRate(-44100.0f);
    const Stereo in = noise(5000, 3);
    EXPECT_EQ(fx.process(in).left, reference.process(in).left);

    // Values outside 0..1, infinities and NaN map inside the ranges.
    for (float v : {std::nanf(""), -1.0f, 7.0f, INFINITY, -INFINITY}) {
        for (int i = 0; i < id().params; ++i) fx.set(i, v);
        fx.dispatch(effSetProgram, 0, fx.dispatch(effGetProgram));
        const Stereo out = fx.process(noise(3000, 5), 128);
        for (size_t n = 0; n < out.size(); ++n) {
            ASSERT_TRUE(std::isfinite(out.left[n]) && std::isfinite(out.right[n])) << v << " at " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllRates, TimeEffect, testing::ValuesIn(allCases()), caseName);
