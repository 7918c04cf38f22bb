// The echo module, measured from impulse responses: each response is the
// difference between a module fed an impulse and a twin fed silence, so the
// constant anti-denormal offset cancels and only the echoes remain.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <utility>

#include "effects/dsp/param_curves.h"
#include "tests/effects_time/fx_test_host.h"

using fxtest::HostedEffect;
using fxtest::Stereo;

namespace {

enum {
    kTime,
    kStep,
    kLock,
    kFeedback,
    kPingPong,
    kFilter,
    kLowCut,
    kHiCut,
    kMix,
    kPan,
    kMono,
    kLevel
};

constexpr double kPi = 3.141592653589793;

using Settings = std::function<void(HostedEffect&)>;

// Two identical delays; both settle (the delay time glides from 0 after
// construction), then one gets the input and the other silence.
class DelayRig {
public:
    DelayRig(float rate, const Settings& settings, size_t settleFrames = 30000)
        : hit_("KavoDelay", rate), quiet_("KavoDelay", rate) {
        for (HostedEffect* e : {&hit_, &quiet_}) {
            e->set(kMix, 1.0f);  // wet only, unity level, centre
            e->set(kLevel, 0.5f);
            settings(*e);
            e->dispatch(effSetProgram, 0, 0);  // gains jump to their targets
            e->silence(settleFrames, 512);
        }
    }
    Stereo response(const Stereo& input) {
        const Stereo a = hit_.process(input, 512);
        const Stereo b = quiet_.silence(input.size(), 512);
        Stereo d(input.size());
        d.left = fxtest::minus(a.left, b.left);
        d.right = fxtest::minus(a.right, b.right);
        return d;
    }
    HostedEffect& hit() { return hit_; }

private:
    HostedEffect hit_, quiet_;
};

double dB(double ratio) { return 20.0 * std::log10(ratio); }

class DelayAtRate : public testing::TestWithParam<float> {
protected:
    float rate() const { return GetParam(); }
    void TearDown() override { fxtest::setHostTime(nullptr); }
};

}  // namespace

TEST_P(DelayAtRate, FreeTimeEchoLandsOnItsSample) {
    // Time 0: 0.05 s, a whole number of samples at both rates.
    DelayRig rig(rate(), [](HostedEffect& e) { e.set(kTime, 0.0f); });
    const size_t d = static_cast<size_t>(0.05 * rate() + 0.5);
    const Stereo h = rig.response(fxtest::impulse(3 * d));
    EXPECT_NEAR(h.left[d], 1.0, 1e-5);
    EXPECT_NEAR(h.right[d], 1.0, 1e-5);
    EXPECT_NEAR(h.left[d - 1], 0.0, 1e-6);
    EXPECT_NEAR(h.left[d + 1], 0.0, 1e-6);
    EXPECT_LT(fxtest::peakAbs(h.left, 0, d), 1e-6);  // wet only: no dry impulse
    // Feedback 0 acts as 0.0001: one more echo, 80 dB down.
    EXPECT_NEAR(dB(std::fabs(h.left[2 * d]) / h.left[d]), -80.0, 0.05);
    EXPECT_LT(fxtest::peakAbs(h.left, d + 2, 2 * d - 1), 1e-9);
}

TEST_P(DelayAtRate, TempoLockCountsSixteenthNotes) {
    struct Case {
        bool record;
        int flags;
        double hostBpm;
        float step, lock;
        int sixteenths;
        double bpmUsed;
    } cases[] = {
        {true, kVstTempoValid, 120.0, 0.0f, 1.0f, 1, 120.0},
        {true, kVstTempoValid, 120.0, 0.5f, 1.0f, 8, 120.0},
        {true, kVstTempoValid, 120.0, 1.0f, 1.0f, 16, 120.0},
        {true, kVstTempoValid, 120.7, 0.1f, 1.0f, 2, 120.0},  // whole beats only
        {true, kVstTempoValid, 100.0, 0.2f, 0.5f, 4, 100.0},  // 0.5 locks too
        {true, 0, 100.0, 0.0f, 1.0f, 1, 120.0},               // tempo not valid
        {false, 0, 0.0, 0.0f, 1.0f, 1, 120.0},                // no record
        {true, kVstTempoValid, 0.4, 0.0f, 1.0f, 1, 120.0},    // below 1 BPM
    };
    for (const Case& c : cases) {
        VstTimeInfo info = fxtest::tempoRecord(c.hostBpm);
        info.flags = c.flags;
        fxtest::setHostTime(c.record ? &info : nullptr);
        DelayRig rig(rate(), [&c](HostedEffect& e) {
            e.set(kStep, c.step);
            e.set(kLock, c.lock);
        });
        // A whole number of samples: a sixteenth is 15 / tempo seconds.
        const auto d = static_cast<size_t>(std::trunc(c.sixteenths * static_cast<double>(rate()) * (15.0 / c.bpmUsed)));
        const Stereo h = rig.response(fxtest::impulse(d + 50));
        EXPECT_NEAR(h.left[d], 1.0, 1e-5) << c.hostBpm << " bpm, step " << c.step;
        EXPECT_LT(std::fabs(h.left[d - 1]) + std::fabs(h.left[d + 1]), 1e-5) << c.hostBpm;
    }
}

TEST_P(DelayAtRate, FollowsAHostTempoChangeAtTheNextBlock) {
    VstTimeInfo info = fxtest::tempoRecord(120.0);
    fxtest::setHostTime(&info);
    DelayRig rig(rate(), [](HostedEffect& e) { e.set(kLock, 1.0f); });
    EXPECT_EQ(rig.hit().display(kStep), "1");
    info.tempo = 90.0;  // both twins see it at their next block
    rig.response(Stereo(40000));  // glide to the new time
    const auto d = static_cast<size_t>(15.0 / 90.0 * rate());
    const Stereo h = rig.response(fxtest::impulse(d + 50));
    EXPECT_NEAR(h.left[d], 1.0, 1e-5);
}

TEST_P(DelayAtRate, PingPongAlternatesSidesAndSendsTheDrySumRight) {
    DelayRig rig(rate(), [](HostedEffect& e) {
        e.set(kPingPong, 1.0f);
        e.set(kFeedback, 0.5f);
        e.set(kMix, 0.5f);
        e.set(kTime, 0.0f);
    });
    const size_t d = static_cast<size_t>(0.05 * rate() + 0.5);
    Stereo in(4 * d);
    in.left[0] = 1.0f;  // left input only
    const Stereo h = rig.response(in);
    EXPECT_NEAR(h.right[0], 1.0, 1e-6);  // dry L + R leaves on the right
    EXPECT_NEAR(h.left[0], 0.0, 1e-7);
    EXPECT_NEAR(h.left[d], 1.0, 1e-5);  // first echo left
    EXPECT_NEAR(h.right[d], 0.0, 1e-6);
    EXPECT_NEAR(h.right[2 * d], 0.5, 1e-5);  // then right
    EXPECT_NEAR(h.left[2 * d], 0.0, 1e-6);
    EXPECT_NEAR(h.left[3 * d], 0.25, 1e-5);  // then left again
    EXPECT_NEAR(h.right[3 * d], 0.0, 1e-6);
}

TEST_P(DelayAtRate, MonoFeedsBothLinesAndWithPingPongBothSides) {
    for (bool pingPong : {false, true}) {
        DelayRig rig(rate(), [pingPong](HostedEffect& e) {
            e.set(kMono, 1.0f);
            e.set(kPingPong, pingPong ? 1.0f : 0.0f);
            e.set(kFeedback, 0.5f);
            e.set(kMix, 0.5f);
        });
        const size_t d = static_cast<size_t>(0.05 * rate() + 0.5);
        Stereo in(3 * d);
        in.left[0] = 1.0f;
        const Stereo h = rig.response(in);
        for (const auto* side : {&h.left, &h.right}) {
            EXPECT_NEAR((*side)[0], 1.0, 1e-6) << pingPong;
            EXPECT_NEAR((*side)[d], 1.0, 1e-5) << pingPong;
            EXPECT_NEAR((*side)[2 * d], 0.5, 1e-5) << pingPong;
        }
    }
}

TEST_P(DelayAtRate, MixAndPanExtremes) {
    const size_t d = static_cast<size_t>(0.05 * rate() + 0.5);
    // Mix: dry and echo gains at 0, 0.25, 0.5 and 1.
    const float mixes[][3] = {{0.0f, 1.0f, 0.0f}, {0.25f, 1.0f, 0.25f}, {0.5f, 1.0f, 1.0f}, {1.0f, 0.0f, 1.0f}};
    for (const auto& m : mixes) {
        DelayRig rig(rate(), [&m](HostedEffect& e) { e.set(kMix, m[0]); });
        const Stereo h = rig.response(fxtest::impulse(2 * d));
        EXPECT_NEAR(h.left[0], m[1], 1e-6) << m[0];
        EXPECT_NEAR(h.left[d], m[2], 1e-5) << m[0];
    }
    // Pan 0 silences the right output, 1 the left.
    for (float pan : {0.0f, 1.0f}) {
        DelayRig rig(rate(), [pan](HostedEffect& e) {
            e.set(kPan, pan);
            e.set(kMix, 0.5f);
        });
        const Stereo h = rig.response(fxtest::impulse(2 * d));
        const auto& silent = pan == 0.0f ? h.right : h.left;
        const auto& loud = pan == 0.0f ? h.left : h.right;
        EXPECT_EQ(fxtest::peakAbs(silent, 0, h.size()), 0.0) << pan;
        EXPECT_NEAR(loud[0], 1.0, 1e-6) << pan;
        EXPECT_NEAR(loud[d], 1.0, 1e-5) << pan;
    }
}

TEST_P(DelayAtRate, FilterShapesTheEchoesOnlyAndNotTheFeedback) {
    // HiCut at 1 kHz, LowCut at 100 Hz, locked to 8 steps at 120 BPM (1 s).
    const float hiCut = static_cast<float>(std::log(100.0) / std::log(2000.0));
    const float lowCut = static_cast<float>(std::log(10.0) / std::log(2000.0));
    DelayRig rig(rate(), [&](HostedEffect& e) {
        e.set(kLock, 1.0f);
        e.set(kStep, 0.5f);
        e.set(kFilter, 1.0f);
        e.set(kHiCut, hiCut);
        e.set(kLowCut, lowCut);
        e.set(kFeedback, 0.5f);
        e.set(kMix, 0.5f);
    });
    const auto d = static_cast<size_t>(rate());
    const Stereo h = rig.response(fxtest::impulse(2 * d + 2100));
    // The dry impulse passes untouched.
    EXPECT_NEAR(h.left[0], 1.0, 1e-6);
    EXPECT_LT(fxtest::peakAbs(h.left, 1, d), 1e-6);

    // Echo spectrum against the two one-pole sections in series.
    const double aHi = std::exp(-2 * kPi * fxdsp::cutoffHz(hiCut) / rate());
    const double aLow = std::exp(-2 * kPi * fxdsp::cutoffHz(lowCut) / rate());
    const size_t window = d - 1;
    for (double hz : {30.0, 100.0, 300.0, 1000.0, 4000.0}) {
        const double w = 2 * kPi * hz / rate();
        std::complex<double> sum = 0.0;
        for (size_t n = 0; n < window; ++n) sum += static_cast<double>(h.left[d + n]) * std::polar(1.0, -w * n);
        const std::complex<double> z1 = std::polar(1.0, -w);
        const std::complex<double> low = (1 - aHi) / (1.0 - aHi * z1);
        const std::complex<double> high = 1.0 - (1 - aLow) / (1.0 - aLow * z1);
        EXPECT_NEAR(dB(std::abs(sum)), dB(std::abs(low * high)), 0.05) << hz << " Hz";
    }
    // The second echo has the first one's shape at half the level: the loop
    // took the unfiltered tap.
    for (size_t n = 0; n < 2000; ++n) ASSERT_NEAR(h.left[2 * d + n], 0.5 * h.left[d + n], 2e-6) << n;
}

TEST(Delay, SlowTempoAtHighRateIsHeldAtTheLongestDelay) {
    // 30 BPM, 16 steps, 192 kHz would be 1,536,000 samples.
    VstTimeInfo info = fxtest::tempoRecord(30.0);
    fxtest::setHostTime(&info);
    DelayRig rig(192000.0f, [](HostedEffect& e) {
        e.set(kLock, 1.0f);
        e.set(kStep, 1.0f);
    });
    const size_t longest = 524287;
    const Stereo h = rig.response(fxtest::impulse(longest + 10));
    fxtest::setHostTime(nullptr);
    EXPECT_NEAR(h.left[longest], 1.0, 1e-5);
    EXPECT_LT(fxtest::peakAbs(h.left, 0, longest), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Rates, DelayAtRate, testing::Values(44100.0f, 96000.0f),
                         [](const testing::TestParamInfo<float>& i) {
                             return std::to_string(static_cast<int>(i.param));
                         });

TEST(Delay, FreeTimeBeyondTheLinesIsHeldRatherThanWrapped) {
    // 2.5 s at 250 kHz would be 625,000 samples; the lines hold 524,288.
    DelayRig rig(250000.0f, [](HostedEffect& e) { e.set(kTime, 1.0f); });
    const size_t longest = 524287;
    const Stereo h = rig.response(fxtest::impulse(longest + 10));
    EXPECT_NEAR(h.left[longest], 1.0, 1e-5);
    EXPECT_LT(fxtest::peakAbs(h.left, 0, longest), 1e-5);
}

TEST(Delay, DisplaysOfTimeStepsSwitchesAndCorners) {
    HostedEffect e("KavoDelay");
    EXPECT_EQ(e.name(kStep), "Step");
    EXPECT_EQ(e.name(kLock), "Step");
    EXPECT_EQ(e.display(kTime), "0.050\"");
    e.set(kTime, 1.0f);
    EXPECT_EQ(e.display(kTime), "2.500\"");
    const std::pair<float, const char*> steps[] = {{0.0f, "1"}, {0.06f, "1"}, {0.1f, "2"},
                                                   {0.5f, "8"}, {0.99f, "15"}, {1.0f, "16"}};
    for (const auto& [x, text] : steps) {
        e.set(kStep, x);
        EXPECT_EQ(e.display(kStep), text) << x;
    }
    for (int sw : {kLock, kPingPong, kFilter, kMono}) {
        e.set(sw, 0.5f);
        EXPECT_EQ(e.display(sw), "off") << sw;  // acts as on, reads off
        e.set(sw, 1.0f);
        EXPECT_EQ(e.display(sw), "on") << sw;
    }
    EXPECT_EQ(e.display(kLowCut), "10Hz");
    EXPECT_EQ(e.display(kHiCut), "20000Hz");
    e.set(kLowCut, 0.5f);
    EXPECT_EQ(e.display(kLowCut), "447Hz");  // 10 Hz * sqrt(2000), truncated
    e.set(kPan, 0.0f);
    EXPECT_EQ(e.display(kPan), "-1.00");
}
