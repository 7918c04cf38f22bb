#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "tests/project/project_fixture.h"

namespace {

int hookCalls = 0;
int lastHookIndex = -1;
void countHook(void* context, CInstrument& /*track*/, int index) {
    ++*static_cast<int*>(context);
    lastHookIndex = index;
}

}  // namespace

TEST(TrackParameters, MixAndMidiDescriptorsCarryTheFixedLists) {
    TestEngine e;
    CInstrument& t = addProbeTrack(e);
    const char* names[26] = {"Level",       "Pan",        "Mute",       "EQ ON",       "LP Freq",     "LP Q",
                             "LP Gain",     "BP Freq",    "BP Q",       "BP Gain",     "HP Freq",     "HP Q",
                             "HP Gain",     "Insert1 ON", "Insert2 ON", "Send1 ON",    "Send1 Level", "Send2 ON",
                             "Send2 Level", "Send3 ON",   "Send3 Level", "Send4 ON",   "Send4 Level", "Synchro",
                             "CrossfadeA",  "CrossfadeB"};
    std::set<uint32_t> colours;
    for (int i = 0; i < 26; ++i) {
        const ParameterDescriptor& d = t.mixParameter(i);
        EXPECT_STREQ(d.name, names[i]);
        EXPECT_EQ(d.kind, kParameterKindMix);
        EXPECT_EQ(d.index, i);
        for (int shift : {0, 8, 16}) {
            const uint32_t c = (d.colourRgb >> shift) & 0xFF;
            EXPECT_GE(c, 128u);
            EXPECT_LE(c, 191u);
        }
        colours.insert(d.colourRgb);
    }
    EXPECT_GT(colours.size(), 1u);
    EXPECT_EQ(t.mixParameter(2).stepCount, 2.0f);
    EXPECT_EQ(t.mixParameter(16).displayCode, 6);
    EXPECT_EQ(t.mixParameter(6).minimum, -1.0f);
    EXPECT_STREQ(t.midiParameter(3).name, "ProgramChange");
    EXPECT_EQ(t.midiParameter(3).displayCode, 7);
    EXPECT_EQ(t.midiParameter(4).maximum, 127.0f);
}

TEST(TrackParameters, SettingAMixParameterMapsItsRangeAndCallsTheHook) {
    TestEngine e;
    CInstrument& t = addProbeTrack(e);
    int calls = 0;
    t.setMixChangeHook(&countHook, &calls);
    t.setMixParameter(1, 0.75f);
    EXPECT_FLOAT_EQ(t.pan.load(), 0.5f);
    t.setMixParameter(0, 0.5f);
    EXPECT_FLOAT_EQ(t.level.load(), 63.5f);
    t.setMixParameter(22, 1.0f);
    EXPECT_FLOAT_EQ(t.sendLevel[3].load(), 127.0f);
    t.setMixParameter(12, 0.0f);
    EXPECT_FLOAT_EQ(t.bandGain[2].load(), -1.0f);
    EXPECT_FLOAT_EQ(t.mixParameterValue(12), -1.0f);
    t.setMixParameter(25, 1.0f);
    EXPECT_EQ(t.crossfadeB.load(), 1.0f);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(lastHookIndex, 25);
    t.setMixParameter(26, 1.0f);
    t.setMixParameter(-1, 1.0f);
    EXPECT_EQ(calls, 5);
    EXPECT_TRUE(t.changed.load());
    (void)hookCalls;
}

TEST(TrackParameters, ResetRestoresTheDefaults) {
    TestEngine e;
    CInstrument& t = addProbeTrack(e);
    t.level = 5.0f;
    t.midiChannel = 4;
    t.keyTransposition = 0.0f;
    t.patterns.patterns[2].notes.push_back(PatternNote{1, 1, 60, 100});
    t.balls.clear();
    t.reset();
    EXPECT_FLOAT_EQ(t.level.load(), 73.67f);
    EXPECT_EQ(t.midiChannel, 1);
    EXPECT_EQ(t.keyTransposition.load(), 255.0f);
    EXPECT_TRUE(t.patterns.patterns[2].notes.empty());
    EXPECT_EQ(t.balls.count(), 4);
    EXPECT_EQ(t.passModWheel, 1);
    EXPECT_NEAR(t.bandResonance[1].load(), 0.707f, 1e-6f);
    EXPECT_TRUE(t.mainSlot().loaded());  // the main slot stays
}
