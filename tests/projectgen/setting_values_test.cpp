// Values written with units reach the module as what its own display then
// shows; keys written as names are the keys musicians mean.
#include <gtest/gtest.h>

#include <string>

#include "tools/projectgen/module_state.h"
#include "tools/projectgen/note_names.h"
#include "tools/projectgen/setting_values.h"

namespace {

using projectgen::settingValue;

// The module's display after the written value was set.
std::string shown(const char* title, const char* parameter, const char* text) {
    projectgen::ModuleState module(title);
    const projectgen::SettingValue v = settingValue(title, parameter, text);
    EXPECT_EQ(v.error, "") << parameter << " = " << text;
    module.setIndex(module.parameterIndex(parameter), v.value);
    return module.display(module.parameterIndex(parameter));
}

TEST(SettingValues, SynthUnitsReadBackInTheModulesOwnDisplay) {
    EXPECT_EQ(shown("KavoSynthI", "FILTER Frequency", "260 Hz"), "260Hz");
    EXPECT_EQ(shown("KavoSynthI", "FILTER Frequency", "4000 Hz"), "4000Hz");
    EXPECT_EQ(shown("KavoSynthI", "OUTPUT Level", "-9 dB"), "-9.0dB");
    EXPECT_EQ(shown("KavoSynthI", "DCO2 Coarse", "+7 st"), "7");
    EXPECT_EQ(shown("KavoSynthI", "DCO2 Coarse", "-12 st"), "-12");
    EXPECT_EQ(shown("KavoSynthI", "DCO1 Fine", "-7 cents"), "-7");
    EXPECT_EQ(shown("KavoSynthI", "FILTER Envelop", "+0.55 bipolar"), "0.55");
    EXPECT_EQ(shown("KavoSynthI", "OUTPUT EnvAttack", "700 ms"), "700ms");
    EXPECT_EQ(shown("KavoSynthI", "OUTPUT EnvRelease", "1800 ms"), "1800ms");
    EXPECT_EQ(shown("KavoSynthI", "DCO1 Wave", "saw"), "Saw");
    EXPECT_EQ(shown("KavoSynthI", "DCO2 Wave", "ring"), "Ring Mod");
    EXPECT_EQ(shown("KavoSynthI", "DCO2 Wave", "fm"), "FM");
    EXPECT_EQ(shown("KavoSynthI", "FILTER Type", "band-pass"), "Band Pass");
    EXPECT_EQ(shown("KavoSynthI", "DCO1 LfoFrequency", "lfo2"), "LFO2");
    EXPECT_EQ(shown("KavoSynthI", "MONO Mode", "on"), "on");
    EXPECT_EQ(shown("KavoDelay", "Step", "3 steps"), "3");
    EXPECT_EQ(shown("KavoDelay", "Step", "8 steps"), "8");
}

TEST(SettingValues, LfoRateAndQMapAsTheModulesCurves) {
    // LFO rate: the module shows the period; 0.25 Hz is a 4 s period.
    EXPECT_EQ(shown("KavoSynthI", "LFO1 Rate", "0.25 Hz"), "4.00s");
    EXPECT_EQ(shown("KavoSynthI", "FILTER Q", "1 Q"), "0.50");  // Q = 0.1 * 100^v
    // Drum tune 8^(v - 0.5): twelve semitones up is v = 0.5 + 12/36.
    EXPECT_FLOAT_EQ(settingValue("KavoDrums", "Tune", "+12 st").value, static_cast<float>(0.5 + 12.0 / 36.0));
}

TEST(SettingValues, PlainValuesAreSinglePrecisionLiterals) {
    EXPECT_EQ(settingValue("KavoReverb", "Size", "0.6").value, 0.6f);
    EXPECT_EQ(settingValue("KavoReverb", "Size", "1").value, 1.0f);
    EXPECT_EQ(settingValue("KavoReverb", "Size", " 0.35 ").value, 0.35f);
}

TEST(SettingValues, WrongFormsAreRefusedWithWhatTheParameterTakes) {
    const projectgen::SettingValue hz = settingValue("KavoSynthI", "FILTER Q", "300 Hz");
    EXPECT_NE(hz.error.find("is not a value of FILTER Q"), std::string::npos) << hz.error;
    EXPECT_NE(hz.error.find("with Q"), std::string::npos) << hz.error;
    EXPECT_NE(settingValue("KavoReverb", "Size", "1.5").error.find("outside 0 to 1"), std::string::npos);
    EXPECT_NE(settingValue("KavoReverb", "Size", "-0.1").error, "");
    EXPECT_NE(settingValue("KavoReverb", "Size", "nan").error, "");
    EXPECT_NE(settingValue("KavoReverb", "Size", "inf").error, "");
    EXPECT_NE(settingValue("KavoReverb", "Size", "0x1p-1").error, "");
    EXPECT_NE(settingValue("KavoReverb", "Size", "").error, "");
    EXPECT_NE(settingValue("KavoSynthI", "DCO2 Coarse", "+7.5 st").error.find("whole"), std::string::npos);
    EXPECT_NE(settingValue("KavoSynthI", "DCO1 Wave", "ring").error, "") << "ring modulation belongs to oscillator 2";
    EXPECT_NE(settingValue("KavoReverb", "Size", "260 Hz").error, "");
}

TEST(NoteNames, NamesAndNumbersGiveTheKeysMusiciansMean) {
    EXPECT_EQ(projectgen::keyFromText("C3"), 48);
    EXPECT_EQ(projectgen::keyFromText("A4"), 69);
    EXPECT_EQ(projectgen::keyFromText("F#2"), 42);
    EXPECT_EQ(projectgen::keyFromText("Bb2"), 46);
    EXPECT_EQ(projectgen::keyFromText("C-1"), 0);
    EXPECT_EQ(projectgen::keyFromText("G9"), 127);
    EXPECT_EQ(projectgen::keyFromText("60"), 60);
    for (const char* bad : {"", "H2", "G#9", "C10", "128", "C", "C#", "-1", "60a", "Cb-1", "E##3"})
        EXPECT_FALSE(projectgen::keyFromText(bad).has_value()) << bad;
    for (int key = 0; key < 128; ++key) EXPECT_EQ(projectgen::keyFromText(projectgen::keyName(key)), key);
}

}  // namespace
