// What the pads sound like, measured from the six rendered outputs.
#include <gtest/gtest.h>

#include "drums_test_host.h"
#include "modulehost/module_registry.h"
#include "tests/support/allocation_counter.h"

using namespace drums_test;
using namespace drums;

namespace {

class DrumsPlayback : public ::testing::Test {
protected:
    void SetUp() override { library = defaultKit(store); }
    TestStore store;
    std::unique_ptr<SampleLibrary> library;
};

// Unity level at velocity 127 with full velocity response: 0.5 * 127/128.
constexpr double kHitAmplitude = 0.5 * 127.0 / 128.0;

double toDb(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

TEST_F(DrumsPlayback, DescriptorNamesAndDisplays) {
    DrumsHost host(*library);
    AEffect* fx = host.fx();
    EXPECT_EQ(fx->numParams, 120);
    EXPECT_EQ(fx->numPrograms, 8);
    EXPECT_EQ(fx->numInputs, 0);
    EXPECT_EQ(fx->numOutputs, 6);
    EXPECT_EQ(fx->uniqueID, vstFourCC('1', '6', 'c', 'x'));
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
    VstPinProperties pin;
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 5, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "KAVO drums");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 6, 0, &pin), 0);
    EXPECT_EQ(host.text(effGetEffectName, 0), "KAVO drums (1.44)");

    EXPECT_EQ(host.text(effGetParamName, 0), "1 Wave");
    EXPECT_EQ(host.text(effGetParamName, 7 * 15 + 14), "8 Mute");
    EXPECT_EQ(host.text(effGetParamName, 2 * 15 + 6), "3 LevelVelocity");
    EXPECT_EQ(host.text(effGetParamName, 512), "1 Pattern Random");
    EXPECT_EQ(host.text(effGetParamLabel, 519), "8 Pattern Random");
    EXPECT_EQ(host.text(effGetParamLabel, 1), "");
    EXPECT_EQ(host.text(effGetParamDisplay, 515), "PatternRandom");
    EXPECT_EQ(host.text(effGetParamName, 120), "");

    EXPECT_EQ(host.text(effGetParamDisplay, 2 * 15), "Snare 1.wav");
    host.setPad(0, kPan, 0.0f);
    EXPECT_EQ(host.text(effGetParamDisplay, kPan), "-1.00");
    host.setPad(0, kTune, 0.75f);
    EXPECT_EQ(host.text(effGetParamDisplay, kTune), "0.50");
    host.setPad(0, kRandomPreset, 3.7f);
    EXPECT_EQ(host.text(effGetParamDisplay, kRandomPreset), "3");
    EXPECT_EQ(host.text(effGetParamDisplay, kMute), "off");
    host.setPad(0, kMute, 1.0f);
    EXPECT_EQ(host.text(effGetParamDisplay, kMute), "on");
    host.setPad(0, kDecay, 0.6f);
    EXPECT_EQ(host.get(kDecay), 1.0f);
    host.setPad(0, kDecay, 0.4f);
    EXPECT_EQ(host.get(kDecay), 0.0f);
    host.setPad(0, kLevel, 0.25f);
    EXPECT_EQ(host.get(kLevel), 0.25f);
    EXPECT_EQ(host.text(effGetParamDisplay, kLevel), "0.25");
}

TEST_F(DrumsPlayback, ClosedHatStopsTheOpenHatAtOnceAndTheOtherWayRound) {
    DrumsHost host(*library);
    const int closedHat = 3, openHat = 5;  // notes 42 and 46
    host.setPad(closedHat, kLevel, 0.0f);   // only the open hat is heard
    host.noteOn(46);
    host.render(1000);
    host.noteOn(42);
    host.render(1000);
    EXPECT_NEAR(toneAmplitude(host.out[0], padHz(openHat), 44100, 200, 1000), kHitAmplitude, 0.01);
    EXPECT_LT(peak(host.out[0], 1000, 2000), 1e-5);

    // The pedal hat (44) stops a ringing closed hat; the kick is left alone.
    DrumsHost again(*library);
    again.setPad(4, kLevel, 0.0f);
    again.noteOn(36);
    again.noteOn(42);
    again.render(500);
    again.noteOn(44);
    again.render(1000);
    EXPECT_NEAR(toneAmplitude(again.out[0], padHz(closedHat), 44100, 600, 1500), 0.0, 1e-3);
    EXPECT_NEAR(toneAmplitude(again.out[0], padHz(0), 44100, 600, 1500), kHitAmplitude, 0.01);
}

TEST_F(DrumsPlayback, SecondHitOnAPadWaitsForTheZeroCrossing) {
    DrumsHost host(*library);  // pad 0: 441 Hz, 100 frames per period
    host.noteOn(36);
    host.render(1025);  // the sine is at its crest when the second hit comes
    host.noteOn(36);
    host.render(2000);
    const std::vector<float>& x = host.out[0];
    // No step larger than the sine's own steepest slope: no click.
    double largestStep = 0.0;
    for (size_t i = 1; i < x.size(); ++i) largestStep = std::max(largestStep, std::fabs(double(x[i]) - x[i - 1]));
    EXPECT_LT(largestStep, kHitAmplitude * 2.0 * kPi / 100.0 * 1.05);
    // The new hit started from the sample's beginning at the downward
    // crossing near frame 1050, so it rises where the old one would fall.
    double withRestart = 0.0, energy = 0.0;
    for (size_t i = 1100; i < 3000; ++i) {
        withRestart += x[i] * std::sin(2.0 * kPi * (double(i) - 1051.0) / 100.0);
        energy += double(x[i]) * x[i];
    }
    const double reference = std::sqrt(energy * 950.0);
    EXPECT_GT(withRestart / reference, 0.99);
    EXPECT_GT(host.drums().voice(0).startOrder, 1u);
}

TEST_F(DrumsPlayback, DecayOffEndsAtTheNextZeroCrossingAfterRelease) {
    DrumsHost host(*library);
    host.setPad(0, kDecay, 0.0f);
    host.noteOn(36);
    host.render(1025);
    host.noteOff(36);
    host.render(1000);
    const long last = lastAbove(host.out[0], 1e-6);
    EXPECT_GE(last, 1040);
    EXPECT_LE(last, 1050);
    EXPECT_FALSE(host.drums().voice(0).active());

    DrumsHost decaying(*library);
    decaying.noteOn(36);
    decaying.render(1025);
    decaying.noteOff(36);
    decaying.render(5000);
    EXPECT_NEAR(rms(decaying.out[0], 4000, 6000), kHitAmplitude / std::sqrt(2.0), 0.01);
}

TEST_F(DrumsPlayback, ReleaseOfASoundThatNeverCrossesZeroStillEnds) {
    TestStore dcStore;
    dcStore.add("Kick.wav", constantWav(8000, 44100));
    auto dc = dcStore.build();
    DrumsHost host(*dc);
    host.setPad(0, kDecay, 0.0f);
    host.setPad(0, kLoop, 1.0f);
    host.noteOn(36);
    host.render(1000);
    host.noteOff(36);
    host.render(10000);
    const long last = lastAbove(host.out[0], 1e-6);
    EXPECT_GT(last, 1000);
    EXPECT_LT(last, 1000 + static_cast<long>(44100 * kZeroCrossingWaitSeconds) + 20);
}

TEST_F(DrumsPlayback, SixOutputsCarryDrySendOneAndSendTwo) {
    DrumsHost host(*library);
    host.setPad(0, kEffect1, 1.0f);
    host.setPad(0, kEffect2, 0.5f);
    host.setPad(1, kPan, 0.0f);  // pad 1 hard left
    host.noteOn(36);
    host.noteOn(38);
    host.render(4096);
    const double kick = padHz(0), snare = padHz(1);
    auto level = [&](int output, double hz) { return toneAmplitude(host.out[output], hz, 44100, 0, 4096); };
    EXPECT_NEAR(level(0, kick), kHitAmplitude, 0.005);
    EXPECT_NEAR(level(1, kick), kHitAmplitude, 0.005);
    EXPECT_NEAR(toDb(level(2, kick) / level(0, kick)), 0.0, 0.1);  // 200^1 / 200
    EXPECT_NEAR(toDb(level(3, kick) / level(1, kick)), 0.0, 0.1);
    EXPECT_NEAR(toDb(level(4, kick) / level(0, kick)), toDb(std::sqrt(200.0) / 200.0), 0.1);
    EXPECT_NEAR(toDb(level(5, kick) / level(1, kick)), toDb(std::sqrt(200.0) / 200.0), 0.1);
    // Pad 1: dry left only; its sends are off (0.000001).
    EXPECT_NEAR(level(0, snare), kHitAmplitude, 0.005);
    // (The kick's window leakage at the snare's frequency is about 2e-5.)
    EXPECT_LT(level(1, snare), 1e-4);
    for (int k = 2; k < 6; ++k) EXPECT_LT(level(k, snare), 1e-4) << k;

    DrumsHost quieter(*library);
    quieter.setPad(0, kLevel, 0.5f);
    quieter.setPad(0, kPan, 1.0f);
    quieter.setPad(0, kLevelVelocity, 0.5f);
    quieter.noteOn(36, 64);
    quieter.render(4096);
    const double expected = 0.5 * std::sqrt(200.0) / 100.0 * (64.0 * 0.5 / 128.0 + 0.5);
    EXPECT_NEAR(toDb(toneAmplitude(quieter.out[1], kick, 44100, 0, 4096) / expected), 0.0, 0.1);
    EXPECT_LT(peak(quieter.out[0], 0, 4096), 1e-6);

    DrumsHost muted(*library);
    muted.setPad(0, kEffect1, 1.0f);
    muted.setPad(0, kMute, 1.0f);
    muted.noteOn(36);
    muted.render(2048);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(peak(muted.out[k], 0, 2048), 0.0) << k;
}

TEST_F(DrumsPlayback, PitchFollowsTuneVelocityAndTheHostRate) {
    for (float rate : {44100.0f, 96000.0f}) {
        DrumsHost host(*library, false, rate);
        host.noteOn(36);
        host.render(8192);
        EXPECT_NEAR(pitchHz(host.out[0], rate, 0, 8192), padHz(0), 0.05) << rate;

        DrumsHost tuned(*library, false, rate);
        tuned.setPad(0, kTune, 1.0f);  // 8^0.5: an octave and a half up
        tuned.setPad(1, kTuneVelocity, 1.0f);
        tuned.noteOn(36);
        tuned.noteOn(38, 64);  // x (64 / 128 + 1)
        tuned.render(8192);
        EXPECT_NEAR(toneAmplitude(tuned.out[0], padHz(0) * std::sqrt(8.0), rate, 0, 8192), kHitAmplitude, 0.01);
        EXPECT_NEAR(toneAmplitude(tuned.out[0], padHz(1) * 1.5, rate, 0, 8192), 0.5 * 64.0 / 128.0, 0.01);
    }
}

TEST_F(DrumsPlayback, BassModePlaysPadOneChromaticallyOnOneVoice) {
    for (float rate : {44100.0f, 96000.0f}) {
        DrumsHost bass(*library, true, rate);
        struct Case {
            int note;
            double hz;
        };
        for (const Case& c : {Case{36, 441.0}, Case{48, 882.0}, Case{31, 441.0 * std::pow(2.0, -5.0 / 12.0)}}) {
            bass.out[0].clear();
            bass.noteOn(c.note);
            bass.render(8192);
            EXPECT_NEAR(pitchHz(bass.out[0], rate, 2048, 8192), c.hz, c.hz * 1e-4) << c.note << " at " << rate;
            bass.noteOff(c.note);
        }
        for (int i = 1; i < kVoices; ++i) EXPECT_FALSE(bass.drums().voice(i).active());
    }
}

TEST_F(DrumsPlayback, BassReleaseOnlyForTheSoundingKey) {
    DrumsHost bass(*library, true);
    bass.setPad(0, kDecay, 0.0f);
    bass.noteOn(36);
    bass.render(1000);
    bass.noteOn(43);
    bass.render(1000);
    bass.noteOff(36);  // the earlier key comes up late: the new note holds
    bass.render(4000);
    EXPECT_NEAR(pitchHz(bass.out[0], 44100, 3000, 6000), 441.0 * std::pow(2.0, 7.0 / 12.0), 0.1);
    bass.noteOff(43);
    bass.render(1000);
    EXPECT_LT(peak(bass.out[0], 6200, 7000), 1e-6);
}

TEST_F(DrumsPlayback, ReverseAndWindowPlayTheChosenFrames) {
    // A rising ramp: the output value tells the frame being played.
    test_files::Bytes data;
    for (int i = 0; i < 1000; ++i) test_files::putLe16(data, static_cast<uint16_t>(i * 30));
    TestStore rampStore;
    rampStore.add("Kick.wav", test_files::wavFile(test_files::WavFormatFields{}, data));
    auto ramp = rampStore.build();
    const double unit = 30.0 / 32768.0 * 127.0 / 128.0;

    DrumsHost forward(*ramp);
    forward.setPad(0, kWaveBegin, 0.25f);
    forward.setPad(0, kWaveEnd, 0.5f);
    forward.noteOn(36);
    forward.render(1000);
    const long first = firstAbove(forward.out[0], 1e-6);
    const long last = lastAbove(forward.out[0], 1e-6);
    EXPECT_NEAR(forward.out[0][first] / unit, 250.0, 0.05);
    EXPECT_NEAR(forward.out[0][last] / unit, 496.0, 0.05);
    EXPECT_EQ(last - first, 246);

    DrumsHost reverse(*ramp);
    reverse.setPad(0, kWaveBegin, 0.25f);
    reverse.setPad(0, kWaveEnd, 0.5f);
    reverse.setPad(0, kReverse, 1.0f);
    reverse.noteOn(36);
    reverse.render(1000);
    const long rFirst = firstAbove(reverse.out[0], 1e-6);
    const long rLast = lastAbove(reverse.out[0], 1e-6);
    EXPECT_NEAR(reverse.out[0][rFirst] / unit, 496.0, 0.05);
    EXPECT_NEAR(reverse.out[0][rLast] / unit, 250.0, 0.05);
    for (long i = rFirst + 1; i <= rLast; ++i) ASSERT_LT(reverse.out[0][i], reverse.out[0][i - 1]);
    EXPECT_EQ(rLast - rFirst, 246);
    // Past the window begin it ends with the key, instead of holding the
    // first frame.
    reverse.noteOff(36);
    reverse.render(16);
    EXPECT_FALSE(reverse.drums().voice(0).active());

    // WaveEnd below WaveBegin is an empty window: nothing plays.
    DrumsHost empty(*ramp);
    empty.setPad(0, kWaveBegin, 0.5f);
    empty.setPad(0, kWaveEnd, 0.25f);
    empty.noteOn(36);
    empty.render(1000);
    EXPECT_EQ(peak(empty.out[0], 0, 1000), 0.0);
}

TEST_F(DrumsPlayback, LoopHoldsWhileTheKeyIsDownThenPlaysOut) {
    DrumsHost host(*library);
    host.setPad(0, kWaveEnd, 0.1f);  // 4410 frames
    host.setPad(0, kLoop, 1.0f);
    host.noteOn(36);
    host.render(20000);
    EXPECT_NEAR(rms(host.out[0], 15000, 20000), kHitAmplitude / std::sqrt(2.0), 0.01);
    host.noteOff(36);
    host.render(10000);
    EXPECT_LT(lastAbove(host.out[0], 1e-6), 20000 + 4410);
}

TEST_F(DrumsPlayback, ChoosingASampleReusesLoadedOnesWithoutAllocating) {
    DrumsHost host(*library);
    EffectDrums& drums = host.drums();
    // Program 1: pad 2 plays the kick's sample too.
    host.dispatch(effSetProgram, 0, 1);
    drums.setPadFileName(2, "\\Samples\\Drums\\Default\\Kick.wav");
    host.setPad(2, kWave, 0.0f);
    EXPECT_EQ(drums.pad(2).sample, drums.pad(0).sample);
    EXPECT_EQ(drums.pad(2).sampleIndex, drums.pad(0).sampleIndex);
    EXPECT_STREQ(drums.program(1).fileNames[2], "\\Samples\\Drums\\Default\\Kick.wav");
    host.dispatch(effSetProgram, 0, 0);

    host.midi(0xC0, 1, 0);  // a program change on the audio thread
    std::vector<float> buffers[kOutputs];
    float* outs[kOutputs];
    for (int k = 0; k < kOutputs; ++k) {
        buffers[k].resize(64);
        outs[k] = buffers[k].data();
    }
    const long before = test_alloc::allocationsOnThisThread();
    host.fx()->processReplacing(host.fx(), nullptr, outs, 64);
    EXPECT_EQ(test_alloc::allocationsOnThisThread() - before, 0);
    EXPECT_EQ(host.dispatch(effGetProgram), 1);
    EXPECT_EQ(drums.pad(2).sample, drums.pad(0).sample);
    EXPECT_EQ(drums.sampleSlots().used(), kPads);

    // A name the store does not have: the pad is silent and the program
    // forgets the name.
    drums.setPadFileName(3, "\\Samples\\Nowhere.wav");
    host.setPad(3, kWave, 0.0f);
    EXPECT_EQ(drums.pad(3).sample, nullptr);
    EXPECT_STREQ(drums.program(1).fileNames[3], "");
    host.noteOn(42);
    host.render(512);
    EXPECT_EQ(peak(host.out[0], 0, 512), 0.0);
}

TEST(DrumsKit, RegisteredModulePlaysTheBuiltInDefaultKit) {
    const ModuleClassEntry* entry = findModuleClass("KavoDrums");
    ASSERT_NE(entry, nullptr);
    AudioEffectX* effect = entry->create(hostCallback);
    AEffect* fx = effect->getAeffect();
    auto& drums = *static_cast<EffectDrums*>(effect);
    for (int k = 0; k < kPads; ++k) {
        ASSERT_NE(drums.pad(k).sample, nullptr) << drum_samples::kDefaultNames[k];
        EXPECT_GT(drums.pad(k).sample->frameCount, 100u) << k;
    }
    std::vector<float> buffers[kOutputs];
    float* outs[kOutputs];
    for (int k = 0; k < kOutputs; ++k) {
        buffers[k].assign(4096, 0.0f);
        outs[k] = buffers[k].data();
    }
    for (int note : kDefaultPadNotes) {
        if (note > 48) break;
        VstMidiEvent e = {};
        e.type = kVstMidiType;
        e.byteSize = sizeof(e);
        e.midiData[0] = static_cast<char>(0x90);
        e.midiData[1] = static_cast<char>(note);
        e.midiData[2] = 127;
        VstEvents list = {};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&e);
        fx->dispatcher(fx, effProcessEvents, 0, 0, &list, 0.0f);
        fx->processReplacing(fx, nullptr, outs, 4096);
        EXPECT_GT(peak(buffers[0], 0, 4096), 0.01) << note;
    }
    fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
}
