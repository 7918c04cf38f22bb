#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/effects_dynamics/filter_response.h"
#include "tests/effects_dynamics/hosted_effect.h"
#include "tests/effects_dynamics/signal_analysis.h"

namespace {

enum {
    kFilterType,
    kFilterFrequency,
    kFilterQ,
    kLfoFrequency,
    kLfoQ,
    kEnvAttack,
    kEnvRelease,
    kEnvDepth,
    kEnvStep,
    kLfoWave,
    kLfoRate,
    kLfoDepth,
    kLfoSync,
    kMix,
    kLevel,
    kLfoLevel
};

// The host's time information for the block being rendered; null means the
// host has none.
VstTimeInfo* gTime = nullptr;

VstIntPtr VSTCALLBACK songHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(gTime);
    if (opcode == audioMasterVersion) return 2400;
    return 0;
}

struct SongClock {
    double startPosition = 0.0;  // host sample position of the first frame
    double tempo = 120.0;
    bool playing = true;
    bool present = true;
};

// Renders in place in blocks (the first ones as given, then 256 frames),
// answering each block's time request from the clock.
StereoBuffer renderWithClock(HostedEffect& fx, const StereoBuffer& input, const SongClock& clock, double rate,
                             std::vector<size_t> leadingBlocks = {}) {
    StereoBuffer io = input;
    VstTimeInfo time;
    size_t start = 0, block = 0;
    while (start < io.size()) {
        size_t n = block < leadingBlocks.size() ? leadingBlocks[block] : 256;
        n = std::min(n, io.size() - start);
        std::memset(&time, 0, sizeof(time));
        time.samplePos = clock.startPosition + static_cast<double>(start);
        time.sampleRate = rate;
        time.tempo = clock.tempo;
        time.timeSigNumerator = time.timeSigDenominator = 4;
        time.flags = kVstTempoValid | kVstPpqPosValid | (clock.playing ? kVstTransportPlaying : 0);
        gTime = clock.present ? &time : nullptr;
        fx.processInPlace(io.left.data() + start, io.right.data() + start, static_cast<VstInt32>(n));
        gTime = nullptr;
        start += n;
        ++block;
    }
    return io;
}

size_t firstDifference(const StereoBuffer& a, const StereoBuffer& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a.left[i] != b.left[i] || a.right[i] != b.right[i]) return i;
    return a.size();
}

// Control steps run on every 16th sample, frames 15, 31, 47, ...
size_t controlStepAtOrAfter(size_t frame) { return frame + (15 + 16 - frame % 16) % 16; }

StereoBuffer toneIn(size_t frames, double hz, double rate, double amplitude) {
    StereoBuffer in(frames);
    in.left = in.right = measure::sine(frames, hz, rate, amplitude);
    return in;
}

StereoBuffer constantIn(size_t frames, float value) {
    StereoBuffer in(frames);
    std::fill(in.left.begin(), in.left.end(), value);
    std::fill(in.right.begin(), in.right.end(), value);
    return in;
}

class FilterTest : public ::testing::TestWithParam<float> {
protected:
    double rate() const { return GetParam(); }
    double sixteenth() const { return rate() * 60.0 / 120.0 * 0.25; }

    // The envelope opens a closed low pass: a trigger restarts the attack,
    // and one control step later the cutoff has moved.
    void configureEnvelopeProbe(HostedEffect& fx, int envStep) {
        fx.setParameter(kFilterType, 0.0f);
        fx.setParameter(kFilterFrequency, 0.0f);
        fx.setParameter(kEnvAttack, 0.0f);
        fx.setParameter(kEnvRelease, 1.0f);
        fx.setParameter(kEnvDepth, 1.0f);
        fx.setParameter(kEnvStep, static_cast<float>(envStep) / 5.0f);
        fx.setParameter(kMix, 1.0f);
        fx.setProgram(0);
    }

    // Frame at which the module's first envelope trigger acts, found by
    // comparison with a stopped transport; the probe shows a trigger at
    // frame f first at the control step after the one that handles it.
    size_t firstTriggerEffect(int envStep, double startPosition, std::vector<size_t> blocks = {},
                              size_t frames = 0) {
        HostedEffect playing("KavoFilter", static_cast<float>(rate()), songHost);
        HostedEffect stopped("KavoFilter", static_cast<float>(rate()), songHost);
        configureEnvelopeProbe(playing, envStep);
        configureEnvelopeProbe(stopped, envStep);
        const StereoBuffer in = toneIn(frames ? frames : 2048, 5000.0, rate(), 0.5);
        SongClock clock;
        clock.startPosition = startPosition;
        const StereoBuffer a = renderWithClock(playing, in, clock, rate(), blocks);
        clock.playing = false;
        const StereoBuffer b = renderWithClock(stopped, in, clock, rate(), blocks);
        return firstDifference(a, b);
    }
};

}  // namespace

TEST_P(FilterTest, TriggersFireOneSampleBeforeEachSixteenth) {
    // At 120 BPM a sixteenth is 5512.5 samples at 44.1 kHz (12000 at 96 kHz);
    // the trigger of boundary b fires at trunc(b) - 1.
    for (int boundary : {1, 2, 3, 7}) {
        const double position = std::floor(boundary * sixteenth());
        // Fire frame 79 is a control step: the effect shows at 95 ...
        EXPECT_EQ(firstTriggerEffect(0, position - 1.0 - 79.0), 95u) << boundary;
        // ... and one frame later it misses that step and shows at 111.
        EXPECT_EQ(firstTriggerEffect(0, position - 1.0 - 80.0), 111u) << boundary;
    }
}

TEST_P(FilterTest, TriggerAtTheStartOfABlockFiresThere) {
    const double position = std::floor(2 * sixteenth());
    // The boundary falls on frame 80. Inside a block it fires at 79...
    EXPECT_EQ(firstTriggerEffect(0, position - 80.0), 95u);
    // ...on the first frame of a block it cannot fire earlier (offset 0)...
    EXPECT_EQ(firstTriggerEffect(0, position - 80.0, {80}), 111u);
    // ...and an offset of 1 fires on the block's first frame, 79.
    EXPECT_EQ(firstTriggerEffect(0, position - 80.0, {79}), 95u);
}

TEST_P(FilterTest, EnvStepSelectsEveryNthSixteenth) {
    // Start just after sixteenth 16, where every mask matches.
    const double start = std::floor(16 * sixteenth()) + 10.0;
    const size_t frames = static_cast<size_t>(17 * sixteenth());
    const int firstMatching[6] = {17, 18, 20, 24, 32, 17};
    for (int step = 0; step <= 5; ++step) {
        const double fire = std::floor(firstMatching[step] * sixteenth()) - 1.0 - start;
        const size_t expected = controlStepAtOrAfter(static_cast<size_t>(fire)) + 16;
        EXPECT_EQ(firstTriggerEffect(step, start, {}, frames), expected) << "step " << step;
    }
}

TEST_P(FilterTest, NoTriggersWithoutARunningTransport) {
    const StereoBuffer in = toneIn(static_cast<size_t>(rate()), 5000.0, rate(), 0.5);
    SongClock clock;
    clock.playing = false;
    HostedEffect stopped("KavoFilter", static_cast<float>(rate()), songHost);
    HostedEffect noTime("KavoFilter", static_cast<float>(rate()), songHost);
    HostedEffect noHost("KavoFilter", static_cast<float>(rate()));
    HostedEffect playing("KavoFilter", static_cast<float>(rate()), songHost);
    for (HostedEffect* fx : {&stopped, &noTime, &noHost, &playing}) configureEnvelopeProbe(*fx, 0);
    const StereoBuffer a = renderWithClock(stopped, in, clock, rate());
    clock.present = false;
    const StereoBuffer b = renderWithClock(noTime, in, clock, rate());
    const StereoBuffer c = noHost.process(in, 256);
    clock.present = true;
    clock.playing = true;
    const StereoBuffer d = renderWithClock(playing, in, clock, rate());
    EXPECT_EQ(firstDifference(a, b), a.size());
    EXPECT_EQ(firstDifference(a, c), a.size());
    EXPECT_LT(firstDifference(a, d), 64u);  // position 0 is a boundary
}

TEST_P(FilterTest, TypesBySpectrum) {
    const double f0 = cornerHz(0.5, rate());
    for (float type : {0.0f, 0.5f, 0.9f, 1.0f}) {
        double gain[3];
        const double frequencies[3] = {f0 / 8.0, f0, 4.0 * f0};
        for (int i = 0; i < 3; ++i) {
            HostedEffect fx("KavoFilter", static_cast<float>(rate()));
            fx.setParameter(kFilterType, type);
            fx.setParameter(kMix, 1.0f);
            fx.setProgram(0);
            gain[i] = gainDb(fx, frequencies[i], rate());
        }
        // Q = 1 (FilterQ 0.5): each section passes exactly 1 at the corner.
        EXPECT_NEAR(gain[1], 0.0, 0.3) << type;
        if (type == 0.0f) {
            EXPECT_NEAR(gain[0], 0.0, 0.3);
            EXPECT_LT(gain[2], -40.0);
        } else if (type < 1.0f) {  // 0.9 still filters as a band pass
            EXPECT_LT(gain[0], -30.0) << type;
            EXPECT_LT(gain[2], -20.0) << type;
        } else {
            EXPECT_LT(gain[0], -60.0);
            EXPECT_NEAR(gain[2], 0.0, 0.7);
        }
    }
}

TEST_P(FilterTest, MixCrossfadesDryAndWet) {
    const double f = 4.0 * cornerHz(0.5, rate());  // deep in the low pass's stop band
    HostedEffect fx("KavoFilter", static_cast<float>(rate()));
    fx.setParameter(kMix, 0.0f);  // dry only
    fx.setProgram(0);
    EXPECT_NEAR(gainDb(fx, f, rate()), 0.0, 0.01);
    fx.setParameter(kLevel, 1.0f);
    fx.setProgram(0);
    EXPECT_NEAR(gainDb(fx, f, rate()), 15.05, 0.02);  // 32 / sqrt(32)
    fx.setParameter(kLevel, 0.5f);
    fx.setParameter(kMix, 0.125f);  // wet at 0.125 of full
    fx.setProgram(0);
    const double passband = cornerHz(0.5, rate()) / 8.0;
    EXPECT_NEAR(gainDb(fx, passband, rate()), measure::db(1.125), 0.05);
}

TEST_P(FilterTest, LfoLevelSwingsBelowZeroAndAboveUnity) {
    HostedEffect fx("KavoFilter", static_cast<float>(rate()));
    fx.setParameter(kMix, 0.0f);
    fx.setParameter(kLfoWave, 0.25f);                                                   // square
    fx.setParameter(kLfoRate, static_cast<float>(std::log(12.5) / std::log(500.0)));  // 0.5 Hz
    fx.setParameter(kLfoDepth, 1.0f);                                                   // depth 2
    fx.setParameter(kLfoLevel, 1.0f);
    fx.setProgram(0);
    const StereoBuffer out = fx.process(constantIn(static_cast<size_t>(2.0 * rate()), 0.5f));
    // First half cycle +2: factor 1 - 3/2; second half -2: factor 1 + 1/2.
    EXPECT_NEAR(out.left[static_cast<size_t>(0.9 * rate())], 0.5 * -0.5, 1e-3);
    EXPECT_NEAR(out.left[static_cast<size_t>(1.9 * rate())], 0.5 * 1.5, 1e-3);
}

TEST_P(FilterTest, LfoSweepsTheCutoff) {
    const double f0 = cornerHz(0.5, rate());
    HostedEffect fx("KavoFilter", static_cast<float>(rate()));
    fx.setParameter(kMix, 1.0f);
    fx.setParameter(kLfoFrequency, 1.0f);
    fx.setParameter(kLfoWave, 0.25f);
    fx.setParameter(kLfoRate, static_cast<float>(std::log(12.5) / std::log(500.0)));
    fx.setParameter(kLfoDepth, static_cast<float>(std::log(100.0) / std::log(400.0)));  // depth 0.5
    fx.setProgram(0);
    const size_t frames = static_cast<size_t>(2.0 * rate());
    const StereoBuffer out = fx.process(toneIn(frames, f0, rate(), 0.1));
    auto at = [&](double from, double to) {
        return measure::toneAmplitude(out.left, static_cast<size_t>(from * rate()), static_cast<size_t>(to * rate()),
                                      f0, rate());
    };
    // Cutoff x 8^0.5 (beyond the top, held there), then / 8^0.5: about 3 octaves below f0.
    EXPECT_GT(at(0.5, 0.95), 0.09);
    EXPECT_LT(at(1.5, 1.95), 0.001);
}

TEST_P(FilterTest, SampleAndHoldWithSyncDrawsOnlyAtTriggers) {
    for (float sync : {1.0f, 0.5f}) {
        HostedEffect fx("KavoFilter", static_cast<float>(rate()), songHost);
        fx.setParameter(kMix, 0.0f);
        fx.setParameter(kLfoWave, 1.0f);
        fx.setParameter(kLfoRate, 1.0f);  // 20 Hz
        fx.setParameter(kLfoDepth, 1.0f);
        fx.setParameter(kLfoLevel, 1.0f);
        fx.setParameter(kLfoSync, sync);
        fx.setParameter(kEnvStep, 0.8f);  // every 16 sixteenths: 2 s at 120 BPM
        fx.setProgram(0);
        SongClock clock;
        clock.startPosition = 16.0 * sixteenth() - 0.5 * rate();  // a trigger after 0.5 s
        const StereoBuffer out = renderWithClock(fx, constantIn(static_cast<size_t>(1.9 * rate()), 0.5f), clock, rate());
        const size_t from = static_cast<size_t>(1.0 * rate());
        double low = 1e9, high = -1e9;
        for (size_t i = from; i < out.size(); ++i) {
            low = std::min(low, static_cast<double>(out.left[i]));
            high = std::max(high, static_cast<double>(out.left[i]));
        }
        if (sync == 1.0f) {
            // Held before the trigger and held after it, at a new value.
            const float before = out.left[static_cast<size_t>(0.49 * rate())];
            EXPECT_NEAR(out.left[static_cast<size_t>(0.4 * rate())], before, 1e-5);
            EXPECT_LT(high - low, 1e-4);
            EXPECT_GT(std::fabs(out.left[from] - before), 1e-3);
        } else {
            EXPECT_GT(high - low, 0.05);  // a new value every cycle
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FilterTest, ::testing::Values(44100.0f, 96000.0f));

TEST(FilterEnvStep, StoredAsStepNumber) {
    HostedEffect fx("KavoFilter", 44100.0f);
    fx.setParameter(kEnvStep, 1.0f);
    EXPECT_EQ(fx.getParameter(kEnvStep), 1.0f);
    EXPECT_EQ(fx.parameterDisplay(kEnvStep), "1/16");
    std::vector<char> preset = fx.getChunk(true);
    ASSERT_EQ(preset.size(), 64u);
    float v;
    std::memcpy(&v, &preset[4 * kEnvStep], 4);
    EXPECT_EQ(v, 5.0f);
    const std::vector<char> bank = fx.getChunk(false);
    ASSERT_EQ(bank.size(), 16u * 88u);
    std::memcpy(&v, &bank[24 + 4 * kEnvStep], 4);
    EXPECT_EQ(v, 5.0f);

    // Read back, the step number is taken as it is.
    HostedEffect other("KavoFilter", 44100.0f);
    EXPECT_EQ(other.setChunk(preset, true), 1);
    EXPECT_EQ(other.getParameter(kEnvStep), 1.0f);
    EXPECT_EQ(other.getChunk(true), preset);

    const struct {
        float value;
        float step;
        const char* text;
    } cases[] = {{0.0f, 0, "1/1"}, {0.19f, 0, "1/1"}, {0.2f, 1, "1/2"}, {0.5f, 2, "1/4"},
                 {0.6f, 3, "1/8"}, {0.8f, 4, "1/16"}, {0.96f, 4, "1/16"}, {0.97f, 5, "1/16"}};
    for (const auto& c : cases) {
        fx.setParameter(kEnvStep, c.value);
        EXPECT_FLOAT_EQ(fx.getParameter(kEnvStep), c.step / 5.0f) << c.value;
        EXPECT_EQ(fx.parameterDisplay(kEnvStep), c.text) << c.value;
    }
    // A damaged step number is held to 0 .. 5.
    std::memcpy(&preset[4 * kEnvStep], &(v = 37.0f), 4);
    EXPECT_EQ(other.setChunk(preset, true), 1);
    EXPECT_EQ(other.getParameter(kEnvStep), 1.0f);
    std::memcpy(&preset[4 * kEnvStep], &(v = -3.0f), 4);
    EXPECT_EQ(other.setChunk(preset, true), 1);
    EXPECT_EQ(other.getParameter(kEnvStep), 0.0f);
}

TEST(FilterChunks, RoundTripAndRefusals) {
    HostedEffect a("KavoFilter", 44100.0f);
    for (int i = 0; i < 16; ++i) a.setParameter(i, 0.05f * static_cast<float>(i + 1));
    HostedEffect b("KavoFilter", 44100.0f);
    EXPECT_EQ(b.setChunk(a.getChunk(false), false), 1);
    EXPECT_EQ(b.setChunk(a.getChunk(true), true), 1);
    EXPECT_EQ(b.getChunk(false), a.getChunk(false));
    EXPECT_EQ(b.getChunk(true), a.getChunk(true));
    const std::vector<char> bank = b.getChunk(false), preset = b.getChunk(true);
    for (size_t size : {0u, 60u, 63u, 65u, 88u, 1408u}) EXPECT_EQ(b.setChunk(std::vector<char>(size, 3), true), 0);
    for (size_t size : {0u, 64u, 1407u, 1409u, 1320u}) EXPECT_EQ(b.setChunk(std::vector<char>(size, 3), false), 0);
    EXPECT_EQ(b.getChunk(false), bank);
    EXPECT_EQ(b.getChunk(true), preset);
}

TEST(FilterText, NamesAndDisplays) {
    HostedEffect fx("KavoFilter", 44100.0f);
    const char* names[16] = {"FilterType", "FilterFrequency", "FilterQ", "LfoFrequency", "LfoQ",     "EnvAttack",
                             "EnvRelease", "EnvDepth",        "EnvStep", "LfoWave",      "LfoRate",  "LfoDepth",
                             "LfoSync",    "Mix",             "Level",   "LfoLevel"};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fx.parameterName(i), names[i]);
    const char* defaults[16] = {"Low Pass", "400Hz", "0.50", "off", "off",  "2ms",   "10ms", "0.00",
                                "1/1",      "Sin",   "1.12s", "0.00", "off", "0.00", "0.0dB", "off"};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fx.parameterDisplay(i), defaults[i]) << i;
    fx.setParameter(kLfoFrequency, 0.99f);
    EXPECT_EQ(fx.parameterDisplay(kLfoFrequency), "off");  // acts, but reads "on" only at 1.0
    fx.setParameter(kLfoSync, 1.0f);
    EXPECT_EQ(fx.parameterDisplay(kLfoSync), "on");
    const struct {
        float value;
        const char* text;
    } waves[] = {{0.19f, "Sin"}, {0.25f, "Square"}, {0.5f, "Saw Down"}, {0.75f, "Saw Up"}, {0.8f, "S/H"}};
    for (const auto& w : waves) {
        fx.setParameter(kLfoWave, w.value);
        EXPECT_EQ(fx.parameterDisplay(kLfoWave), w.text);
    }
    fx.setParameter(kEnvAttack, 1.0f);
    fx.setParameter(kEnvRelease, 1.0f);
    fx.setParameter(kLfoRate, 1.0f);
    fx.setParameter(kFilterFrequency, 1.0f);
    EXPECT_EQ(fx.parameterDisplay(kEnvAttack), "2000ms");
    EXPECT_EQ(fx.parameterDisplay(kEnvRelease), "10000ms");
    EXPECT_EQ(fx.parameterDisplay(kLfoRate), "0.05s");
    EXPECT_EQ(fx.parameterDisplay(kFilterFrequency), "16000Hz");
}
