// Voice allocation, MIDI timing, mono legato, pedal, flavour II's parts.
#include <gtest/gtest.h>

#include "tests/synth/synth_test_host.h"

namespace {

using namespace synth;
using synth_test::SynthHost;

void pureSine(SynthHost& h, int partBase = 0) {
    h.set(partBase + kDcoMix, 0.0f);
    h.set(partBase + kOutEnvAttack, 0.0f);
    h.set(partBase + kOutEnvSustain, 1.0f);
}

int soundingVoices(SynthHost& h) {
    int n = 0;
    for (int i = 0; i < EffectSynth::kVoices; ++i) n += h.synth().voice(i).sounding() ? 1 : 0;
    return n;
}

TEST(SynthMidiTiming, DeltaFramesSetTheOnsetFrame) {
    SynthHost h;
    h.noteOn(69, 127, 100);  // takes effect at frame 99
    const auto x = h.render(256);
    for (int i = 0; i < 99; ++i) ASSERT_EQ(x[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_NE(x[99], 0.0f);
}

TEST(SynthMidiTiming, TenSimultaneousNotesStartOnTenSuccessiveFrames) {
    SynthHost h;
    std::vector<SynthHost::Midi> burst;
    for (int i = 0; i < 10; ++i) burst.push_back({0, 0x90, 60 + i, 100});
    ASSERT_EQ(h.send(burst), 1);
    for (int frame = 0; frame < 12; ++frame) {
        h.render(1);
        EXPECT_EQ(soundingVoices(h), std::min(frame + 1, 10)) << "after frame " << frame;
    }
}

TEST(SynthMidiTiming, EventsLandAtTheirFrameAcrossBlockAndTickBoundaries) {
    // A note at frame 700 of a 1024-frame block rendered in blocks of 37:
    // the onset is at frame 699 whatever the block split.
    for (int block : {1, 37, 512, 1024}) {
        SynthHost h;
        h.noteOn(60, 127, 700);
        const auto x = h.render(1024, nullptr, block);
        int onset = -1;
        for (int i = 0; i < 1024; ++i)
            if (x[static_cast<size_t>(i)] != 0.0f) {
                onset = i;
                break;
            }
        EXPECT_EQ(onset, 699) << "block " << block;
    }
}

TEST(SynthPoly, SeventeenthHeldNoteIsDropped) {
    SynthHost h;
    pureSine(h);
    for (int i = 0; i < 16; ++i) h.noteOn(40 + 2 * i, 100);
    h.render(64);
    EXPECT_EQ(soundingVoices(h), 16);
    h.noteOn(100, 100);  // 2637 Hz, no voice free
    const auto x = h.render(8192);
    EXPECT_LT(synth_test::toneAmplitude(x, synth_test::noteHz(100), 44100, 0, x.size()), 1e-4);
    EXPECT_GT(synth_test::toneAmplitude(x, synth_test::noteHz(40), 44100, 0, x.size()), 0.5);
    // Releasing one key frees its voice for the next note.
    h.noteOff(40);
    h.noteOn(100, 100);
    const auto y = h.render(8192);
    EXPECT_GT(synth_test::toneAmplitude(y, synth_test::noteHz(100), 44100, 4096, y.size()), 0.5);
}

TEST(SynthPoly, StealsTheOldestReleasedVoice) {
    SynthHost h;
    for (int i = 0; i < 16; ++i) h.noteOn(40 + i);
    h.render(32);
    // Release three keys in the order 45, 41, 50; the first released is not
    // the oldest: allocation takes the note that started first (41).
    h.noteOff(45);
    h.noteOff(41);
    h.noteOff(50);
    h.noteOn(90);
    h.render(32);
    int voiceOf90 = -1;
    for (int i = 0; i < EffectSynth::kVoices; ++i)
        if (h.synth().voice(i).note == 90) voiceOf90 = i;
    EXPECT_EQ(voiceOf90, 1);  // the voice that held 41
}

TEST(SynthPoly, FasterThanRealTimeKeepsNoteOrder) {
    // Thousands of notes inside what is one wall-clock millisecond: every
    // note finds a voice, in order of age.
    SynthHost h;
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 16; ++i) h.noteOn(30 + (round * 16 + i) % 90);
        h.render(32);
        EXPECT_EQ(soundingVoices(h), 16);
        for (int i = 0; i < 16; ++i) h.noteOff(30 + (round * 16 + i) % 90);
        h.render(32);
    }
}

TEST(SynthPoly, SustainPedalHoldsReleasedNotes) {
    SynthHost h;
    pureSine(h);
    h.set(kOutEnvRelease, 0.0f);  // 10 ms
    h.noteOn(69);
    h.controller(64, 127);
    h.noteOff(69);
    const auto held = h.render(22050);
    EXPECT_GT(synth_test::rms(held, 11025, 22050), 0.5);
    h.controller(64, 0);
    h.render(4410);
    const auto released = h.render(4410);
    EXPECT_LT(synth_test::peak(released, 0, released.size()), 1e-3);
}

TEST(SynthPoly, AllNotesOffReleasesEverything) {
    SynthHost h;
    h.set(kOutEnvRelease, 0.0f);
    for (int n : {50, 60, 70}) h.noteOn(n);
    h.render(2048);
    h.controller(123, 0);
    h.render(4410);
    const auto x = h.render(1024);
    EXPECT_LT(synth_test::peak(x, 0, x.size()), 1e-3);
    EXPECT_EQ(soundingVoices(h), 0);
}

TEST(SynthMono, LegatoMovesPitchWithoutRestartingEnvelopes) {
    SynthHost h;
    h.set(kMonoMode, 0.7f);
    EXPECT_EQ(h.get(kMonoMode), 1.0f);
    EXPECT_EQ(h.display(kMonoMode), "on");
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvAttack, 0.0f);
    h.set(kOutEnvDecay, 0.0f);    // 10 ms to 1 %
    h.set(kOutEnvSustain, 0.25f);
    const double full = std::pow(50.0, 0.84) / 25.0;

    h.noteOn(60);
    const auto a = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(a, 44100, 11025), synth_test::noteHz(60), 0.05);
    EXPECT_GT(synth_test::peak(a, 0, 2048), 0.5 * full);  // the attack went well above sustain
    EXPECT_NEAR(synth_test::peak(a, 11025, 22050), 0.25 * full, 0.01);

    h.noteOn(62);  // legato: no new attack
    const auto b = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(b, 44100, 2048), synth_test::noteHz(62), 0.05);
    EXPECT_LT(synth_test::peak(b, 0, b.size()), 0.26 * full);

    h.noteOff(62);  // back to the held 60, still no restart
    const auto c = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(c, 44100, 2048), synth_test::noteHz(60), 0.05);
    EXPECT_LT(synth_test::peak(c, 0, c.size()), 0.26 * full);

    h.noteOff(60);  // last key up: release
    h.render(22050);
    const auto d = h.render(2048);
    EXPECT_LT(synth_test::peak(d, 0, d.size()), 1e-3);
    for (int i = 1; i < EffectSynth::kVoices; ++i) EXPECT_FALSE(h.synth().voice(i).running) << i;
}

TEST(SynthMono, NewKeyAfterAllReleasedRetriggers) {
    SynthHost h;
    h.set(kMonoMode, 1.0f);
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvAttack, 0.0f);
    h.set(kOutEnvDecay, 0.0f);
    h.set(kOutEnvSustain, 0.25f);
    h.noteOn(60);
    h.render(8192);
    h.noteOff(60);
    h.noteOn(64);
    const auto x = h.render(2048);
    EXPECT_GT(synth_test::peak(x, 0, x.size()), 0.5 * std::pow(50.0, 0.84) / 25.0);
}

TEST(SynthMono, SwitchingModeSilencesVoices) {
    SynthHost h;
    h.noteOn(60);
    h.noteOn(64);
    h.render(512);
    h.set(kMonoMode, 1.0f);
    const auto x = h.render(512);
    EXPECT_EQ(synth_test::peak(x, 0, x.size()), 0.0);
}

TEST(SynthFlavourII, NotesMapToPartsAndOthersAreIgnored) {
    SynthHost h("KavoSynthII");
    ASSERT_TRUE(h.ok());
    constexpr int kPer = kPartParams;
    EXPECT_EQ(h.name(70), "2 DCO1 Coarse");
    EXPECT_EQ(h.name(15 * kPer + kOutLevel), "16 OUTPUT Level");
    for (int part : {0, 15}) pureSine(h, part * kPer);
    // Part 0 an octave up, part 15 two octaves up: the pitch tells which
    // part played.
    h.set(0 * kPer + kDco1Coarse, 84.5f / 144.0f);
    h.set(15 * kPer + kDco1Coarse, 96.5f / 144.0f);

    h.noteOn(36);
    auto x = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(x, 44100, 2048), 2.0 * synth_test::noteHz(36), 0.05);
    EXPECT_TRUE(h.synth().voice(0).gate);
    h.noteOff(36);
    h.render(22050);

    h.noteOn(51);
    x = h.render(22050);
    EXPECT_NEAR(synth_test::pitchHz(x, 44100, 2048), 4.0 * synth_test::noteHz(51), 0.05);
    EXPECT_TRUE(h.synth().voice(15).gate);
    h.noteOff(51);
    h.render(44100);

    h.noteOn(52);
    h.noteOn(35);
    x = h.render(4096);
    EXPECT_EQ(synth_test::peak(x, 0, x.size()), 0.0);
    EXPECT_EQ(soundingVoices(h), 0);
}

TEST(SynthFlavourII, EachPartHasOneVoice) {
    SynthHost h("KavoSynthII");
    h.noteOn(40);
    h.render(16);
    h.noteOn(40);  // the same part again: re-uses its voice
    h.render(16);
    EXPECT_EQ(soundingVoices(h), 1);
    EXPECT_TRUE(h.synth().voice(4).gate);
}

TEST(SynthProgramChange, MidiProgramChangeSelectsTheProgram) {
    SynthHost h;
    h.set(kOutLevel, 0.3f);  // program 0 edited
    h.dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(h.dispatch(effGetProgram), 5);
    EXPECT_FLOAT_EQ(h.get(kOutLevel), 0.84f);
    h.send({{0, 0xC0, 0, 0}});
    h.render(4);
    EXPECT_EQ(h.dispatch(effGetProgram), 0);
    EXPECT_FLOAT_EQ(h.get(kOutLevel), 0.3f);
}

TEST(SynthSampleRate, ChangingTheRateKeepsPitch) {
    SynthHost h;
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvSustain, 1.0f);
    h.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    h.noteOn(69);
    const auto x = h.render(48000);
    EXPECT_NEAR(synth_test::pitchHz(x, 48000, 4800), 440.0, 0.05);
    // A rate that is no rate is ignored.
    h.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
    const auto y = h.render(48000);
    EXPECT_NEAR(synth_test::pitchHz(y, 48000), 440.0, 0.05);
}

}  // namespace
