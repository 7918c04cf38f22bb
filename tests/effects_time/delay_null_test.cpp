// The echo engine against a straightforward rendering of its algorithm:
// every sample glides the delay, forms each line's read position on its own,
// interpolates, writes the feedback and mixes, with the switches tested in
// the loop. The engine shares one read position between the lines, skips the
// glide once it has landed and runs one loop per switch combination; it must
// come out bit for bit the same.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "effects/delay_engine.h"
#include "effects/dsp/control_clock.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

namespace {

constexpr int kLineSize = 1 << 19;

class ReferenceEcho {
public:
    ReferenceEcho() : left_(kLineSize, 0.0f), right_(kLineSize, 0.0f) {}

    void smooth(const EchoTargets& t, bool filterOn, float factor) {
        fxdsp::glide(feedback_, t.feedback, factor);
        if (filterOn) {
            fxdsp::glide(hiCut_, t.hiCut, factor);
            fxdsp::glide(lowCut_, t.lowCut, factor);
        }
        const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
        fxdsp::glide(dry_, mix.dry, factor);
        fxdsp::glide(wet_, mix.wet, factor);
        const fxdsp::SideGains pan = fxdsp::balanceGains(t.pan);
        fxdsp::glide(leftGain_, t.level * pan.first, factor);
        fxdsp::glide(rightGain_, t.level * pan.second, factor);
    }

    void frame(float l, float r, double target, const EchoSwitches& s, float& outL, float& outR) {
        float a = l, b = r;
        if (s.mono) {
            a = b = l + r;
        } else if (s.pingPong) {
            a = l + r;
            b = 0.0f;
        }
        a += fxdsp::kAntiDenormalOffset;
        b += fxdsp::kAntiDenormalOffset;
        const double distance = target - delay_;
        delay_ = std::fabs(distance) < 0.001 ? target : delay_ + 0.001 * distance;
        const float tapL = read(left_), tapR = read(right_);
        left_[static_cast<size_t>(write_)] = a + feedback_ * (s.pingPong ? tapR : tapL);
        right_[static_cast<size_t>(write_)] = b + feedback_ * (s.pingPong ? tapL : tapR);
        write_ = (write_ + 1) % kLineSize;
        float echoL = tapL, echoR = tapR;
        if (s.filter) {
            hiL_ = hiCut_.input * tapL + hiCut_.feedback * hiL_;
            lowL_ = lowCut_.input * hiL_ + lowCut_.feedback * lowL_;
            echoL = hiL_ - lowL_;
            hiR_ = hiCut_.input * tapR + hiCut_.feedback * hiR_;
            lowR_ = lowCut_.input * hiR_ + lowCut_.feedback * lowR_;
            echoR = hiR_ - lowR_;
        }
        outL = ((s.pingPong ? b : a) * dry_ + echoL * wet_) * leftGain_;
        outR = ((s.pingPong ? a : b) * dry_ + echoR * wet_) * rightGain_;
    }

    double delay() const { return delay_; }

private:
    float read(const std::vector<float>& line) const {
        double r = static_cast<double>(write_) - delay_;
        if (r < 0.0) r += kLineSize;
        const int i = static_cast<int>(r);
        const float frac = static_cast<float>(r - i);
        const float x0 = line[static_cast<size_t>(i % kLineSize)];
        const float x1 = line[static_cast<size_t>((i + 1) % kLineSize)];
        return x0 + frac * (x1 - x0);
    }

    std::vector<float> left_, right_;
    int write_ = 0;
    double delay_ = 0.0;
    float feedback_ = 0.0f;
    fxdsp::OnePoleCoefficients hiCut_, lowCut_;
    float hiL_ = 0.0f, hiR_ = 0.0f, lowL_ = 0.0f, lowR_ = 0.0f;
    float dry_ = 0.0f, wet_ = 0.0f, leftGain_ = 0.0f, rightGain_ = 0.0f;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof(b));
    return b;
}

struct Segment {
    int frames;
    double targetDelay;
    EchoSwitches switches;
};

}  // namespace

TEST(EchoEngineNull, MatchesThePerSampleAlgorithmBitForBit) {
    auto engine = std::make_unique<EchoEngine>();
    auto ref = std::make_unique<ReferenceEcho>();
    EchoTargets t;
    t.feedback = 0.7f;
    t.hiCut = fxdsp::onePoleLowpass(3000.0, 44100.0);
    t.lowCut = fxdsp::onePoleLowpass(200.0, 44100.0);
    t.mix = 0.6f;
    t.pan = 0.4f;
    t.level = 1.2;
    engine->smooth(t, true, 1.0f);
    ref->smooth(t, true, 1.0f);

    // Delays that glide from 0, land, jump (including short ones whose taps
    // read samples written in the same run, fractional ones, and the far end
    // of the lines), under every switch combination.
    const Segment segments[] = {
        {9000, 1234.567, {false, false, false}}, {6000, 1234.567, {false, false, true}},
        {7000, 3.25, {false, true, false}},      {5000, 1.0, {true, false, false}},
        {8000, 524287.0, {false, true, true}},   {9000, 524286.3, {true, true, false}},
        {6000, 777.0, {true, false, true}},      {7000, 20.5, {true, true, true}},
        {8000, 4410.0, {false, false, false}},
    };
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    std::uniform_int_distribution<int> runLength(1, 40);
    size_t differing = 0, landedRuns = 0, glidingRuns = 0, frames = 0;
    int sinceSmoothing = 0;
    for (const Segment& seg : segments) {
        // Gains glide towards new targets in the second half of the test.
        if (seg.targetDelay == 777.0) {
            t.mix = 0.9f;
            t.pan = 0.8f;
            t.feedback = 0.3f;
        }
        int done = 0;
        while (done < seg.frames) {
            const int count = std::min(runLength(rng), seg.frames - done);
            if (sinceSmoothing >= 16) {
                engine->smooth(t, seg.switches.filter, 0.01f);
                ref->smooth(t, seg.switches.filter, 0.01f);
                sinceSmoothing = 0;
            }
            std::vector<float> inL(static_cast<size_t>(count)), inR(inL.size());
            for (int n = 0; n < count; ++n) {
                inL[static_cast<size_t>(n)] = u(rng);
                inR[static_cast<size_t>(n)] = u(rng);
            }
            if (engine->smoothedDelay() == seg.targetDelay)
                ++landedRuns;
            else
                ++glidingRuns;
            std::vector<float> outL(inL.size()), outR(inL.size());
            engine->render(inL.data(), inR.data(), outL.data(), outR.data(), count, seg.targetDelay, seg.switches);
            for (int n = 0; n < count; ++n) {
                float l, r;
                ref->frame(inL[static_cast<size_t>(n)], inR[static_cast<size_t>(n)], seg.targetDelay, seg.switches, l,
                           r);
                if (bitsOf(l) != bitsOf(outL[static_cast<size_t>(n)]) ||
                    bitsOf(r) != bitsOf(outR[static_cast<size_t>(n)]))
                    ++differing;
            }
            done += count;
            frames += static_cast<size_t>(count);
            sinceSmoothing += count;
        }
        EXPECT_EQ(engine->smoothedDelay(), ref->delay()) << seg.targetDelay;
    }
    EXPECT_EQ(differing, 0u) << "of " << frames << " frames";
    // Both the gliding and the landed path were exercised.
    EXPECT_GT(landedRuns, 40u);
    EXPECT_GT(glidingRuns, 40u);
}

// Long landed runs, past the end of the lines (the write index wraps and the
// reads cross the end), in place and apart: each must equal the reference.
TEST(EchoEngineNull, LandedRunsAcrossTheEndOfTheLinesInPlace) {
    for (const EchoSwitches switches : {EchoSwitches{false, false, false}, EchoSwitches{true, true, true},
                                        EchoSwitches{false, true, false}, EchoSwitches{false, false, true}}) {
        auto engine = std::make_unique<EchoEngine>();
        auto ref = std::make_unique<ReferenceEcho>();
        EchoTargets t;
        t.feedback = 0.8f;
        t.hiCut = fxdsp::onePoleLowpass(5000.0, 44100.0);
        t.lowCut = fxdsp::onePoleLowpass(100.0, 44100.0);
        t.mix = 0.45f;
        t.pan = 0.55f;
        engine->smooth(t, true, 1.0f);
        ref->smooth(t, true, 1.0f);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        std::uniform_int_distribution<int> runLength(1, 16);
        const double target = 30000.75;
        size_t differing = 0, frames = 0;
        while (frames < static_cast<size_t>(kLineSize) + 70000u) {
            const int count = runLength(rng);
            std::vector<float> left(static_cast<size_t>(count)), right(left.size());
            for (int n = 0; n < count; ++n) {
                left[static_cast<size_t>(n)] = u(rng);
                right[static_cast<size_t>(n)] = u(rng);
            }
            std::vector<float> refL(left.size()), refR(left.size());
            for (int n = 0; n < count; ++n)
                ref->frame(left[static_cast<size_t>(n)], right[static_cast<size_t>(n)], target, switches,
                           refL[static_cast<size_t>(n)], refR[static_cast<size_t>(n)]);
            // In place: the engine reads every input of the run before it
            // writes the outputs over them.
            engine->render(left.data(), right.data(), left.data(), right.data(), count, target, switches);
            for (int n = 0; n < count; ++n)
                if (bitsOf(left[static_cast<size_t>(n)]) != bitsOf(refL[static_cast<size_t>(n)]) ||
                    bitsOf(right[static_cast<size_t>(n)]) != bitsOf(refR[static_cast<size_t>(n)]))
                    ++differing;
            frames += static_cast<size_t>(count);
        }
        EXPECT_EQ(engine->smoothedDelay(), target);
        EXPECT_EQ(differing, 0u) << "of " << frames << " frames, switches " << switches.mono << switches.pingPong
                                 << switches.filter;
    }
}

// A NaN or an overflow entering the lines comes back as silence or as the
// bound on the landed path too, as on the per-sample one.
TEST(EchoEngineNull, LandedRunsHoldWhatTheyFeedBack) {
    EchoEngine engine;
    EchoTargets t;
    t.feedback = 1.0f;
    t.mix = 1.0f;  // echoes only
    engine.smooth(t, false, 1.0f);
    const double target = 64.0;
    std::vector<float> inL(16, 0.0f), inR(16, 0.0f), outL(16), outR(16);
    for (int run = 0; run < 2000 && engine.smoothedDelay() != target; ++run)  // the glide lands
        engine.render(inL.data(), inR.data(), outL.data(), outR.data(), 16, target, {});
    ASSERT_EQ(engine.smoothedDelay(), target);
    inL[3] = std::numeric_limits<float>::quiet_NaN();
    inR[5] = 3.0e30f;
    engine.render(inL.data(), inR.data(), outL.data(), outR.data(), 16, target, {});
    inL[3] = inR[5] = 0.0f;
    for (int run = 0; run < 3; ++run)
        engine.render(inL.data(), inR.data(), outL.data(), outR.data(), 16, target, {});
    // 64 frames later the echo of frame 3 and 5 leaves: silence and the bound.
    engine.render(inL.data(), inR.data(), outL.data(), outR.data(), 16, target, {});
    EXPECT_TRUE(std::isfinite(outL[3]));
    EXPECT_NEAR(outL[3], 0.0f, 1e-3f);
    EXPECT_NEAR(outR[5], fxdsp::kLargestFedSample, fxdsp::kLargestFedSample * 1e-3f);
}

// Random settings in host blocks of 1..600 frames split as the module splits
// them (a smoothing step every 16th frame, the runs between): filter
// corners, feedback, mix and pan gliding towards new targets, switches and
// delay times changing every few thousand frames, so that most runs land
// and run four frames at a time with the filter's recursion among them.
TEST(EchoEngineNull, RandomSettingsInHostBlocks) {
    auto engine = std::make_unique<EchoEngine>();
    auto ref = std::make_unique<ReferenceEcho>();
    std::mt19937 rng(123);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> blockLength(1, 600);
    EchoTargets t;
    EchoSwitches switches;
    double target = 100.0;
    const auto pick = [&] {
        t.feedback = static_cast<float>(unit(rng));
        t.hiCut = fxdsp::onePoleLowpass(500.0 + 15000.0 * unit(rng), 44100.0);
        t.lowCut = fxdsp::onePoleLowpass(20.0 + 800.0 * unit(rng), 44100.0);
        t.mix = static_cast<float>(unit(rng));
        t.pan = static_cast<float>(unit(rng));
        t.level = 2.0 * unit(rng);
        switches = {unit(rng) < 0.2, unit(rng) < 0.5, unit(rng) < 0.7};
        target = unit(rng) < 0.5 ? 30.0 + 20000.0 * unit(rng) : static_cast<double>(1 + static_cast<int>(3000 * unit(rng)));
    };
    pick();
    engine->smooth(t, switches.filter, 1.0f);
    ref->smooth(t, switches.filter, 1.0f);
    fxdsp::ControlClock engineClock, refClock;
    const auto none = [] { return false; };
    std::vector<float> inL(600), inR(600), outL(600), outR(600), refL(600), refR(600);
    size_t differing = 0, frames = 0;
    int sincePick = 0;
    while (frames < 400000) {
        if (sincePick > 20000) {
            pick();
            sincePick = 0;
        }
        const int count = blockLength(rng);
        for (size_t n = 0; n < static_cast<size_t>(count); ++n) {
            inL[n] = static_cast<float>(unit(rng) - 0.5);
            inR[n] = static_cast<float>(unit(rng) - 0.5);
        }
        fxdsp::runControlledBlock(
            engineClock, count, none, [&] { engine->smooth(t, switches.filter, fxdsp::kControlGlideFactor); }, [] {},
            [&](int offset, int run) {
                engine->render(inL.data() + offset, inR.data() + offset, outL.data() + offset, outR.data() + offset,
                               run, target, switches);
            });
        fxdsp::runControlledBlock(
            refClock, count, none, [&] { ref->smooth(t, switches.filter, fxdsp::kControlGlideFactor); }, [] {},
            [&](int offset, int run) {
                for (size_t n = static_cast<size_t>(offset); n < static_cast<size_t>(offset + run); ++n)
                    ref->frame(inL[n], inR[n], target, switches, refL[n], refR[n]);
            });
        for (size_t n = 0; n < static_cast<size_t>(count); ++n)
            if (bitsOf(outL[n]) != bitsOf(refL[n]) || bitsOf(outR[n]) != bitsOf(refR[n])) ++differing;
        frames += static_cast<size_t>(count);
        sincePick += count;
    }
    EXPECT_EQ(differing, 0u) << "of " << frames << " frames";
}
