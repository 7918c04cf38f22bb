#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/effects_dynamics/hosted_effect.h"
#include "tests/effects_dynamics/signal_analysis.h"

namespace {

enum { kThreshold, kLookahead, kRatio, kAttack, kRelease, kKnee, kLevel };

float thresholdValue(double units) { return static_cast<float>((units + 60.0) / 60.0); }
float ratioValue(double ratio) { return static_cast<float>(std::log(ratio) / std::log(52.0)); }
float kneeValue(double units) { return static_cast<float>(units / 24.0); }
float levelValue(double units) { return static_cast<float>((units + 15.0) / 30.0); }

float floatAt(const std::vector<char>& bytes, size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, sizeof(v));
    return v;
}
void putFloat(std::vector<char>& bytes, size_t offset, float v) { std::memcpy(bytes.data() + offset, &v, sizeof(v)); }

StereoBuffer stereo(const std::vector<float>& mono) {
    StereoBuffer b(mono.size());
    b.left = mono;
    b.right = mono;
    return b;
}

class CompressorTest : public ::testing::TestWithParam<float> {
protected:
    double rate() const { return GetParam(); }

    // Fast detector, no look-ahead; the curve is then set by the caller.
    void configure(HostedEffect& fx, double thresholdUnits, double ratio, double kneeUnits, double levelUnits) {
        fx.setParameter(kThreshold, thresholdValue(thresholdUnits));
        fx.setParameter(kLookahead, 0.0f);
        fx.setParameter(kRatio, ratio >= 1000.0 ? 1.0f : ratioValue(ratio));
        fx.setParameter(kAttack, 0.0f);
        fx.setParameter(kRelease, 0.0f);
        fx.setParameter(kKnee, kneeValue(kneeUnits));
        fx.setParameter(kLevel, levelValue(levelUnits));
        fx.setProgram(0);  // a program change jumps straight to the new curve
    }

    // Output RMS level (units) for a steady sine of the given RMS level. The
    // sine has a period of exactly 40 samples, the detector's window, so the
    // detected level carries no ripple.
    double outputUnits(HostedEffect& fx, double inputUnits) {
        const double amplitude = std::sqrt(2.0) * std::exp2(inputUnits / 6.0);
        const size_t frames = static_cast<size_t>(rate() * 0.4);
        const StereoBuffer out = fx.process(stereo(measure::sine(frames, rate() / 40.0, rate(), amplitude)));
        const size_t window = 4000;
        return measure::units(measure::acRms(out.left, frames - window, frames));
    }
};

// Reduction of the soft-knee curve in units, written out independently of
// the module: a quadratic blend from slope 1 at T - E to slope 1/R at T + E.
double expectedReduction(double v, double t, double ratio, double knee) {
    if (v <= t - knee) return 0.0;
    if (knee > 0.0 && v < t + knee) {
        const double k = v - t + knee;
        const double slope = (ratio - 1.0) / (2.0 * knee * (ratio + 1.0));
        return slope * k * k / (1.0 + slope * k);
    }
    return (1.0 - 1.0 / ratio) * (v - t);
}

}  // namespace

TEST_P(CompressorTest, HardKneeStaticCurve) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    ASSERT_TRUE(fx.valid());
    configure(fx, -24.0, 4.0, 0.0, 0.0);  // make-up 2^(24/6): the threshold maps to 0
    for (double in : {-48.0, -36.0, -26.0, -22.0, -12.0, -6.0}) {
        const double expected = in + 24.0 - expectedReduction(in, -24.0, 4.0, 0.0);
        EXPECT_NEAR(outputUnits(fx, in), expected, 0.05) << "input " << in;
    }
    // Above the threshold 12 units in give 3 units out.
    EXPECT_NEAR(outputUnits(fx, -6.0) - outputUnits(fx, -18.0), 3.0, 0.05);
}

TEST_P(CompressorTest, SoftKneeBlendsIntoTheRatio) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, -24.0, 4.0, 12.0, 0.0);
    for (double in : {-40.0, -36.0, -32.0, -28.0, -24.0, -18.0, -12.0, -4.0}) {
        const double expected = in + 24.0 - expectedReduction(in, -24.0, 4.0, 12.0);
        EXPECT_NEAR(outputUnits(fx, in), expected, 0.05) << "input " << in;
    }
    // At the threshold the knee already reduces, unlike the hard knee.
    HostedEffect hard("KavoCompressor", static_cast<float>(rate()));
    configure(hard, -24.0, 4.0, 0.0, 0.0);
    EXPECT_LT(outputUnits(fx, -24.0), outputUnits(hard, -24.0) - 1.0);
}

TEST_P(CompressorTest, TopOfRatioRangeLimits) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, -30.0, 1000.0, 0.0, 0.0);
    fx.setParameter(kRatio, 0.99f);
    EXPECT_EQ(fx.parameterDisplay(kRatio), "oo:1");
    fx.setProgram(0);
    const double quiet = outputUnits(fx, -20.0);
    const double loud = outputUnits(fx, -2.0);
    EXPECT_NEAR(quiet, 30.0 - 30.0 + 10.0 / 1000.0, 0.05);
    EXPECT_NEAR(loud - quiet, 18.0 / 1000.0, 0.02);
    fx.setParameter(kRatio, 0.98f);
    EXPECT_EQ(fx.parameterDisplay(kRatio), "48.0:1");
}

TEST_P(CompressorTest, MakeUpGainIsHeldAt1024) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, -60.0, 4.0, 0.0, 15.0);  // asks for 2^12.5
    // -80 units stays below the threshold: only the make-up acts.
    const double in = -80.0;
    EXPECT_NEAR(outputUnits(fx, in) - in, 60.0, 0.05);
    // A threshold of -45 asks for 2^10 exactly, which is allowed.
    configure(fx, -45.0, 4.0, 0.0, 15.0);
    EXPECT_NEAR(outputUnits(fx, in) - in, 60.0, 0.05);
    configure(fx, -40.0, 4.0, 0.0, 15.0);
    EXPECT_NEAR(outputUnits(fx, in) - in, 55.0, 0.05);
}

TEST_P(CompressorTest, LookaheadDelaysTheAudioInSamples) {
    for (float x : {0.0f, 0.5f, 1.0f}) {
        HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
        configure(fx, 0.0, 4.0, 0.0, 0.0);  // threshold 0: a click passes untouched
        fx.setParameter(kLookahead, x);
        StereoBuffer in(4000);
        in.left[1000] = in.right[1000] = 0.5f;
        const StereoBuffer out = fx.process(in, 256);
        const size_t expectedDelay = static_cast<size_t>(x * rate() * 0.005);
        EXPECT_EQ(measure::peakIndex(out.left), 1000 + expectedDelay) << "lookahead " << x;
        EXPECT_NEAR(out.left[1000 + expectedDelay], 0.5, 1e-4);
    }
}

TEST_P(CompressorTest, GainReachesTheDelayedAudioEarly) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, -30.0, 1000.0, 0.0, 0.0);
    fx.setParameter(kLookahead, 0.5f);
    const size_t lookahead = static_cast<size_t>(0.5 * rate() * 0.005);
    const size_t step = 8000;
    StereoBuffer in(step + 2000);
    for (size_t i = 0; i < in.size(); ++i) in.left[i] = in.right[i] = i < step ? 0.002f : 0.5f;
    const StereoBuffer out = fx.process(in, 100);
    // Before the step reaches the detector the quiet signal has a steady gain.
    const double steady = out.left[step - 1];
    EXPECT_NEAR(out.left[step - 2], steady, 1e-6);
    // The loud input lowers the gain at once, while the output still carries
    // the quiet samples from before the step...
    EXPECT_LT(out.left[step + lookahead - 1], 0.9 * steady);
    // ...so that when the step itself comes out it is already held near the
    // threshold plus make-up (0 units, amplitude 1) instead of 32 * 0.5.
    EXPECT_LT(out.left[step + lookahead], 1.2);
}

TEST_P(CompressorTest, ParameterChangesGlideProgramChangesJump) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, -30.0, 4.0, 0.0, -15.0);  // make-up 2^(15/6)
    StereoBuffer dc(1600);
    for (size_t i = 0; i < dc.size(); ++i) dc.left[i] = dc.right[i] = 0.001f;
    const double before = fx.process(dc).left.back();
    fx.setParameter(kLevel, levelValue(15.0));  // make-up 2^(45/6), 2^5 = 32 times more
    const StereoBuffer glide = fx.process(dc, 1600);
    // 1 % of the way every 16 samples: after 1600 samples 1 - 0.99^100.
    const double expected = before * (1.0 + (32.0 - 1.0) * (1.0 - std::pow(0.99, 100.0)));
    EXPECT_NEAR(glide.left[15] / before, 1.0 + 31.0 * 0.01, 0.01);
    EXPECT_NEAR(glide.left.back() / expected, 1.0, 0.01);
    fx.setProgram(0);
    EXPECT_NEAR(fx.process(dc).left[0] / before, 32.0, 0.05);
}

TEST_P(CompressorTest, MidiProgramChangeSwitchesAtItsFrame) {
    HostedEffect fx("KavoCompressor", static_cast<float>(rate()));
    configure(fx, 0.0, 4.0, 0.0, 0.0);
    // Program 3: the same but 12 units louder.
    fx.setProgram(3);
    configure(fx, 0.0, 4.0, 0.0, 12.0);
    fx.setProgram(0);
    StereoBuffer dc(64);
    for (size_t i = 0; i < dc.size(); ++i) dc.left[i] = dc.right[i] = 0.01f;
    fx.process(dc);
    EXPECT_EQ(fx.sendMidi(0xC0, 3, 0, 10), 1);
    const StereoBuffer out = fx.process(dc);
    EXPECT_NEAR(out.left[8], 0.01, 1e-4);
    EXPECT_NEAR(out.left[9], 0.04, 1e-3);  // frame d - 1 of the block
    EXPECT_EQ(fx.program(), 3);
}

INSTANTIATE_TEST_SUITE_P(Rates, CompressorTest, ::testing::Values(44100.0f, 96000.0f));

TEST(CompressorChunks, WritesVersion2) {
    HostedEffect fx("KavoCompressor", 44100.0f);
    const float values[7] = {0.25f, 0.5f, 0.75f, 0.1f, 0.2f, 0.3f, 0.9f};
    for (int i = 0; i < 7; ++i) fx.setParameter(i, values[i]);
    const std::vector<char> preset = fx.getChunk(true);
    ASSERT_EQ(preset.size(), 32u);
    EXPECT_EQ(floatAt(preset, 0), 2.0f);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(floatAt(preset, 4 + 4 * static_cast<size_t>(i)), values[i]);

    const std::vector<char> bank = fx.getChunk(false);
    ASSERT_EQ(bank.size(), 836u);
    EXPECT_EQ(bank[0], 2);
    EXPECT_STREQ(&bank[4], "--------");
    EXPECT_EQ(floatAt(bank, 4 + 24 + 4 * kLevel), 0.9f);         // program 0 holds the edits
    EXPECT_STREQ(&bank[4 + 52 * 15], "--------");
    EXPECT_EQ(floatAt(bank, 4 + 52 * 15 + 24 + 4 * kLevel), 0.5f);  // untouched program
}

TEST(CompressorChunks, RoundTripAndRefusals) {
    HostedEffect a("KavoCompressor", 44100.0f);
    for (int i = 0; i < 7; ++i) a.setParameter(i, 0.1f * static_cast<float>(i + 1));
    char name[24] = "Squash";
    a.dispatch(effSetProgramName, 0, 0, name);
    HostedEffect b("KavoCompressor", 44100.0f);
    EXPECT_EQ(b.setChunk(a.getChunk(false), false), 1);
    EXPECT_EQ(b.setChunk(a.getChunk(true), true), 1);
    EXPECT_EQ(b.getChunk(false), a.getChunk(false));
    EXPECT_EQ(b.getChunk(true), a.getChunk(true));
    EXPECT_EQ(b.stringQuery(effGetProgramName), "Squash");

    const std::vector<char> bankBefore = b.getChunk(false);
    const std::vector<char> presetBefore = b.getChunk(true);
    for (size_t size : {0u, 24u, 27u, 29u, 31u, 33u, 36u, 831u, 833u, 835u, 837u}) {
        std::vector<char> junk(size, 0x40);
        EXPECT_EQ(b.setChunk(junk, true), 0) << size;
    }
    for (size_t size : {0u, 28u, 32u, 831u, 833u, 835u, 837u, 1024u}) {
        std::vector<char> junk(size, 0x40);
        EXPECT_EQ(b.setChunk(junk, false), 0) << size;
    }
    EXPECT_EQ(b.getChunk(false), bankBefore);
    EXPECT_EQ(b.getChunk(true), presetBefore);
}

TEST(CompressorChunks, Version1LevelKeepsTheOldMakeUp) {
    // Version 1 preset: the seven values only, Threshold 0.5 and Level 0.4.
    std::vector<char> v1(28, 0);
    putFloat(v1, 4 * kThreshold, 0.5f);
    putFloat(v1, 4 * kLevel, 0.4f);
    HostedEffect fx("KavoCompressor", 44100.0f);
    ASSERT_EQ(fx.setChunk(v1, true), 1);
    EXPECT_NEAR(fx.getParameter(kLevel), (20.0 - 30.0 + 15.0) / 30.0, 1e-6);
    // Old make-up: 50 * Level units = 20 units, whatever the threshold.
    fx.setProgram(0);
    StereoBuffer dc(4000);
    for (size_t i = 0; i < dc.size(); ++i) dc.left[i] = dc.right[i] = 0.001f;
    const StereoBuffer out = fx.process(dc);
    EXPECT_NEAR(measure::units(out.left.back() / (0.001 + 0.00001)), 20.0, 0.01);

    // Version 1 bank: each program converted with its own threshold, and a
    // level beyond the new range kept as it is.
    std::vector<char> bank(832, 0);
    for (int p = 0; p < 16; ++p) {
        const size_t base = 52 * static_cast<size_t>(p);
        std::snprintf(&bank[base], 24, "Old %d", p);
        putFloat(bank, base + 24 + 4 * kThreshold, static_cast<float>(p) / 15.0f);
        putFloat(bank, base + 24 + 4 * kLevel, 1.0f);
    }
    ASSERT_EQ(fx.setChunk(bank, false), 1);
    EXPECT_NEAR(fx.getParameter(kLevel), (20.0 - 30.0 + 15.0) / 30.0, 1e-6);  // live values untouched
    for (int p : {0, 7, 15}) {
        fx.setProgram(p);
        const double threshold = 60.0 * p / 15.0 - 60.0;
        EXPECT_NEAR(fx.getParameter(kLevel), (50.0 + threshold + 15.0) / 30.0, 1e-5) << p;
        EXPECT_EQ(fx.stringQuery(effGetProgramName), "Old " + std::to_string(p));
    }
}

TEST(CompressorText, NamesAndDisplays) {
    HostedEffect fx("KavoCompressor", 44100.0f);
    const char* names[7] = {"Threshold", "Lookahead", "Ratio", "Attack", "Release", "Knee", "Level"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(fx.parameterName(i), names[i]);
    // Program 0 as new: everything 0 except Level.
    EXPECT_EQ(fx.parameterDisplay(kThreshold), "-60.0dB");
    EXPECT_EQ(fx.parameterDisplay(kLookahead), "0.0ms");
    EXPECT_EQ(fx.parameterDisplay(kRatio), "1.0:1");
    EXPECT_EQ(fx.parameterDisplay(kAttack), "0.5ms");
    EXPECT_EQ(fx.parameterDisplay(kRelease), "0.02s");
    EXPECT_EQ(fx.parameterDisplay(kKnee), "0.0dB");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "0.0dB");
    fx.setParameter(kThreshold, 0.75f);
    fx.setParameter(kLookahead, 1.0f);
    fx.setParameter(kAttack, 1.0f);
    fx.setParameter(kRelease, 1.0f);
    fx.setParameter(kKnee, 0.5f);
    fx.setParameter(kLevel, 1.0f);
    EXPECT_EQ(fx.parameterDisplay(kThreshold), "-15.0dB");
    EXPECT_EQ(fx.parameterDisplay(kLookahead), "5.0ms");
    EXPECT_EQ(fx.parameterDisplay(kAttack), "500.0ms");
    EXPECT_EQ(fx.parameterDisplay(kRelease), "10.00s");
    EXPECT_EQ(fx.parameterDisplay(kKnee), "12.0dB");
    EXPECT_EQ(fx.parameterDisplay(kLevel), "15.0dB");
    EXPECT_EQ(fx.parameterDisplay(7), "");
    char program[24];
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, 15, 0, program), 1);
    EXPECT_STREQ(program, "--------");
    EXPECT_EQ(fx.dispatch(effGetProgramNameIndexed, 16, 0, program), 0);
}
