// Playback measured from the rendered signal: which part a note reaches,
// where in the sample it starts, how fast and which way it runs, loops,
// pitch at two host rates, voices, pedal and transport.
#include "tests/sampler/sampler_test_host.h"

using namespace sampler;
using namespace sampler_test;

namespace {

// Three parts holding the constant samples, split at 48, 60 and 72.
void setUpSplit(SamplerHost& h) {
    const char* names[3] = {"One.wav", "Two.wav", "Three.wav"};
    const float splits[3] = {48.0f, 60.0f, 72.0f};
    for (int k = 0; k < 3; ++k) {
        h.load(k, names[k]);
        h.set(k, kSplitNote, splits[k]);
    }
}

double levelOfNote(SamplerHost& h, int note) {
    h.noteOn(note);
    const auto out = h.render(256);
    h.send({{0, 0xB0, 123, 0}});
    h.set(0, kHold, 1.0f);  // stops every voice before the next note
    h.render(64);
    return out[200] * 32768.0;
}

}  // namespace

TEST(SamplerKeySplit, EachNoteReachesThePartOfItsZone) {
    SamplerHost h;
    setUpSplit(h);
    EXPECT_EQ(h.sampler().partsInUse(), 3);
    EXPECT_NEAR(levelOfNote(h, 50), 2000.0, 1.0);  // second part
    EXPECT_NEAR(levelOfNote(h, 80), 3000.0, 1.0);  // above every split: the highest
    EXPECT_NEAR(levelOfNote(h, 30), 1000.0, 1.0);  // first part
    EXPECT_NEAR(levelOfNote(h, 48), 1000.0, 1.0);  // a split note belongs to its own part
    EXPECT_NEAR(levelOfNote(h, 61), 3000.0, 1.0);
}

TEST(SamplerKeySplit, LayersSoundEveryPartInUse) {
    SamplerHost h;
    setUpSplit(h);
    for (int k = 0; k < 3; ++k) h.set(k, kHold, 0.0f);
    h.set(0, kMultiLayerOn, 1.0f);
    h.noteOn(50);
    const auto out = h.render(256);
    EXPECT_NEAR(out[200] * 32768.0, 6000.0, 2.0);
    h.noteOff(50);
    const auto after = h.render(256);
    EXPECT_EQ(peak(after, 64, 256), 0.0);  // Hold off, no envelope: released at once
}

TEST(SamplerVoices, NotesFasterThanRealTimeAreNeverDropped) {
    // Seventeen notes inside one block, as an offline render delivers them:
    // the seventeenth steals the oldest voice instead of being dropped.
    SamplerHost h;
    setUpSplit(h);
    std::vector<SamplerHost::Midi> notes;
    for (int i = 0; i < 16; ++i) notes.push_back({0, 0x90, 30 + i, 100});
    notes.push_back({0, 0x90, 55, 100});  // second part
    h.send(notes);
    const auto out = h.render(256);
    EXPECT_NEAR(out[250] * 32768.0, 15 * 1000.0 + 2000.0, 3.0);
    // The stolen voice was the first note's: releasing it changes nothing.
    h.noteOff(30);
    const auto after = h.render(64);
    EXPECT_NEAR(after[60] * 32768.0, 17000.0, 3.0);
    // The same key again reuses its own voice rather than taking another.
    h.noteOn(31);
    const auto again = h.render(64);
    EXPECT_NEAR(again[60] * 32768.0, 17000.0, 3.0);
}

TEST(SamplerWindow, VelocitySetsTheStartBetweenBeginAndAttackPoint) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kWaveBegin, 0.1f);
    h.set(0, kWaveAttackVelocity, 0.5f);
    const double begin = 0.1 * kRampFrames, attackPoint = 0.5 * kRampFrames;

    h.noteOn(36, 127);
    auto out = h.render(32);
    EXPECT_NEAR(rampPosition(out[0]), begin + 1.0, 0.5);  // full velocity starts at the beginning
    h.set(0, kHold, 1.0f);
    h.render(32);

    h.noteOn(36, 1);
    out = h.render(32);
    EXPECT_NEAR(rampPosition(out[0]), begin + (attackPoint - begin) * 126.0 / 128.0 + 1.0, 0.5);
    h.set(0, kHold, 1.0f);
    h.render(32);

    h.noteOn(36, 64);
    out = h.render(32);
    EXPECT_NEAR(rampPosition(out[0]), begin + (attackPoint - begin) * 63.0 / 128.0 + 1.0, 0.5);
}

TEST(SamplerWindow, HoldPlaysToTheEndOfTheWindowAndStops) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kWaveEnd, 0.25f);  // 7500 frames
    h.noteOn(36);
    h.render(100);
    h.noteOff(36);
    const auto out = h.render(9000);
    EXPECT_NEAR(rampPosition(out[4000]), 4101.0, 0.5);  // still playing after release
    EXPECT_LT(rampPosition(peak(out, 0, 9000)), 7500.0);
    EXPECT_EQ(peak(out, 7500, 9000), 0.0);  // and silent once the window is done
}

TEST(SamplerWindow, LoopRepeatsExactlyBetweenItsPointsWhileHeld) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kLoop, 1.0f);
    h.set(0, kWaveLoop, 0.25f);      // frame 7500
    h.set(0, kWaveLoopEnd, 0.375f);  // frame 11250
    h.set(0, kHold, 0.0f);
    h.set(0, kEnvLevel, 0.0f);
    h.noteOn(36);
    const auto out = h.render(30000);
    double lowest = 1e9, highest = 0.0;
    for (size_t i = 12000; i < out.size(); ++i) {
        lowest = std::min(lowest, rampPosition(out[i]));
        highest = std::max(highest, rampPosition(out[i]));
    }
    EXPECT_NEAR(lowest, 7500.0, 0.01);
    EXPECT_NEAR(highest, 11249.0, 0.01);
    // Exactly periodic with the loop length.
    for (size_t i = 12000; i < 12000 + 3750; i += 97) EXPECT_EQ(out[i], out[i + 3750]);
    // Released, the loop ends and the voice stops.
    h.noteOff(36);
    const auto after = h.render(256);
    EXPECT_EQ(peak(after, 32, 256), 0.0);
}

TEST(SamplerWindow, LoopWithHoldPlaysOutToTheEndAfterRelease) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kLoop, 1.0f);
    h.set(0, kWaveLoop, 0.2f);
    h.set(0, kWaveLoopEnd, 0.3f);
    h.noteOn(36);
    h.render(12000);
    h.noteOff(36);
    const auto out = h.render(30000);
    double highest = 0.0;
    for (float v : out) highest = std::max(highest, rampPosition(v));
    EXPECT_GT(highest, 25000.0);  // beyond the loop end, towards the sample's end
}

TEST(SamplerWindow, ReversePlaysBackwardsFromTheEnd) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kReverse, 1.0f);
    h.set(0, kWaveBegin, 0.5f);
    h.noteOn(36);
    const auto out = h.render(20000);
    // Starts near the end and runs down by one frame per sample.
    EXPECT_NEAR(rampPosition(out[100]), kRampFrames - 101.0, 0.5);
    EXPECT_NEAR(rampPosition(out[5000]) - rampPosition(out[5100]), 100.0, 0.01);
    // Held, it stops at the window's beginning.
    EXPECT_GT(rampPosition(out[14990]), 15000.0 - 0.5);
    EXPECT_EQ(peak(out, 15100, 20000), 0.0);
}

TEST(SamplerWindow, ReverseLoopCyclesWhileHeld) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kReverse, 1.0f);
    h.set(0, kLoop, 1.0f);
    h.set(0, kWaveLoop, 0.4f);
    h.set(0, kWaveLoopEnd, 0.5f);
    h.noteOn(36);
    const auto out = h.render(40000);
    for (size_t i = 20000; i < 40000; i += 50) {
        EXPECT_GE(rampPosition(out[i]), 12000.0 - 0.5);
        EXPECT_LE(rampPosition(out[i]), 15000.0 + 0.5);
    }
    EXPECT_FLOAT_EQ(out[25000], out[28000]);
}

class SamplerRates : public ::testing::TestWithParam<float> {};

TEST_P(SamplerRates, PitchFollowsTheNoteTuneAndFileRate) {
    const float rate = GetParam();
    SamplerHost h(rate);
    h.load(0, "Sine440.wav");
    h.set(0, kSplitNote, 69.0f);  // the sample's own note
    const size_t frames = static_cast<size_t>(rate * 0.25);

    h.noteOn(69);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 64), 440.0, 0.2);
    h.set(0, kHold, 1.0f);
    h.noteOn(81);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 64), 880.0, 0.4);
    h.set(0, kHold, 1.0f);
    h.noteOn(57);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 64), 220.0, 0.1);
    h.set(0, kHold, 1.0f);
    // Tune +7 semitones, TuneFine +1 semitone.
    h.set(0, kTune, (72.0f + 7.0f + 0.5f) / 144.0f);
    h.set(0, kTuneFine, 1.0f);
    h.noteOn(69);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 64), 440.0 * std::pow(2.0, 8.0 / 12.0), 0.4);
    h.set(0, kHold, 1.0f);
    h.send({{0, 0x80, 69, 0}});

    // A 22.05 kHz file sounds at its own pitch at any host rate.
    h.load(1, "Sine440Low.wav");
    h.set(1, kSplitNote, 100.0f);
    h.set(1, kHold, 0.0f);
    h.noteOn(100);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 64), 440.0, 0.2);
    h.noteOff(100);
    h.render(64);

    // Pitch bend: range +-2 semitones, full up.
    h.set(1, kPitchBend, (24.0f + 2.0f + 0.5f) / 48.0f);
    h.send({{0, 0xE0, 0, 127}});
    h.noteOn(100);
    EXPECT_NEAR(pitchHz(h.render(static_cast<int>(frames)), rate, 256), 440.0 * std::pow(2.0, 2.0 * 63.0 / 64.0 / 12.0),
                0.4);
}

INSTANTIATE_TEST_SUITE_P(HostRates, SamplerRates, ::testing::Values(44100.0f, 96000.0f));

TEST(SamplerEnvelope, AttackAndReleaseShapeTheLevel) {
    SamplerHost h;
    h.load(0, "One.wav");
    h.set(0, kEnvLevel, 1.0f);
    h.set(0, kHold, 0.0f);
    h.set(0, kAttack, 0.0f);   // 2 ms
    h.set(0, kRelease, 0.0f);  // to a tenth in 10 ms
    h.noteOn(36);
    const auto attack = h.render(4410);
    EXPECT_NEAR(attack[44] * 32768.0, 500.0, 20.0);  // halfway after 1 ms
    EXPECT_NEAR(attack[4000] * 32768.0, 1000.0, 1.0);
    h.noteOff(36);
    const auto release = h.render(4410);
    EXPECT_NEAR(release[441] * 32768.0, 100.0, 5.0);  // a tenth after 10 ms
    EXPECT_EQ(peak(release, 1500, 4410), 0.0);  // below 1 %: silent
}

TEST(SamplerFilter, LowPassRemovesTheHighPartOfTheSpectrum) {
    SamplerHost h;
    h.load(0, "Sine440.wav");
    h.set(0, kSplitNote, 69.0f);
    h.set(0, kFilterKeyOn, 0.0f);
    h.noteOn(93);  // 1760 Hz
    const double open = rms(h.render(8192), 2048, 8192);
    h.set(0, kHold, 1.0f);
    h.set(0, kFilterOn, 1.0f);
    h.set(0, kFilterFreq, 0.45f);  // far below 1760 Hz
    h.set(0, kFilterQ, 0.3f);
    h.noteOn(93);
    const double filtered = rms(h.render(8192), 2048, 8192);
    EXPECT_LT(20.0 * std::log10(filtered / open), -30.0);
}

TEST(SamplerPedal, HeldNotesReleaseWhenThePedalLifts) {
    SamplerHost h;
    h.load(0, "One.wav");
    h.set(0, kHold, 0.0f);
    h.controller(64, 127);
    h.noteOn(36);
    h.render(64);
    h.noteOff(36);
    EXPECT_NEAR(h.render(256)[200] * 32768.0, 1000.0, 1.0);
    h.controller(64, 0);
    EXPECT_EQ(peak(h.render(256), 64, 256), 0.0);
}

TEST(SamplerMono, LegatoKeepsThePlayPositionAndReturnsToHeldKeys) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.set(0, kMultiLayerOn, 1.0f);
    h.set(0, kMonoMode, 1.0f);
    h.set(0, kHold, 0.0f);
    h.set(0, kFrequencyKeyOn, 0.0f);
    h.noteOn(60);
    h.render(1000);
    h.noteOn(64);  // legato: the sample plays on
    auto out = h.render(1000);
    EXPECT_NEAR(rampPosition(out[0]), 1001.0, 0.5);
    h.noteOff(64);  // back to 60, still sounding
    out = h.render(1000);
    EXPECT_NEAR(rampPosition(out[999]), 3000.0, 0.5);
    EXPECT_EQ(h.sampler().voice(0).note, 60);
    h.noteOff(60);
    EXPECT_EQ(peak(h.render(256), 64, 256), 0.0);
}

TEST(SamplerTransport, StoppingTheHostTransportSilencesHeldNotes) {
    SamplerHost h;
    h.load(0, "One.wav");
    VstTimeInfo time{};
    time.sampleRate = 44100.0;
    time.flags = kVstTransportPlaying;
    hostTime() = &time;
    h.noteOn(36);
    EXPECT_NEAR(h.render(512)[500] * 32768.0, 1000.0, 1.0);
    time.flags = kVstTransportChanged;  // stopped
    const auto out = h.render(512);
    time.flags = 0;
    EXPECT_EQ(peak(out, 32, 512), 0.0);
    EXPECT_EQ(peak(h.render(512), 0, 512), 0.0);  // and stays silent with the key still down
    h.noteOn(37);
    EXPECT_NEAR(h.render(512)[500] * 32768.0, 1000.0, 1.0);  // until the next note
    hostTime() = nullptr;
}
