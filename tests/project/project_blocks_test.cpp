#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "modulehost/cplugin.h"
#include "tests/project/project_fixture.h"

namespace {

constexpr int kCutoff = 37;  // "FILTER Frequency"

std::string programName(CPlugin& slot) { return slot.programName(); }

std::string namedBank() {
    return synthBankImage([](AudioEffectX& s) {
        s.setProgram(5);
        char name[] = "Deep";
        s.setProgramName(name);
        s.setParameter(kCutoff, 0.125f);
        s.setProgram(0);
        s.setParameter(kCutoff, 0.75f);
    });
}

}  // namespace

TEST(ProjectBlocks, PresetBlockLoadsTheBankThenSelectsTheProgram) {
    TestEngine e;
    e.load(synthTrack(presetBlock("PLUGIN_PRESET", namedBank(), 5)));
    CPlugin& slot = e.track(0).mainSlot();
    EXPECT_EQ(programName(slot), "Deep");
    EXPECT_FLOAT_EQ(slot.getParameter(kCutoff), 0.125f);
}

TEST(ProjectBlocks, PresetIndexBeyondTheProgramCountKeepsTheProgram) {
    TestEngine e;
    e.load(synthTrack(presetBlock("PLUGIN_PRESET", namedBank(), 128)));
    CPlugin& slot = e.track(0).mainSlot();
    EXPECT_EQ(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), 0);
    EXPECT_FLOAT_EQ(slot.getParameter(kCutoff), 0.75f);  // the bank did load
}

TEST(ProjectBlocks, ImageForAnotherModuleIsSkippedAndReadingGoesOn) {
    std::string image = namedBank();
    std::memcpy(&image[16], "7v60", 4);  // the chorus's ID
    TestEngine e;
    e.load(synthTrack(presetBlock("PLUGIN_PRESET", image) + line("TITLE", {"after"})));
    EXPECT_NE(e.track(0).mainSlot().getParameter(kCutoff), 0.75f);
    EXPECT_EQ(e.track(0).title, "after");
}

TEST(ProjectBlocks, RawCountsBeyondTheDataOrNegativeAreRefused) {
    for (const char* count : {"999999", "-5", "2147483647"}) {
        const std::string text = synthTrack(line("PLUGIN_PRESET", {"START"}) + line("PRESET_SIZE", {count}) +
                                            "CcnK\r\n" + line("PRESET", {"END"}) + line("TITLE", {"tail"}) +
                                            line("PLUGIN_PRESET", {count}) + line("PRESET_ADD") +
                                            line("PRESET_PLUGIN_PARAMS", {count}) + line("LEVEL", {"12"}));
        TestEngine e;
        e.load(text);
        ASSERT_EQ(e.project().tracks.size(), 1u) << count;
        EXPECT_EQ(e.track(0).title, "tail");
        EXPECT_FLOAT_EQ(e.track(0).level.load(), 12.0f);
        ASSERT_EQ(e.track(0).presets.size(), 1u);
        EXPECT_TRUE(e.track(0).presets[0].moduleStates[0].empty());
    }
}

TEST(ProjectBlocks, ProgramChunkWithACountSetsTheMainModule) {
    const std::string chunk = synthProgramChunk([](AudioEffectX& s) { s.setParameter(kCutoff, 0.3125f); });
    TestEngine e;
    e.load(synthTrack(line("PLUGIN_PRESET", {std::to_string(chunk.size())}) + chunk + "\r\n" +
                      line("TITLE", {"after"})));
    EXPECT_FLOAT_EQ(e.track(0).mainSlot().getParameter(kCutoff), 0.3125f);
    EXPECT_EQ(e.track(0).title, "after");
}

TEST(ProjectBlocks, PresetBlockOfAnEmptySlotIsNotTakenForText) {
    // The bytes of the image spell project lines; they must not be read.
    std::string image = namedBank() + "\r\nPLUGIN;\\PluginInstruments\\KavoSynthI.dll;\r\n";
    TestEngine e;
    e.load(line("MASTER_INSERT1_PLUGIN", {"\\PluginEffects\\KavoNothing.dll"}) +
           presetBlock("MASTER_INSERT_PRESET_1", image, 0) + synthTrack(presetBlock("INSERT_PRESET_2", image)) +
           line("TEMPO", {"99"}));
    EXPECT_EQ(e.project().tracks.size(), 1u);
    EXPECT_FLOAT_EQ(e.effect->projectTempo.load(), 99.0f);
}

TEST(ProjectBlocks, ModuleParametersAndTheirEvents) {
    const std::string body = line("EVENT_PLUGIN_PARAM", {"37", "38", "5000"}) +
                             line("PLUGIN_PARAM_EVENTS", {"START"}) + line("PARAM_EVENTS", {"1", "0", "0.5", "4", "0.25", "9"}) +
                             line("PARAM_EVENTS", {"3", "0", "1"}) + line("PARAM_EVENTS", {"END"}) +
                             line("MIX_EVENTS", {"0", "1", "64", "2"}) + line("MIX_EVENTS", {"26", "1", "2"});
    TestEngine e;
    e.load(synthTrack(body));
    CInstrument& t = e.track(0);
    const auto& list = t.mainSlot().parameterDescriptors();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_STREQ(list[0].name, "FILTER Frequency");
    EXPECT_EQ(list[1].index, 38);
    EXPECT_FLOAT_EQ(list[0].value, t.mainSlot().getParameter(37));
    EXPECT_STREQ(list[2].name, "");  // no such parameter: nothing asked of the module
    EXPECT_EQ(list[2].index, 5000);
    ASSERT_EQ(list[1].events.size(), 2u);  // the unpaired 9 is dropped
    EXPECT_FLOAT_EQ(list[1].events[1].position, 4.0f);
    EXPECT_FLOAT_EQ(list[1].events[1].value, 0.25f);
    ASSERT_EQ(t.mixParameter(0).events.size(), 1u);
    EXPECT_FLOAT_EQ(t.mixParameter(0).events[0].value, 64.0f);
}

TEST(ProjectBlocks, PatternBlockFillsThePatternStore) {
    const std::string body =
        line("EVENT_PLUGIN_PARAM", {"37"}) + line("PATTERNS", {"START"}) + line("STEPNUMBER_MODE", {"49", "2", "0.2500"}) +
        line("PLUGIN_NAME", {"KAVO synth I"}) +
        line("PATTERN_NOTES", {"3", "32", "1", "4.5", "60", "2", "100", "0", "48", "1", "90", "7"}) +
        line("PATTERN_NOTES", {"16", "8", "0", "0", "1", "1", "1"}) + line("PATTERN_NOTES", {"-1", "8", "0"}) +
        line("PATTERN_MIXPARAM_EVENTS", {"3", "1", "0", "0.5"}) + line("PATTERN_MIDIPARAM_EVENTS", {"40", "4", "2", "127"}) +
        line("PATTERN_MIDIPARAM_EVENTS", {"64", "0", "2", "127"}) + line("PATTERN_PLUGINPARAM_EVENTS", {"3", "0", "1", "0.9"}) +
        line("PATTERNS", {"END"}) + line("PATTERN_RANDOM", {"12", "2", "36", "1", "0", "1", "38", "0.5", "127"});
    TestEngine e;
    e.load(synthTrack(body));
    CInstrument& t = e.track(0);
    const PatternStore& s = t.patterns;
    EXPECT_EQ(s.stepMode[0], 0.0f);
    EXPECT_EQ(s.stepMode[1], 1.0f);
    EXPECT_FLOAT_EQ(s.swing, 0.25f);
    EXPECT_EQ(t.stepNumber, 256);
    const Pattern& p = s.patterns[3];
    EXPECT_FLOAT_EQ(p.lengthSteps, 32.0f);
    EXPECT_EQ(p.chain, 1);
    ASSERT_EQ(p.notes.size(), 2u);  // the trailing 7 is no group
    // Kept in position order; the file writes position, key, length, velocity.
    EXPECT_FLOAT_EQ(p.notes[0].position, 0.0f);
    EXPECT_EQ(p.notes[0].key, 48);
    EXPECT_FLOAT_EQ(p.notes[1].position, 4.5f);
    EXPECT_EQ(p.notes[1].key, 60);
    EXPECT_FLOAT_EQ(p.notes[1].length, 2.0f);
    EXPECT_EQ(p.notes[1].velocity, 100);
    for (int i = 0; i < kNumPatterns; ++i) {
        if (i != 3) {
            EXPECT_TRUE(s.patterns[i].notes.empty());
        }
    }
    EXPECT_EQ(t.mixParameter(1).lanes[3].size(), 1u);
    EXPECT_EQ(t.midiParameter(4).lanes[40].size(), 1u);
    EXPECT_TRUE(t.midiParameter(0).lanes[63].empty());
    EXPECT_EQ(t.mainSlot().parameterDescriptors()[0].lanes[3].size(), 1u);
    // PATTERN_RANDOM fills the edit pattern.
    EXPECT_FLOAT_EQ(s.editPattern.lengthSteps, 12.0f);
    ASSERT_EQ(s.editPattern.notes.size(), 2u);
    EXPECT_EQ(s.editPattern.notes[0].key, 38);
    EXPECT_EQ(s.editPattern.notes[1].velocity, 0);
}

TEST(ProjectBlocks, PluginParameterLanesNeedTheMatchingModuleName) {
    const std::string body = line("EVENT_PLUGIN_PARAM", {"37"}) + line("PATTERNS", {"START"}) +
                             line("PLUGIN_NAME", {"KAVO Sampler"}) +
                             line("PATTERN_PLUGINPARAM_EVENTS", {"0", "0", "1", "0.9"}) + line("PATTERNS", {"END"});
    TestEngine e;
    e.load(synthTrack(body));
    EXPECT_TRUE(e.track(0).mainSlot().parameterDescriptors()[0].lanes[0].empty());
}

TEST(ProjectBlocks, TrackPresetsAreKeptWithTheirTrack) {
    const std::string body = line("PRESET_LEVEL", {"5"}) +  // before any PRESET_ADD: ignored
                             line("PRESET_ADD") + line("PRESET_LEVEL", {"99.5"}) + line("PRESET_EQ2_FREQ", {"10.3617"}) +
                             line("PRESET_STEPNUMBER_MODE", {"0", "3", "0.5"}) +
                             line("PRESET_PATTERN_NOTES", {"15", "24", "1", "1", "60", "2", "100"}) +
                             line("PRESET_PATTERN_NOTES", {"16", "24", "1"}) + line("PRESET_KEYBOARD_KEYS", {"36", "40"}) +
                             line("PRESET_BALL", {"10", "28", "2"}) + line("PRESET_BALL_FLY", {"1", "0.5", "0.7"}) +
                             line("PRESET_PARAM_HORZ", {"0", "38", "0", "128"}) +
                             line("PRESET_PATTERN_MIXPARAM_EVENTS", {"2", "0", "1", "64", "3"}) +
                             line("PRESET_INSERT1_PARAMS", {"4"}) + "ABCD\r\n" + line("PRESET_ADD") +
                             line("PRESET_MUTE", {"1"});
    TestEngine e;
    e.load(synthTrack(body));
    const CInstrument& t = e.track(0);
    ASSERT_EQ(t.presets.size(), 2u);
    const TrackPreset& p = t.presets[0];
    EXPECT_FLOAT_EQ(p.level, 99.5f);
    EXPECT_NEAR(p.bandFrequency[1], 0.4816f, 0.0005f);
    EXPECT_EQ(p.stepMode[0], 0.0f);
    EXPECT_EQ(p.stepMode[2], 1.0f);
    EXPECT_EQ(p.patterns[15].notes.size(), 1u);
    EXPECT_EQ(p.keyboardKeys, std::vector<int>({36, 40}));
    ASSERT_EQ(p.balls.size(), 4u);  // padded after loading
    EXPECT_FLOAT_EQ(p.balls[0].y.load(), 100.0f);
    EXPECT_FLOAT_EQ(p.balls[0].flyDirection.load(), 0.0f);  // read as an integer
    ASSERT_EQ(p.balls[0].horizontal.size(), 1u);
    EXPECT_FALSE(p.balls[0].horizontal[0].resonance);  // presets do not mark resonance
    ASSERT_EQ(p.mixParameters.size(), 26u);
    EXPECT_EQ(p.mixParameters[0].lanes[2].size(), 1u);
    EXPECT_EQ(std::string(p.moduleStates[1].begin(), p.moduleStates[1].end()), "ABCD");
    EXPECT_FLOAT_EQ(t.presets[1].mute, 1.0f);
    EXPECT_FLOAT_EQ(t.presets[1].level, 0.0f);
    // The track's own balls are not touched by preset balls.
    EXPECT_FALSE(t.balls.ball(0).hasTargets());
}
