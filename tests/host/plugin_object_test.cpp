#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "track/gain_tables.h"
#include "host/standalone_host.h"
#include "tests/host/test_host_fixture.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

struct Instance {
    TestHost host;
    AEffect* effect = nullptr;
    explicit Instance(VstInt32 version = 2400) {
        host.version = version;
        effect = VSTPluginMain(&TestHost::callback);
        if (effect != nullptr) startEmpty(*static_cast<Effect*>(static_cast<AudioEffect*>(effect->object)));
    }
    ~Instance() {
        if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    std::string text(VstInt32 opcode, VstInt32 index = 0) {
        char buffer[256] = {};
        call(opcode, index, 0, buffer);
        return buffer;
    }
};

}  // namespace

TEST(PluginObject, HostAnsweringVersionZeroGetsNoInstance) {
    Instance zero(0);
    EXPECT_EQ(zero.effect, nullptr);
}

TEST(PluginObject, DescriptorAndPropertyAnswers) {
    Instance p;
    ASSERT_NE(p.effect, nullptr);
    AEffect* e = p.effect;
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x38303535);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->numPrograms, 24);
    EXPECT_EQ(e->numParams, 80);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_NE(e->flags & effFlagsCanReplacing, 0);
    EXPECT_NE(e->flags & effFlagsProgramChunks, 0);
    EXPECT_NE(e->flags & effFlagsIsSynth, 0);
    EXPECT_EQ(p.text(effGetEffectName), "Talvex");
    EXPECT_EQ(p.text(effGetProductString), "Talvex");
    EXPECT_EQ(p.text(effGetVendorString), "KAVO");
    EXPECT_EQ(p.call(effGetVendorVersion), 1);
    EXPECT_EQ(p.call(effGetVstVersion), 2400);
    EXPECT_EQ(p.call(effGetPlugCategory), kPlugCategSynth);
    char canDo[] = "receiveVstMidiEvent";
    EXPECT_EQ(p.call(effCanDo, 0, 0, canDo), 0);
    EXPECT_EQ(p.call(effGetTailSize), 0);
    EXPECT_EQ(p.call(effCanBeAutomated, 79), 1);
    EXPECT_EQ(p.call(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(p.call(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(p.call(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(p.call(effSetBypass, 0, 1), 0);
    EXPECT_EQ(p.call(effGetInputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(p.call(effIdentify), vstFourCC('N', 'v', 'E', 'f'));
}

TEST(PluginObject, OutputPinLabels) {
    Instance p;
    VstPinProperties pin;
    auto label = [&](int i) {
        std::memset(&pin, 0, sizeof(pin));
        EXPECT_EQ(p.call(effGetOutputProperties, i, 0, &pin), 1);
        EXPECT_EQ(pin.flags, 3);
        return std::string(pin.label);
    };
    EXPECT_EQ(label(0), "Master L");
    EXPECT_EQ(label(1), "R");
    EXPECT_EQ(p.call(effGetOutputProperties, 2, 0, &pin), 0);  // stereo mode has two pins
}

TEST(PluginObject, ProgramNumbersBeyondTheUserSlotsAreIgnored) {
    Instance p;
    p.call(effSetProgram, 0, 3);
    EXPECT_EQ(p.call(effGetProgram), 3);
    p.call(effSetProgram, 0, 24);
    EXPECT_EQ(p.call(effGetProgram), 3);
    char name[32];
    EXPECT_EQ(p.call(effGetProgramNameIndexed, 24, 0, name), 0);
    EXPECT_EQ(p.call(effGetProgramNameIndexed, 23, 0, name), 1);
}

TEST(PluginObject, PrivateParametersOfTheStandaloneHost) {
    Instance p;
    EXPECT_FLOAT_EQ(p.effect->getParameter(p.effect, 0x20001), 1024.0f);
    EXPECT_FLOAT_EQ(p.effect->getParameter(p.effect, 0x20000), 44100.0f);
    p.effect->setParameter(p.effect, 0x20000, 0.5f);
    p.effect->setParameter(p.effect, 0x20001, 0.5f);
    EXPECT_FLOAT_EQ(p.effect->getParameter(p.effect, 0x20000), 44100.0f);
    EXPECT_FLOAT_EQ(p.effect->getParameter(p.effect, 0x20001), 1024.0f);
    EXPECT_EQ(p.text(effGetParamDisplay, 0x20002), "");
    EXPECT_EQ(p.text(effGetParamDisplay, 5), "");
    EXPECT_FLOAT_EQ(p.effect->getParameter(p.effect, 80), 0.0f);
}

TEST(PluginObject, FallbackParameterNames) {
    Instance p;
    EXPECT_EQ(p.text(effGetParamName, 0), "Sat 0 (X)");
    EXPECT_EQ(p.text(effGetParamName, 63), "Sat 31 (Y)");
    EXPECT_EQ(p.text(effGetParamName, 68), "Planet 2 (Pan)");
    EXPECT_EQ(p.text(effGetParamName, 69), "Planet 2 (Level)");
    EXPECT_EQ(p.text(effGetParamName, 80), "");
}

TEST(PluginObject, StandaloneHostIsRecognisedByItsVersionAnswer) {
    Instance p(kStandaloneHostVersion);
    ASSERT_NE(p.effect, nullptr);
    auto* effect = static_cast<Effect*>(p.effect->object);
    EXPECT_TRUE(effect->standaloneHost());
    EXPECT_FALSE(effect->multiOutputMode());
    EXPECT_EQ(p.effect->numOutputs, 2);
}

TEST(GainTables, AnchorPoints) {
    GainTables t;
    t.build();
    EXPECT_FLOAT_EQ(t.level[0], 1e-6f);
    EXPECT_FLOAT_EQ(t.trackLevel[0], 1e-6f);
    EXPECT_FLOAT_EQ(t.planetLevel[0], 1e-6f);
    EXPECT_FLOAT_EQ(t.crossfade[0], 1e-6f);
    EXPECT_NEAR(t.level[63], 0.25f, 1e-6);
    EXPECT_NEAR(t.level[127], 1.0f, 1e-6);
    EXPECT_NEAR(t.trackLevel[127], 2.0f, 1e-6);
    EXPECT_NEAR(t.planetLevel[63], 1.0f, 1e-6);
    EXPECT_NEAR(t.planetLevel[64], 1.0f, 1e-5);
    EXPECT_NEAR(t.planetLevel[127], 4.0f, 1e-6);
    EXPECT_NEAR(t.crossfade[31], 0.17677669f, 1e-6);
    EXPECT_NEAR(t.crossfade[1], 0.0044f, 0.0001);
    EXPECT_NEAR(t.crossfade[63], 1.0f, 1e-6);
    EXPECT_FLOAT_EQ(t.crossfade[64], 1.0f);
    // The segments meet without a step: the ratio between neighbours stays
    // close to the segment bases everywhere.
    for (int i = 2; i < 127; ++i) {
        EXPECT_GT(t.level[i], t.level[i - 1]);
        EXPECT_LT(t.level[i] / t.level[i - 1], 1.1f);
    }
    EXPECT_EQ(GainTables::index(127.9f), 127);
    EXPECT_EQ(GainTables::index(63.5f), 63);
}

TEST(GainTables, IndexClampsWhatLiesOutsideTheControlRange) {
    // A negative level is silence, never the loudest entry it would wrap to;
    // beyond 127 stays at the top instead of wrapping to silence.
    EXPECT_EQ(GainTables::index(-1.0f), 0);
    EXPECT_EQ(GainTables::index(-0.5f), 0);
    EXPECT_EQ(GainTables::index(-1.0e30f), 0);
    EXPECT_EQ(GainTables::index(128.0f), 127);
    EXPECT_EQ(GainTables::index(1.0e30f), 127);
    EXPECT_EQ(GainTables::index(std::numeric_limits<float>::infinity()), 127);
    EXPECT_EQ(GainTables::index(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(GainTables::index(std::numeric_limits<float>::quiet_NaN()), 0);
}
