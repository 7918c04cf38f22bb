// Parameters as the host sees them, program store, and the preset and bank
// chunks byte for byte, including the older bank form and the repairs.
#include <gtest/gtest.h>

#include "tests/synth/synth_test_host.h"

namespace {

using namespace synth;
using synth_test::SynthHost;

float floatAt(const std::vector<char>& bytes, size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}
void putFloat(std::vector<char>& bytes, size_t offset, float v) { std::memcpy(bytes.data() + offset, &v, 4); }

TEST(SynthDescriptor, BothFlavoursIdentifyThemselves) {
    SynthHost one("KavoSynthI");
    SynthHost two("KavoSynthII");
    ASSERT_TRUE(one.ok());
    ASSERT_TRUE(two.ok());
    EXPECT_EQ(one.fx()->numParams, 68);
    EXPECT_EQ(one.fx()->numPrograms, 128);
    EXPECT_EQ(one.fx()->numInputs, 0);
    EXPECT_EQ(one.fx()->numOutputs, 2);
    EXPECT_EQ(one.fx()->uniqueID, ('4' << 24) | ('5' << 16) | ('1' << 8) | 't');
    EXPECT_EQ(one.dispatch(effGetPlugCategory), 2);
    EXPECT_EQ(two.fx()->numParams, 1072);
    EXPECT_EQ(two.fx()->numPrograms, 16);
    EXPECT_EQ(two.fx()->uniqueID, ('1' << 24) | ('x' << 16) | ('5' << 8) | 'd');
    char text[64] = {};
    one.dispatch(effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "KAVO synth I (2.1)");
    two.dispatch(effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "KAVO synth II");
    EXPECT_EQ(one.fx()->flags & (effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth),
              effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
}

TEST(SynthParameters, SelectorsStoreQuantisedValues) {
    SynthHost h;
    h.set(kDco1LfoFrequency, 0.34f);
    EXPECT_FLOAT_EQ(h.get(kDco1LfoFrequency), 1.0f / 3.0f);
    EXPECT_EQ(h.display(kDco1LfoFrequency), "LFO1");
    EXPECT_EQ(h.synth().program(0).values[kDco1LfoFrequency * 16], 1.0f);
    h.set(kDco1LfoFrequency, 0.66f);
    EXPECT_FLOAT_EQ(h.get(kDco1LfoFrequency), 2.0f / 3.0f);
    EXPECT_EQ(h.display(kDco1LfoFrequency), "LFO2");
    h.set(kDco1LfoFrequency, 1.0f);
    EXPECT_FLOAT_EQ(h.get(kDco1LfoFrequency), 1.0f);
    EXPECT_EQ(h.display(kDco1LfoFrequency), "LFO2");  // stored 3: shown as LFO2, no modulation
    h.set(kDco1LfoFrequency, 0.3f);
    EXPECT_EQ(h.get(kDco1LfoFrequency), 0.0f);
    EXPECT_EQ(h.display(kDco1LfoFrequency), "off");
    // Other values are stored as received.
    h.set(kFilterQ, 0.123f);
    EXPECT_EQ(h.get(kFilterQ), 0.123f);
    // Out of range indices.
    h.set(68, 0.5f);
    EXPECT_EQ(h.get(68), 0.0f);
    EXPECT_EQ(h.display(68), "");
}

TEST(SynthParameters, NamesAndDisplays) {
    SynthHost h;
    EXPECT_EQ(h.name(0), "DCO1 Wave");
    EXPECT_EQ(h.name(40), "FILTER LfoFrequency");
    EXPECT_EQ(h.name(67), "MONO Mode");
    struct Case {
        int param;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {kDco1Wave, 0.1f, "Sin"},        {kDco1Wave, 0.5f, "Pulse"},      {kDco1Wave, 1.0f, "Noise"},
        {kDco2Wave, 0.7f, "Ring Mod"},   {kDco2Wave, 1.0f, "FM"},         {kDco1Pulse, 0.5f, "75%"},
        {kDco1Coarse, 0.0f, "-72"},      {kDco1Fine, 1.0f, "100"},        {kDco2PitchBend, 0.75f, "12"},
        {kDco1Sync, 1.0f, "on"},         {kDco1Sync, 0.99f, "off"},       {kDco1Glissando, 0.25f, "0.25"},
        {kDco1EnvFreq, 0.75f, "0.50"},   {kDcoMix, 0.0f, "-1.00"},        {kDcoEnvAttack, 0.0f, "2ms"},
        {kDcoEnvDecay, 1.0f, "10000ms"}, {kFilterPente, 0.4f, "24dB"},    {kFilterPente, 0.5f, "48dB"},
        {kFilterFrequency, 1.0f, "16000Hz"}, {kFilterFrequency, 0.0f, "10Hz"},
        {kLfo1Wave, 0.7f, "Saw Up"},     {kLfo2Wave, 0.7f, "Square"},     {kLfo2Wave, 1.0f, "S/H"},
        {kLfo1Delay, 0.0f, "0"},         {kLfo1Delay, 1.0f, "2000ms"},    {kLfo1Rate, 0.0f, "25.00s"},
        {kLfo1Rate, 1.0f, "0.05s"},      {kOutLevel, 1.0f, "6.0dB"},      {kOutBalance, 0.5f, "0.00"},
        {kMonoMode, 0.0f, "off"},
    };
    for (const Case& c : cases) {
        h.set(c.param, c.value);
        EXPECT_EQ(h.display(c.param), c.text) << paramName(c.param) << " " << c.value;
    }
}

TEST(SynthPrograms, NamesCopiesAndRange) {
    SynthHost h;
    char name[64] = "A name that is far too long for the field";
    h.dispatch(effSetProgramName, 0, 0, name);
    char back[64] = {};
    h.dispatch(effGetProgramName, 0, 0, back);
    EXPECT_EQ(std::string(back), std::string(name).substr(0, 23));
    h.set(kFilterQ, 0.9f);
    EXPECT_EQ(h.dispatch(effCopyProgram, 7), 1);
    EXPECT_EQ(h.dispatch(effCopyProgram, 128), 0);
    h.dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(h.get(kFilterQ), 0.9f);
    h.dispatch(effGetProgramNameIndexed, 7, 0, back);
    EXPECT_EQ(std::string(back), std::string(name).substr(0, 23));
    EXPECT_EQ(h.dispatch(effGetProgramNameIndexed, 128, 0, back), 0);
    h.dispatch(effSetProgram, 0, 200);  // ignored
    EXPECT_EQ(h.dispatch(effGetProgram), 7);
    h.dispatch(effGetProgramNameIndexed, 3, 0, back);
    EXPECT_STREQ(back, "-");
}

TEST(SynthChunks, PresetChunkIsEveryParameterAsTheHostSeesIt) {
    SynthHost h;
    h.set(kFilterLfoQ, 0.7f);  // stored 2, seen as 2/3
    h.set(kFilterQ, 0.42f);
    h.set(kMonoMode, 1.0f);
    const auto preset = h.chunk(true);
    ASSERT_EQ(preset.size(), 272u);
    EXPECT_FLOAT_EQ(floatAt(preset, 4 * kFilterLfoQ), 2.0f / 3.0f);
    EXPECT_EQ(floatAt(preset, 4 * kFilterQ), 0.42f);
    EXPECT_EQ(floatAt(preset, 4 * kMonoMode), 1.0f);

    SynthHost other;
    EXPECT_EQ(other.setChunk(preset, true), 1);
    EXPECT_EQ(other.chunk(true), preset);
    EXPECT_TRUE(other.synth().monoMode());
    for (size_t bad : {271u, 273u, 0u}) {
        std::vector<char> wrong(bad, 0);
        EXPECT_EQ(other.setChunk(wrong, true), 0) << bad;
    }
    EXPECT_EQ(other.chunk(true), preset);

    SynthHost two("KavoSynthII");
    EXPECT_EQ(two.chunk(true).size(), 4288u);
}

TEST(SynthChunks, BankLayoutFlavourI) {
    SynthHost h;
    char name[] = "Lead";
    h.dispatch(effSetProgram, 0, 1);
    h.dispatch(effSetProgramName, 0, 0, name);
    h.set(kDco1Pulse, 0.3f);
    h.set(kOutLfoLevel, 0.4f);  // stored 1
    h.set(kMonoMode, 1.0f);
    const auto bank = h.chunk(false);
    ASSERT_EQ(bank.size(), 128u * 296u);
    ASSERT_EQ(h.synth().bankChunkSize(), 37888);
    const size_t p1 = 296;
    EXPECT_STREQ(bank.data() + p1, "Lead");
    EXPECT_EQ(bank[p1 + 23], 0);
    EXPECT_EQ(floatAt(bank, p1 + 24 + 4 * kDco1Pulse), 0.3f);
    EXPECT_EQ(floatAt(bank, p1 + 24 + 4 * kOutLfoLevel), 1.0f);  // stored form
    EXPECT_EQ(floatAt(bank, p1 + 24 + 4 * kPartParams), 1.0f);  // MONO
    EXPECT_STREQ(bank.data(), "-");
    EXPECT_EQ(floatAt(bank, 24 + 4 * kOutLevel), 0.84f);
}

TEST(SynthChunks, BankLayoutFlavourII) {
    SynthHost h("KavoSynthII");
    h.set(3 * kPartParams + kFilterQ, 0.77f);
    const auto bank = h.chunk(false);
    ASSERT_EQ(bank.size(), 16u * (4u * 1072u + 24u) + 64u);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(floatAt(bank, 4 * static_cast<size_t>(k)), 36.0f + k);
    EXPECT_STREQ(bank.data() + 64, "-");
    EXPECT_EQ(floatAt(bank, 64 + 24 + 4 * (3 * kPartParams + kFilterQ)), 0.77f);
    EXPECT_EQ(floatAt(bank, 64 + 24 + 4 * (2 * kPartParams + kFilterQ)), 0.2f);
}

TEST(SynthChunks, BankRoundTripIsByteExact) {
    for (const char* key : {"KavoSynthI", "KavoSynthII"}) {
        SynthHost a(key);
        const int per = a.synth().paramsPerPart();
        for (int p = 0; p < 16; ++p) {
            a.dispatch(effSetProgram, 0, p % a.fx()->numPrograms);
            a.set((p % a.synth().parts()) * per + kFilterFrequency, 0.05f * p);
            a.set((p % a.synth().parts()) * per + kLfo2Delay, 0.5f);
            a.set((p % a.synth().parts()) * per + kOutLfoBalance, 0.7f);  // uses LFO2: no vibrato repair
        }
        a.dispatch(effSetProgram, 0, 0);
        // Loading a bank repairs it once; from then on it is stable.
        ASSERT_EQ(a.setChunk(a.chunk(false), false), 1);
        const auto bank = a.chunk(false);
        SynthHost b(key);
        ASSERT_EQ(b.setChunk(bank, false), 1) << key;
        EXPECT_EQ(b.chunk(false), bank) << key;
        EXPECT_EQ(b.chunk(true), a.chunk(true)) << key;
    }
}

TEST(SynthChunks, WrongBankSizesAreRefusedAndChangeNothing) {
    SynthHost h;
    const auto before = h.chunk(false);
    for (size_t size : {37887u, 37889u, 38399u, 38401u, 296u, 1u}) {
        std::vector<char> bytes(size, 0x41);
        EXPECT_EQ(h.setChunk(bytes, false), 0) << size;
    }
    EXPECT_EQ(h.chunk(false), before);
    SynthHost two("KavoSynthII");
    for (size_t size : {69055u, 69057u, 68992u}) {
        std::vector<char> bytes(size, 0);
        EXPECT_EQ(two.setChunk(bytes, false), 0) << size;
    }
}

TEST(SynthChunks, RepairsCentreBendAndAddWheelVibrato) {
    SynthHost h;
    auto bank = h.chunk(false);
    // Program 2: PitchBend 0.5 on both oscillators, no LFO2 use.
    const size_t p2 = 2 * 296 + 24;
    putFloat(bank, p2 + 4 * kDco1PitchBend, 0.5f);
    putFloat(bank, p2 + 4 * kDco2PitchBend, 0.51f);
    // Program 3 uses LFO2 for the filter: left alone, bend 0.47 too.
    const size_t p3 = 3 * 296 + 24;
    putFloat(bank, p3 + 4 * kFilterLfoFrequency, 2.0f);
    putFloat(bank, p3 + 4 * kDco1PitchBend, 0.47f);
    ASSERT_EQ(h.setChunk(bank, false), 1);
    const SynthProgram& two = h.synth().program(2);
    EXPECT_EQ(two.values[kDco1PitchBend * 16], 0.75f);
    EXPECT_EQ(two.values[kDco2PitchBend * 16], 0.75f);
    EXPECT_EQ(two.values[kLfo2Rate * 16], 0.81321675f);
    EXPECT_EQ(two.values[kLfo2Depth * 16], 0.49648017f);
    EXPECT_EQ(two.values[kLfo2ModWheel * 16], 1.0f);
    EXPECT_EQ(two.values[kDco1LfoFrequency * 16], 2.0f);
    EXPECT_EQ(two.values[kDco2LfoFrequency * 16], 2.0f);
    const SynthProgram& three = h.synth().program(3);
    EXPECT_EQ(three.values[kDco1PitchBend * 16], 0.47f);
    EXPECT_EQ(three.values[kDco1LfoFrequency * 16], 0.0f);
    EXPECT_EQ(three.values[kLfo2ModWheel * 16], 0.0f);

    // The repaired bend range is an octave: full bend up sounds 12 semitones up.
    h.dispatch(effSetProgram, 0, 2);
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvSustain, 1.0f);
    h.noteOn(57);
    h.send({{0, 0xE0, 0, 127}});
    h.render(4096);
    const auto x = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(x, 44100), 220.0 * std::pow(2.0, 12.0 * 63.0 / 64.0 / 12.0), 0.2);
}

TEST(SynthChunks, LegacyBankConverts) {
    SynthHost h;
    ASSERT_EQ(h.synth().legacyBankChunkSize(), 38400);
    std::vector<char> bank(38400, 0);
    auto f = [&](int program, int i, float v) { putFloat(bank, static_cast<size_t>(program) * 300 + 24 + 4 * i, v); };
    std::memcpy(bank.data(), "Old Strings", 12);
    for (int i = 0; i < 69; ++i) f(0, i, 0.01f * i);  // each f[i] recognisable
    f(0, 12, 0.8f);   // a1 louder
    f(0, 31, 0.4f);   // a2
    f(0, 6, 0.5f);    // DCO1 PitchBend: repaired
    f(0, 68, 1.0f);   // MONO
    // Program 1: the second oscillator is louder, its envelope wins.
    f(1, 12, 0.3f);
    f(1, 31, 0.6f);
    for (int i = 15; i <= 18; ++i) f(1, i, 0.1f);
    for (int i = 34; i <= 37; ++i) f(1, i, 0.9f);
    // Programs 2..4: mix edge cases.
    f(2, 12, 0.5f);
    f(2, 31, 0.01f);
    f(3, 12, 0.01f);
    f(3, 31, 0.5f);
    f(4, 12, 0.5f);
    f(4, 31, 0.5f);
    ASSERT_EQ(h.setChunk(bank, false), 1);

    const SynthProgram& p = h.synth().program(0);
    auto v = [&](const SynthProgram& prog, int param) { return prog.values[param * 16]; };
    EXPECT_STREQ(p.name, "Old Strings");
    EXPECT_FLOAT_EQ(v(p, kDco1Pulse), 0.01f);
    EXPECT_FLOAT_EQ(v(p, kDco1PitchBend), 0.75f);
    EXPECT_FLOAT_EQ(v(p, kDco1OutputEnv), 0.11f);
    EXPECT_FLOAT_EQ(v(p, kDco2Wave), 0.19f);
    EXPECT_FLOAT_EQ(v(p, kDco2OutputEnv), 0.30f);
    EXPECT_FLOAT_EQ(v(p, kFilterDco1), 0.38f);
    EXPECT_FLOAT_EQ(v(p, kLfo1ModWheel), 0.57f);
    EXPECT_EQ(v(p, kLfo2ModWheel), 1.0f);  // no LFO2 in use: wheel vibrato added
    EXPECT_FLOAT_EQ(v(p, kOutVelocity), 0.13f);
    EXPECT_FLOAT_EQ(v(p, kOutEnvAttack), 0.15f);
    EXPECT_FLOAT_EQ(v(p, kOutEnvRelease), 0.18f);
    EXPECT_FLOAT_EQ(v(p, kOutLevel), 0.64f);
    EXPECT_FLOAT_EQ(v(p, kOutBalance), 0.65f);
    EXPECT_FLOAT_EQ(v(p, kDco1EnvFreq), 0.5f);
    EXPECT_FLOAT_EQ(v(p, kDco2EnvFreq), 0.5f);
    EXPECT_FLOAT_EQ(v(p, kDcoSynchro), 0.0f);
    EXPECT_FLOAT_EQ(v(p, kDcoEnvAttack), 0.0f);
    EXPECT_FLOAT_EQ(v(p, kDcoEnvDecay), 0.2f);
    EXPECT_FLOAT_EQ(v(p, kDcoEnvSustain), 0.2f);
    EXPECT_FLOAT_EQ(v(p, kDcoEnvRelease), 0.3f);
    EXPECT_FLOAT_EQ(v(p, kDcoMix), 0.25f);  // 0.4 / 0.8 * 0.5
    EXPECT_EQ(p.mono, 1.0f);

    const SynthProgram& p1 = h.synth().program(1);
    EXPECT_EQ(v(p1, kOutEnvAttack), 0.9f);
    EXPECT_FLOAT_EQ(v(p1, kDcoMix), 0.75f);  // 1 - 0.3 / 0.6 * 0.5
    EXPECT_EQ(v(h.synth().program(2), kDcoMix), 0.0f);
    EXPECT_EQ(v(h.synth().program(3), kDcoMix), 1.0f);
    EXPECT_FLOAT_EQ(v(h.synth().program(4), kDcoMix), 0.5f);

    // The current program (0) is applied, mono included.
    EXPECT_EQ(h.get(kMonoMode), 1.0f);
    EXPECT_EQ(h.get(kOutLevel), 0.64f);
    // Saved again, it is a bank of the current form.
    EXPECT_EQ(h.chunk(false).size(), 37888u);
}

TEST(SynthChunks, DamagedValuesNeverReachTheEngine) {
    SynthHost h;
    auto bank = h.chunk(false);
    const float nan = std::nanf("");
    for (size_t off = 24; off + 4 <= 296; off += 4) putFloat(bank, off, nan);
    putFloat(bank, 296 + 24 + 4 * kOutLevel, 1e30f);
    ASSERT_EQ(h.setChunk(bank, false), 1);
    EXPECT_EQ(h.get(kOutLevel), 0.84f);  // NaN takes the parameter's default
    h.noteOn(60);
    const auto x = h.render(4096);
    for (float s : x) ASSERT_TRUE(std::isfinite(s));
    h.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(h.get(kOutLevel), 1.0f);
}

}  // namespace
