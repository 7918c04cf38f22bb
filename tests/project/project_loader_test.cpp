#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "modulehost/cplugin.h"
#include "project/project_loader.h"
#include "tests/project/project_fixture.h"

namespace {

std::string toLf(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return out;
}

const std::string kMaster = line("VERSION", {"1.66"}) + line("TEMPO", {"130.000000"}) +
                            line("MASTER_LEVEL", {"100.000000"}) + line("PLAYLIST_STEP_NUMBER", {"16"}) +
                            line("SYNCHRO_ON", {"1.000000"}) + line("MASTER_TRANSPOSE", {"2.000000"}) +
                            line("CROSSFADE", {"63.000000"}) + line("PRESET_SELECTED", {"-1.000000"}) +
                            line("PRESET_MIDI", {"0", "0", "1"});

const std::string kTrackBody =
    line("TITLE", {"Bass line"}) + line("MIDIINCHANNEL", {"3"}) + line("MIDIKEYFROM", {"24"}) +
    line("MIDIKEYTO", {"96"}) + line("MIDIKEYTRANSPOSE", {"-12"}) + line("MIDIPITCH", {"0"}) +
    line("KEYBOARDON", {"1.0000"}) + line("STEPNUMBER", {"49"}) + line("LEVEL", {"90.9489"}) +
    line("PAN", {"-0.2500"}) + line("CROSSFADEB", {"1.0000"}) + line("KEY_TRANSPOSE", {"255.0000"}) +
    line("ARPEG_TEMPO", {"1.0000"}) + line("ARPEG_SWING", {"0.2500"}) + line("EFFECT2_ON", {"1.0000"}) +
    line("EFFECT2_LEVEL", {"80.0000"}) + line("EQ_ON", {"1.0000"}) + line("EQ2_FREQ", {"10.3617"}) +
    line("EQ1_RES", {"0.7070"}) + line("EQ3_GAIN", {"-0.5000"}) + line("PATTERNSELECTED", {"2.000000"}) +
    line("TITLE_COLOR", {"12345"}) + line("SCALE", {"1"});

}  // namespace

TEST(ProjectLoader, MasterValuesAndTrackSettingsLand) {
    TestEngine e;
    e.load(kMaster + synthTrack(kTrackBody));
    Effect& fx = *e.effect;
    EXPECT_FLOAT_EQ(fx.projectTempo.load(), 130.0f);
    EXPECT_FLOAT_EQ(fx.masterLevel.load(), 100.0f);
    EXPECT_FLOAT_EQ(fx.synchroSwitch.load(), 1.0f);
    EXPECT_FLOAT_EQ(fx.liveTransposition.load(), 2.0f);
    EXPECT_FLOAT_EQ(fx.crossfade.load(), 63.0f);
    EXPECT_EQ(e.project().presetSelected, -1.0f);
    EXPECT_EQ(e.project().presetMidi[2], 1);

    ASSERT_EQ(e.project().tracks.size(), 1u);
    CInstrument& t = e.track(0);
    EXPECT_TRUE(t.mainSlot().loaded());
    EXPECT_STREQ(t.mainSlot().product(), "KAVO synth I");
    EXPECT_EQ(t.title, "Bass line");
    EXPECT_EQ(t.midiChannel, 3);
    EXPECT_EQ(t.lowestKey, 24);
    EXPECT_EQ(t.keyLimit, 96);
    EXPECT_EQ(t.keyOffset, -12);
    EXPECT_EQ(t.passPitchBend, 0);
    EXPECT_EQ(t.passModWheel, 1);
    EXPECT_EQ(t.stepNumber, 256);
    EXPECT_FLOAT_EQ(t.level.load(), 90.9489f);
    EXPECT_FLOAT_EQ(t.pan.load(), -0.25f);
    EXPECT_FLOAT_EQ(t.crossfadeB.load(), 1.0f);
    EXPECT_FLOAT_EQ(t.arpeggiator[8].load(), 1.0f);
    EXPECT_FLOAT_EQ(t.arpeggiator[9].load(), 0.25f);
    EXPECT_FLOAT_EQ(t.sendLevel[1].load(), 80.0f);
    EXPECT_NEAR(t.bandFrequency[1].load(), 0.4816f, 0.0005f);
    EXPECT_NEAR(t.bandFrequency[0].load(), 0.2407676f, 1e-6f);  // default kept
    EXPECT_FLOAT_EQ(t.bandGain[2].load(), -0.5f);
    EXPECT_EQ(t.patternSelectedOnLoad, 2);
    EXPECT_EQ(t.sequencer.currentPattern(), 2);
}

TEST(ProjectLoader, LfAndCrLfProjectsLoadAlike) {
    const std::string image = synthBankImage([](AudioEffectX& s) {
        s.setProgram(3);
        s.setParameter(37, 0.25f);
    });
    const std::string crlf = kMaster + synthTrack(kTrackBody + presetBlock("PLUGIN_PRESET", image, 3) +
                                                  line("PRESET_SOUND_BALL", {"10", "20", "0"}) +
                                                  line("PRESET_SOUND_MIX_PARAM_HORZ", {"1", "0", "0", "128", "0"}));
    // The image's own CRLF ending stays: only line text loses CR bytes.
    const size_t at = crlf.find(image);
    const std::string lf = toLf(crlf.substr(0, at)) + image + toLf(crlf.substr(at + image.size()));
    TestEngine a, b;
    a.load(crlf);
    b.load(lf);
    ASSERT_EQ(a.project().tracks.size(), 1u);
    ASSERT_EQ(b.project().tracks.size(), 1u);
    for (TestEngine* e : {&a, &b}) {
        CInstrument& t = e->track(0);
        EXPECT_EQ(t.title, "Bass line");
        EXPECT_FLOAT_EQ(t.mainSlot().getParameter(37), 0.25f);
        EXPECT_FLOAT_EQ(t.balls.ball(0).y.load(), 108.0f);
        ASSERT_EQ(t.balls.ball(0).horizontal.size(), 1u);
        EXPECT_STREQ(t.balls.ball(0).horizontal[0].name, "Level (MIX)");
    }
}

TEST(ProjectLoader, StepNumberIsRaisedTo256) {
    TestEngine e;
    e.load(synthTrack(line("STEPNUMBER", {"49"})) + synthTrack(line("STEPNUMBER", {"300"})));
    ASSERT_EQ(e.project().tracks.size(), 2u);
    EXPECT_EQ(e.track(0).stepNumber, 256);
    EXPECT_EQ(e.track(1).stepNumber, 300);
}

TEST(ProjectLoader, AFifthSoundBallLineLandsOnTheFourth) {
    std::string body;
    for (int i = 0; i < 5; ++i) {
        body += line("PRESET_SOUND_BALL", {std::to_string(10 * i), "28", std::to_string(i)});
        body += line("PRESET_SOUND_MIDI", {"1", std::to_string(20 + i), std::to_string(30 + i)});
        body += line("PRESET_SOUND_PARAMETERNAME", {"Ball " + std::to_string(i)});
        body += line("PRESET_SOUND_BALLSIZE", {std::to_string(i)});
        body += line("PRESET_SOUND_FLY", {"1", "0.5", std::to_string(i) + ".5"});
    }
    TestEngine e;
    e.load(synthTrack(body));
    const SoundBalls& balls = e.track(0).balls;
    ASSERT_EQ(balls.count(), 4);
    EXPECT_FLOAT_EQ(balls.ball(0).y.load(), 100.0f);
    EXPECT_FLOAT_EQ(balls.ball(3).x.load(), 30.0f);  // the fourth record's position
    EXPECT_FLOAT_EQ(balls.ball(3).randomRate.load(), 3.0f);
    EXPECT_EQ(balls.ball(3).xController, 24);  // ...and the fifth's settings
    EXPECT_STREQ(balls.ball(3).displayName, "Ball 4");
    EXPECT_EQ(balls.ball(3).size, 4);
    EXPECT_FLOAT_EQ(balls.ball(3).flyDirection.load(), 4.5f);
}

TEST(ProjectLoader, TracksWithoutBallsGetFourDefaultOnes) {
    TestEngine e;
    e.load(synthTrack(line("TITLE", {"x"})) + synthTrack(line("PRESET_SOUND_BALL", {"63.2515", "38.6977", "0"})));
    for (size_t t = 0; t < 2; ++t) {
        const SoundBalls& balls = e.track(t).balls;
        ASSERT_EQ(balls.count(), 4);
        for (int b = t == 0 ? 0 : 1; b < 4; ++b) {
            EXPECT_EQ(balls.ball(b).x.load(), 64.0f);
            EXPECT_EQ(balls.ball(b).y.load(), 64.0f);
            EXPECT_FALSE(balls.ball(b).hasTargets());
        }
    }
    EXPECT_FLOAT_EQ(e.track(1).balls.ball(0).x.load(), 63.2515f);
    EXPECT_NEAR(e.track(1).balls.ball(0).y.load(), 89.3023f, 1e-4f);
}

TEST(ProjectLoader, BallTargetsAreNamedFromTheirModulesAndMixList) {
    const std::string body =
        line("INSERT1_PLUGIN", {"\\PluginEffects\\KavoChorus.dll"}) + line("PRESET_SOUND_BALL", {"64", "64", "0"}) +
        line("PRESET_SOUND_PARAM_HORZ", {"0", "38", "37.2000", "92.9000", "0.0000"}) +
        line("PRESET_SOUND_PARAM_HORZ", {"1", "0", "0.0000", "128.0000", "0.0000"}) +
        // The key only picks the axis; the kind field picks the target.
        line("PRESET_SOUND_MIX_PARAM_VERT", {"2", "0", "0", "128", "0"}) +
        line("PRESET_SOUND_PARAM_VERT", {"3", "0", "0", "128", "0"}) +
        line("PRESET_SOUND_PARAM_VERT", {"1", "99", "0", "128", "0"});
    TestEngine e;
    e.load(synthTrack(body));
    const SoundBall& ball = e.track(0).balls.ball(0);
    ASSERT_EQ(ball.horizontal.size(), 2u);
    ASSERT_EQ(ball.vertical.size(), 3u);
    EXPECT_STREQ(ball.horizontal[0].name, "FILTER Q");
    EXPECT_TRUE(ball.horizontal[0].resonance);
    EXPECT_FLOAT_EQ(ball.horizontal[0].minimum, 37.2f);
    EXPECT_FLOAT_EQ(ball.horizontal[0].maximum, 92.9f);
    EXPECT_STREQ(ball.horizontal[1].name, "Level (MIX)");
    EXPECT_EQ(ball.horizontal[1].displayCode, 6);
    EXPECT_FLOAT_EQ(ball.horizontal[1].maximum, 128.0f);  // the line's range, not the list's

    char chorusName[64] = {};
    e.track(0).insertSlot(0).dispatch(effGetParamName, 0, 0, chorusName, 0.0f);
    ASSERT_NE(chorusName[0], 0);
    EXPECT_EQ(std::string(ball.vertical[0].name), std::string(chorusName) + " (INSERT 1)");
    EXPECT_STREQ(ball.vertical[1].name, "");  // insert 2 is empty
    EXPECT_STREQ(ball.vertical[2].name, "");  // no mix parameter 99
}

TEST(ProjectLoader, UnknownModuleDropsOnlyThatTrack) {
    const std::string image = synthBankImage([](AudioEffectX&) {});
    const std::string dropped = line("VERSION", {"1.66"}) + line("PLUGIN", {"\\PluginInstruments\\KavoHarp.dll"}) +
                                line("TITLE", {"Harp"}) + presetBlock("PLUGIN_PRESET", image, 0) +
                                line("PLUGIN", {"END"});
    const std::string effectAsInstrument =
        line("PLUGIN", {"\\PluginEffects\\KavoReverb.dll"}) + line("TITLE", {"Reverb"}) + line("PLUGIN", {"END"});
    TestEngine e;
    e.load(dropped + effectAsInstrument + synthTrack(line("TITLE", {"Kept"})) + line("EFFECT_1", {"\\PluginEffects\\KavoReverb.dll"}));
    ASSERT_EQ(e.project().tracks.size(), 1u);
    EXPECT_EQ(e.track(0).title, "Kept");
    EXPECT_TRUE(e.project().sendSlots[0].loaded());
    EXPECT_STREQ(e.project().sendSlots[0].shortName(), "Reverb");
}

TEST(ProjectLoader, SynthAsInsertOrSendIsRefused) {
    TestEngine e;
    e.load(synthTrack(line("INSERT1_PLUGIN", {"\\PluginInstruments\\KavoSynthI.dll"})) +
           line("MASTER_INSERT1_PLUGIN", {"\\PluginInstruments\\KavoSynthI.dll"}) +
           line("MASTER_INSERT2_PLUGIN", {"\\PluginEffects\\KavoLimiter.dll"}) + line("MASTER_INSERT2_ON", {"1"}));
    EXPECT_FALSE(e.track(0).insertSlot(0).loaded());
    EXPECT_FALSE(e.project().masterInserts[0].loaded());
    EXPECT_TRUE(e.project().masterInserts[1].loaded());
    EXPECT_EQ(e.project().masterInsertOn[1].load(), 1.0f);
}

TEST(ProjectLoader, DemonstrationBlockBuildsMidiEvents) {
    const std::string demo = line("PROGRAM_DEMO_BEGIN", {"0", "0"}) + line("0", {"144", "60", "100", "0"}) +
                             line("100", {"128"}) +  // too few fields
                             line("22050", {"128", "316", "0", "0"}) + line("30000", {"224", "0", "64", "0"}) +
                             line("PROGRAM_DEMO_END", {"0", "0"}) + line("44100", {"144", "1", "1", "0"});
    TestEngine e;
    e.load(kMaster + demo);
    const auto& events = e.project().demoEvents;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, kVstMidiType);
    EXPECT_EQ(events[0].byteSize, 32);
    EXPECT_EQ(events[0].flags, kVstMidiEventIsRealtime);
    EXPECT_EQ(events[0].deltaFrames, 0);
    EXPECT_EQ(static_cast<uint8_t>(events[0].midiData[0]), 144);
    EXPECT_EQ(static_cast<uint8_t>(events[1].midiData[1]), 316 & 0xFF);
    EXPECT_EQ(events[2].deltaFrames, 30000);
    EXPECT_EQ(events[0].noteLength, 0);
    // Loading again replaces the performance.
    e.load(kMaster);
    EXPECT_TRUE(e.project().demoEvents.empty());
}

TEST(ProjectLoader, ReloadingReplacesTracksAndModules) {
    TestEngine e;
    e.load(synthTrack("") + synthTrack(""));
    EXPECT_EQ(e.project().tracks.size(), 2u);
    e.load(synthTrack(line("TITLE", {"one"})));
    ASSERT_EQ(e.project().tracks.size(), 1u);
    EXPECT_EQ(e.track(0).title, "one");
    EXPECT_EQ(e.effect->editCounter().load(), 0);
}

TEST(ProjectLoaderThreads, LoadWaitsForTheBlockInProgress) {
    TestEngine e;
    e.load(synthTrack(line("TITLE", {"old"})));
    e.effect->renderInProgress().store(true);  // a block is rendering
    std::atomic<bool> done{false};
    std::thread loader([&] {
        e.load(synthTrack(line("TITLE", {"new"})));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load());
    EXPECT_EQ(e.effect->editCounter().load(), 1);  // blocks render silence meanwhile
    EXPECT_EQ(e.track(0).title, "old");
    e.effect->renderInProgress().store(false);
    loader.join();
    EXPECT_EQ(e.track(0).title, "new");
    EXPECT_EQ(e.effect->editCounter().load(), 0);
}
