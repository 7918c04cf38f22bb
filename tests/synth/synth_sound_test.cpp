// What the synth sounds like: pitch, level, envelope timing, filter types,
// oscillator modulations, at both common sample rates.
#include <gtest/gtest.h>

#include "tests/synth/synth_test_host.h"

namespace {

using namespace synth;
using synth_test::SynthHost;

// A single sine on DCO1: DCO2 silent by the mix law (m = 0 gives g2 = 0).
void pureSine(SynthHost& h) {
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvAttack, 0.0f);
    h.set(kOutEnvSustain, 1.0f);
}

class SynthAtRate : public ::testing::TestWithParam<float> {};

TEST_P(SynthAtRate, Note69SoundsAt440HzWithCentredTuning) {
    const float sr = GetParam();
    SynthHost h("KavoSynthI", sr);
    ASSERT_TRUE(h.ok());
    // Coarse, Fine centred and Keyboard on are the defaults.
    EXPECT_EQ(h.get(kDco1Coarse), 0.5f);
    EXPECT_EQ(h.get(kDco1Fine), 0.5f);
    EXPECT_EQ(h.display(kDco1Coarse), "0");
    EXPECT_EQ(h.display(kDco1Fine), "0");
    pureSine(h);
    h.noteOn(69);
    const auto x = h.render(static_cast<int>(sr));
    EXPECT_NEAR(synth_test::pitchHz(x, sr, 2000), 440.0, 0.05);
    // Another note follows the keyboard.
    h.noteOff(69);
    h.noteOn(57);
    const auto y = h.render(static_cast<int>(sr));
    EXPECT_NEAR(synth_test::pitchHz(y, sr, 2000), 220.0, 0.05);
}

TEST_P(SynthAtRate, KeyboardOffHoldsNote36) {
    const float sr = GetParam();
    SynthHost h("KavoSynthI", sr);
    pureSine(h);
    h.set(kDco1Keyboard, 0.0f);
    EXPECT_EQ(h.display(kDco1Keyboard), "off");
    for (int note : {40, 90}) {
        h.noteOn(note);
        // The previous note's release overlaps the start.
        const auto x = h.render(static_cast<int>(sr));
        EXPECT_NEAR(synth_test::pitchHz(x, sr, static_cast<size_t>(sr / 4)), 65.406, 0.02) << note;
        h.noteOff(note);
    }
}

TEST_P(SynthAtRate, CoarseAndFineTranspose) {
    const float sr = GetParam();
    SynthHost h("KavoSynthI", sr);
    pureSine(h);
    h.set(kDco1Coarse, 84.5f / 144.0f);  // +12 semitones
    EXPECT_EQ(h.display(kDco1Coarse), "12");
    h.set(kDco1Fine, 0.75f);  // +0.5 semitone
    EXPECT_EQ(h.display(kDco1Fine), "50");
    h.noteOn(69);
    const auto x = h.render(static_cast<int>(sr / 2));
    EXPECT_NEAR(synth_test::pitchHz(x, sr, 2000), 880.0 * std::pow(2.0, 0.5 / 12.0), 0.1);
}

TEST_P(SynthAtRate, EnvelopeTimesFollowTheTable) {
    const float sr = GetParam();
    SynthHost h("KavoSynthI", sr);
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvAttack, 0.5f);   // 0.002 * 1000^0.5 = 63.2 ms to full level
    h.set(kOutEnvSustain, 1.0f);
    h.set(kOutEnvRelease, 0.3f);  // 0.01 * 1000^0.3 = 79.4 ms to 1 %
    EXPECT_EQ(h.display(kOutEnvAttack), "63ms");
    EXPECT_EQ(h.display(kOutEnvRelease), "79ms");
    h.noteOn(100);  // 2637 Hz: a cycle is under 40 frames even at 96 kHz
    const int attackFrames = static_cast<int>(0.0632456 * sr);
    const int holdFrames = static_cast<int>(sr / 4);
    const auto x = h.render(holdFrames);
    h.noteOff(100);
    const auto y = h.render(static_cast<int>(sr / 4));

    // Peak level over one cycle windows: the attack is linear, so half level
    // comes at half the attack time.
    const int window = static_cast<int>(sr / 2637.0) + 2;
    auto firstAtOrAbove = [&](const std::vector<float>& s, double level) {
        for (size_t i = 0; i + window < s.size(); ++i)
            if (synth_test::peak(s, i, i + window) >= level) return static_cast<int>(i + window);
        return -1;
    };
    auto firstBelow = [&](const std::vector<float>& s, double level) {
        for (size_t i = 0; i + window < s.size(); ++i)
            if (synth_test::peak(s, i, i + window) < level) return static_cast<int>(i);
        return -1;
    };
    const double full = synth_test::peak(x, holdFrames - 2000, holdFrames);
    EXPECT_NEAR(full, std::pow(50.0, 0.84) / 25.0, 0.01);  // level 0.84
    EXPECT_NEAR(firstAtOrAbove(x, 0.5 * full), attackFrames / 2, window + 16);
    EXPECT_NEAR(firstAtOrAbove(x, 0.999 * full), attackFrames, window + 16);
    const int releaseFrames = static_cast<int>(0.0794328 * sr);
    EXPECT_NEAR(firstBelow(y, 0.01 * full), releaseFrames, window + 16);
    EXPECT_NEAR(firstBelow(y, 0.1 * full), releaseFrames / 2, window + 16);
}

INSTANTIATE_TEST_SUITE_P(Rates, SynthAtRate, ::testing::Values(44100.0f, 96000.0f));

TEST(SynthLevel, UnityLevelDisplaysZeroDbAndGivesGainOne) {
    SynthHost h;
    pureSine(h);
    h.set(kOutLevel, 0.8228162f);
    EXPECT_EQ(h.display(kOutLevel), "0dB");
    std::vector<float> right;
    h.noteOn(69);
    const auto left = h.render(44100, &right);
    EXPECT_NEAR(synth_test::peak(left, 22050, 44100), 1.0, 0.001);
    EXPECT_NEAR(synth_test::peak(right, 22050, 44100), 1.0, 0.001);
}

TEST(SynthLevel, LevelCurveMatchesItsDisplay) {
    for (float v : {0.95f, 0.6f, 0.3f}) {
        SynthHost h;
        pureSine(h);
        h.set(kOutLevel, v);
        h.noteOn(69);
        const auto x = h.render(22050);
        const double measuredDb = synth_test::toDb(synth_test::peak(x, 11025, 22050));
        const double expectedDb = v > 0.5f ? synth_test::toDb(std::pow(50.0, v) / 25.0)
                                           : synth_test::toDb(std::pow(200.0, v) / 50.0);
        EXPECT_NEAR(measuredDb, expectedDb, 0.01) << v;
        // The display is the same curve to within its rounding and the
        // small difference between its straight line and the true curve.
        const double shownDb = std::atof(h.display(kOutLevel).c_str());
        EXPECT_NEAR(shownDb, measuredDb, 0.2) << v;
    }
    SynthHost h;
    h.set(kOutLevel, 0.005f);
    EXPECT_EQ(h.display(kOutLevel), "oo");
}

TEST(SynthLevel, VelocitySensitivityAndBalance) {
    SynthHost h;
    pureSine(h);
    h.set(kOutVelocity, 1.0f);
    h.set(kOutBalance, 1.0f);  // hard right
    std::vector<float> right;
    h.noteOn(69, 63);
    const auto left = h.render(22050, &right);
    const double gain = std::pow(50.0, 0.84) / 25.0;
    EXPECT_NEAR(synth_test::peak(right, 11025, 22050), gain * (1.0 - 64.0 / 128.0), 0.002);
    EXPECT_LT(synth_test::peak(left, 11025, 22050), 1e-6);
}

// Noise through the filter, cutoff near 1 kHz, Q 1, no envelope, no
// keyboard tracking.
std::vector<float> filteredNoise(float type) {
    SynthHost h;
    h.set(kDco1Wave, 1.0f);  // noise
    h.set(kDcoMix, 0.0f);
    h.set(kOutEnvAttack, 0.0f);
    h.set(kOutEnvSustain, 1.0f);
    h.set(kFilterDco1, 1.0f);
    h.set(kFilterKeyboard, 0.0f);
    h.set(kFilterFrequency, 0.7094f);  // (128 v - 32) semitones above 33.5 Hz
    h.set(kFilterQ, 0.5f);
    h.set(kFilterType, type);
    h.noteOn(60);
    h.render(4096);
    return h.render(44100 * 2);
}

struct Bands {
    double low, mid, high;
};
Bands bands(const std::vector<float>& x) {
    return {synth_test::bandPowerDb(x, 44100, 100, 300), synth_test::bandPowerDb(x, 44100, 800, 1200),
            synth_test::bandPowerDb(x, 44100, 4000, 10000)};
}

TEST(SynthFilterTypes, ThreeTypesByTheirSpectra) {
    const Bands lp = bands(filteredNoise(0.0f));
    const Bands bp = bands(filteredNoise(0.5f));
    const Bands bp99 = bands(filteredNoise(0.99f));
    const Bands hp = bands(filteredNoise(1.0f));
    // Two sections: 24 dB per octave away from the cutoff.
    EXPECT_GT(lp.low, lp.high + 45.0);
    EXPECT_GT(hp.high, hp.low + 45.0);
    EXPECT_GT(bp.mid, bp.low + 20.0);
    EXPECT_GT(bp.mid, bp.high + 20.0);
    EXPECT_NEAR(bp99.mid, bp.mid, 1.0);
    EXPECT_NEAR(bp99.low, bp.low, 1.0);
    // Near the passband the low pass is flat.
    EXPECT_NEAR(lp.low, hp.high, 3.0);
    SynthHost h;
    h.set(kFilterType, 0.5f);
    EXPECT_EQ(h.display(kFilterType), "Band Pass");
    h.set(kFilterType, 0.99f);
    EXPECT_EQ(h.display(kFilterType), "High Pass");  // the display's bound is 0.66
    h.set(kFilterType, 0.0f);
    EXPECT_EQ(h.display(kFilterType), "Low Pass");
}

TEST(SynthFilterTypes, OneSectionHalvesTheSlope) {
    auto render = [](float pente) {
        SynthHost h;
        h.set(kDco1Wave, 1.0f);
        h.set(kDcoMix, 0.0f);
        h.set(kOutEnvSustain, 1.0f);
        h.set(kFilterDco1, 1.0f);
        h.set(kFilterKeyboard, 0.0f);
        h.set(kFilterFrequency, 0.7094f);
        h.set(kFilterQ, 0.5f);
        h.set(kFilterPente, pente);
        h.noteOn(60);
        h.render(4096);
        return h.render(44100 * 2);
    };
    const auto two = render(0.0f);
    const auto four = render(1.0f);
    const double drop2 = synth_test::bandPowerDb(two, 44100, 100, 300) - synth_test::bandPowerDb(two, 44100, 7000, 9000);
    const double drop4 =
        synth_test::bandPowerDb(four, 44100, 100, 300) - synth_test::bandPowerDb(four, 44100, 7000, 9000);
    EXPECT_NEAR(drop4, 2.0 * drop2, 4.0);
    EXPECT_GT(drop2, 25.0);
}

TEST(SynthOscillators, RingModulationGivesSumAndDifference) {
    SynthHost h;
    h.set(kDco2Wave, 0.8f);  // ring modulation
    h.set(kDco2Coarse, 79.5f / 144.0f);  // +7 semitones
    h.set(kDcoMix, 1.0f);  // DCO2 only
    h.set(kOutEnvSustain, 1.0f);
    h.noteOn(69);
    h.render(4096);
    const auto x = h.render(44100);
    const double f1 = 440.0, f2 = 440.0 * std::pow(2.0, 7.0 / 12.0);
    const double sum = synth_test::toneAmplitude(x, f1 + f2, 44100, 0, x.size());
    const double diff = synth_test::toneAmplitude(x, f2 - f1, 44100, 0, x.size());
    EXPECT_NEAR(sum, diff, 0.05 * sum);
    EXPECT_LT(synth_test::toneAmplitude(x, f1, 44100, 0, x.size()), 0.01 * sum);
    EXPECT_LT(synth_test::toneAmplitude(x, f2, 44100, 0, x.size()), 0.01 * sum);
}

TEST(SynthOscillators, SawHasAllHarmonicsPulseAtHalfWidthOnlyOddOnes) {
    auto harmonics = [](float wave) {
        SynthHost h;
        h.set(kDco1Wave, wave);
        h.set(kDco1Pulse, 0.0f);  // 50 %
        h.set(kDcoMix, 0.0f);
        h.set(kOutEnvSustain, 1.0f);
        h.noteOn(57);  // 220 Hz
        h.render(4096);
        const auto x = h.render(44100);
        std::vector<double> a;
        for (int k = 1; k <= 4; ++k) a.push_back(synth_test::toneAmplitude(x, 220.0 * k, 44100, 0, x.size()));
        return a;
    };
    const auto saw = harmonics(0.25f);
    EXPECT_NEAR(saw[1] / saw[0], 0.5, 0.02);
    EXPECT_NEAR(saw[2] / saw[0], 1.0 / 3.0, 0.02);
    const auto pulse = harmonics(0.5f);
    EXPECT_LT(pulse[1], 0.05 * pulse[0]);  // 8150 of 16384 steps: nearly square
    EXPECT_NEAR(pulse[2] / pulse[0], 1.0 / 3.0, 0.03);
}

TEST(SynthOscillators, HardSyncLocksDco2ToDco1) {
    SynthHost h;
    h.set(kDco2Wave, 0.25f);  // saw
    h.set(kDco2Coarse, 76.5f / 144.0f);  // +4 semitones, not a harmonic
    h.set(kDcoSynchro, 1.0f);
    h.set(kDcoMix, 1.0f);
    h.set(kOutEnvSustain, 1.0f);
    h.noteOn(57);
    h.render(4096);
    const auto x = h.render(44100);
    // Synced, DCO2's waveform repeats at DCO1's 220 Hz.
    const double fundamental = synth_test::toneAmplitude(x, 220.0, 44100, 0, x.size());
    const double own = synth_test::toneAmplitude(x, 220.0 * std::pow(2.0, 4.0 / 12.0), 44100, 0, x.size());
    EXPECT_GT(fundamental, 0.05);
    EXPECT_LT(own, 0.5 * fundamental);
}

TEST(SynthModulation, PitchBendFollowsTheRange) {
    SynthHost h;
    pureSine(h);
    h.set(kDco1PitchBend, 0.75f);  // +-12 semitones
    EXPECT_EQ(h.display(kDco1PitchBend), "12");
    h.noteOn(69);
    h.send({{0, 0xE0, 0, 96}});  // bend (96 - 64) / 64 = half up
    h.render(4096);
    const auto x = h.render(44100);
    EXPECT_NEAR(synth_test::pitchHz(x, 44100), 440.0 * std::pow(2.0, 6.0 / 12.0), 0.1);
}

TEST(SynthModulation, VibratoFollowsTheModWheel) {
    SynthHost h;
    pureSine(h);
    h.set(kDco1LfoFrequency, 1.0f / 3.0f);  // LFO1 on pitch
    h.set(kLfo1Depth, 0.5f);                // 400^0.5 / 200 = 0.1 octave
    h.set(kLfo1Rate, 0.6f);                 // 500^0.6 / 25 = 1.73 Hz
    h.set(kLfo1ModWheel, 1.0f);
    h.noteOn(69);
    h.render(4096);
    auto spread = [&]() {
        double lo = 1e9, hi = 0.0;
        for (int i = 0; i < 20; ++i) {
            const auto x = h.render(2205);
            const double f = synth_test::pitchHz(x, 44100);
            lo = std::min(lo, f);
            hi = std::max(hi, f);
        }
        return hi / lo;
    };
    EXPECT_LT(spread(), 1.002);
    h.controller(1, 127);
    EXPECT_GT(spread(), std::pow(2.0, 0.15));  // about +-0.1 octave
}

TEST(SynthModulation, GlideMovesGradually) {
    SynthHost h;
    pureSine(h);
    h.set(kMonoMode, 1.0f);
    h.set(kDco1Glissando, 0.25f);  // a 51st of the distance per control tick
    h.noteOn(57);
    h.render(22050);
    h.noteOn(69);  // legato on the one mono voice
    const auto early = h.render(800);
    const auto late = h.render(22050);
    const double start = synth_test::pitchHz(early, 44100);
    EXPECT_GT(start, 240.0);
    EXPECT_LT(start, 400.0);
    EXPECT_NEAR(synth_test::pitchHz(late, 44100, 11025), 440.0, 0.5);
}

}  // namespace
