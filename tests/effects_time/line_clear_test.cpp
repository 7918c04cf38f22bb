// Switching an effect back on clears only what its lines took since they
// last held silence. Measured here: the bytes a clear touches (none for lines
// that have not run, the written slots for lines that have; none at all for
// the echo, which clears its lines a stretch a run), and that an effect
// cleared after rendering, partly or after its lines wrapped, then sounds
// bit for bit as one that never rendered at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "effects/chorus_flanger_engine.h"
#include "effects/delay_engine.h"
#include "effects/reverb_engine.h"
#include "fx_test_host.h"
#include "vst/aeffectx.h"

namespace {

using namespace reverb_tuning;

// The three engines behind a common face: the same parameter settings every
// time prepare runs, renders in runs of 16 frames as the modules make them,
// and the bytes a clear should touch after a number of frames.
struct EchoCase {
    using Engine = EchoEngine;
    static constexpr int kLine = 1 << 19;
    static void prepare(Engine& e) {
        EchoTargets t;
        t.feedback = 0.8f;
        t.hiCut = fxdsp::onePoleLowpass(6000.0, 44100.0);
        t.lowCut = fxdsp::onePoleLowpass(80.0, 44100.0);
        t.mix = 0.7f;
        e.smooth(t, true, 1.0f);
    }
    static void render(Engine& e, const float* l, const float* r, float* ol, float* orr, int n) {
        e.render(l, r, ol, orr, n, 20000.0, {false, true, true});
    }
    // The switch-on leaves the clearing to the runs that follow.
    static std::size_t bytesAfter(long) { return 0; }
};

// A delay whose glide from 0 runs ahead of the spread clear (about 300
// slots a frame against 64), so that its reads reach stale slots.
struct LongEchoCase : EchoCase {
    static void render(Engine& e, const float* l, const float* r, float* ol, float* orr, int n) {
        e.render(l, r, ol, orr, n, 300000.0, {false, false, false});
    }
};

struct ReverbCase {
    using Engine = ReverbEngine;
    static constexpr int kLine = 1 << kPreDelayBits;
    static void prepare(Engine& e) {
        ReverbTargets t;
        t.preDelaySamples = 3000.0;
        t.roomFeedback = kRoomFeedbackAtZero + 0.9f * kRoomFeedbackRange;
        t.damping = 0.3f;
        t.earlyGain = 0.2f;
        t.lowCut = fxdsp::onePoleLowpass(100.0, 44100.0);
        t.mix = 0.8f;
        e.smooth(t, 1.0f);
        e.beginBlock();
    }
    static void render(Engine& e, const float* l, const float* r, float* ol, float* orr, int n) {
        e.render(l, r, ol, orr, n, false);
    }
    static std::size_t bytesAfter(long frames) {
        long slots = 2 * std::min<long>(frames, kLine);
        for (int extra : {0, kStereoSpreadSamples}) {
            for (int c : kCombLengthsLeft) slots += std::min<long>(frames, c + extra);
            for (int a : kAllpassLengthsLeft) slots += std::min<long>(frames, a + extra);
        }
        return sizeof(float) * static_cast<std::size_t>(slots);
    }
};

struct FlangerCase {
    static constexpr int kBits = 13;
    using Engine = SweptDelayEngine<kBits>;
    static constexpr int kLine = 1 << kBits;
    static void prepare(Engine& e) {
        SweptDelayTargets t;
        t.delaySamples = 300.0;
        t.depthOctaves = 0.7f;
        t.feedback = 0.7f;
        t.mix = 0.5f;
        e.setSweepIncrement(4.0 * 0.3 / 44100.0);
        e.smooth(t, 1.0f);
    }
    static void render(Engine& e, const float* l, const float* r, float* ol, float* orr, int n) {
        e.render(l, r, ol, orr, n);
    }
    static std::size_t bytesAfter(long frames) { return 2 * sizeof(float) * std::min<long>(frames, kLine); }
};

struct Signal {
    std::vector<float> left, right;
};

Signal noise(long frames, unsigned seed, float level = 0.5f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(-level, level);
    Signal s{std::vector<float>(static_cast<size_t>(frames)), std::vector<float>(static_cast<size_t>(frames))};
    for (size_t i = 0; i < s.left.size(); ++i) {
        s.left[i] = unit(rng);
        s.right[i] = unit(rng);
    }
    return s;
}

template <class Case>
Signal renderThrough(typename Case::Engine& e, const Signal& in) {
    Signal out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    const int frames = static_cast<int>(in.left.size());
    for (int at = 0; at < frames; at += 16) {
        const int n = std::min(16, frames - at);
        Case::render(e, in.left.data() + at, in.right.data() + at, out.left.data() + at, out.right.data() + at, n);
    }
    return out;
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

long framesThatDiffer(const Signal& a, const Signal& b) {
    long differ = 0;
    for (size_t i = 0; i < a.left.size(); ++i)
        if (bits(a.left[i]) != bits(b.left[i]) || bits(a.right[i]) != bits(b.right[i])) ++differ;
    return differ;
}

template <class Case>
class LineClear : public ::testing::Test {};

using Cases = ::testing::Types<EchoCase, LongEchoCase, ReverbCase, FlangerCase>;
TYPED_TEST_SUITE(LineClear, Cases);

TYPED_TEST(LineClear, ClearTouchesOnlyWhatWasWritten) {
    auto engine = std::make_unique<typename TypeParam::Engine>();
    TypeParam::prepare(*engine);
    // Made silent: switching it on costs nothing.
    EXPECT_EQ(engine->clearSignal(), 0u);
    const Signal in = noise(1000, 1);
    renderThrough<TypeParam>(*engine, in);
    EXPECT_EQ(engine->clearSignal(), TypeParam::bytesAfter(1000));
    // Cleared and not run since: nothing left to clear.
    EXPECT_EQ(engine->clearSignal(), 0u);
    // Past the end of the longest line every slot has been written.
    const long beyond = TypeParam::kLine + 4099;
    renderThrough<TypeParam>(*engine, noise(beyond, 2));
    EXPECT_EQ(engine->clearSignal(), TypeParam::bytesAfter(beyond));
    EXPECT_EQ(TypeParam::bytesAfter(beyond), TypeParam::bytesAfter(TypeParam::kLine));
}

// Rendered (once past the ends of the lines, once not), cleared, rendered a
// shorter stretch, cleared again: then against an engine that never rendered,
// over a stretch long enough for every read to reach slots the earlier
// renders wrote.
TYPED_TEST(LineClear, ClearedAfterRenderingSoundsAsNew) {
    for (long first : {3000L, static_cast<long>(TypeParam::kLine) * 2 + 333}) {
        auto used = std::make_unique<typename TypeParam::Engine>();
        auto fresh = std::make_unique<typename TypeParam::Engine>();
        TypeParam::prepare(*used);
        TypeParam::prepare(*fresh);
        renderThrough<TypeParam>(*used, noise(first, 3));
        used->clearSignal();
        renderThrough<TypeParam>(*used, noise(first / 3, 4));
        used->clearSignal();
        fresh->clearSignal();
        // A loud click, then quiet noise: the echoes of the click reach
        // every slot the earlier renders touched.
        Signal probe = noise(std::max<long>(first, 60000), 5, 0.01f);
        probe.left[7] = probe.right[7] = 1.0f;
        const Signal a = renderThrough<TypeParam>(*used, probe);
        const Signal b = renderThrough<TypeParam>(*fresh, probe);
        EXPECT_EQ(framesThatDiffer(a, b), 0) << "after " << first << " frames";
        double energy = 0.0;
        for (float x : a.left) energy += static_cast<double>(x) * x;
        EXPECT_GT(energy, 1e-3);
    }
}

// Without a clear the same engine would still sound of what it rendered: the
// comparison above can tell a cleared engine from an uncleared one.
TYPED_TEST(LineClear, UnclearedLinesAreHeard) {
    auto used = std::make_unique<typename TypeParam::Engine>();
    auto fresh = std::make_unique<typename TypeParam::Engine>();
    TypeParam::prepare(*used);
    TypeParam::prepare(*fresh);
    renderThrough<TypeParam>(*used, noise(TypeParam::kLine + 5000, 6));
    Signal probe = noise(20000, 7, 0.01f);
    EXPECT_GT(framesThatDiffer(renderThrough<TypeParam>(*used, probe), renderThrough<TypeParam>(*fresh, probe)),
              1000);
}

// The echo's stale slots: every run clears a bounded stretch of them, they
// are all gone soon after the clear, and until then they read as silence,
// also when the echo is cleared again before they are gone.
TEST(EchoSpreadClear, EachRunClearsABoundedStretch) {
    auto engine = std::make_unique<EchoEngine>();
    EchoCase::prepare(*engine);
    renderThrough<EchoCase>(*engine, noise(EchoCase::kLine + 100, 9));
    EXPECT_EQ(engine->clearSignal(), 0u);
    ASSERT_EQ(engine->staleSlots(), EchoCase::kLine);
    const Signal block = noise(64, 10);
    Signal out = block;
    int blocks = 0;
    while (engine->staleSlots() > 0 && blocks < 1000) {
        const int before = engine->staleSlots();
        engine->render(block.left.data(), block.right.data(), out.left.data(), out.right.data(), 64, 20000.0,
                       {false, true, true});
        // The writes take 64 slots, the clear at most 64 a frame.
        EXPECT_LE(before - engine->staleSlots(), 64 * (EchoEngine::kClearSlotsPerFrame + 1));
        EXPECT_GT(before - engine->staleSlots(), 0);
        ++blocks;
    }
    EXPECT_EQ(engine->staleSlots(), 0);
    EXPECT_LE(blocks, EchoCase::kLine / (64 * (EchoEngine::kClearSlotsPerFrame + 1)) + 1);
}

TEST(EchoSpreadClear, ClearedAgainWhileStaleSoundsAsNew) {
    for (int between : {1000, 5003}) {
        auto used = std::make_unique<EchoEngine>();
        auto fresh = std::make_unique<EchoEngine>();
        LongEchoCase::prepare(*used);
        LongEchoCase::prepare(*fresh);
        renderThrough<LongEchoCase>(*used, noise(EchoCase::kLine + 100, 11));
        used->clearSignal();
        renderThrough<LongEchoCase>(*used, noise(between, 12));
        used->clearSignal();
        EXPECT_GT(used->staleSlots(), 100000);
        fresh->clearSignal();
        Signal probe = noise(200000, 13, 0.01f);
        probe.left[3] = probe.right[3] = 1.0f;
        EXPECT_EQ(framesThatDiffer(renderThrough<LongEchoCase>(*used, probe), renderThrough<LongEchoCase>(*fresh, probe)), 0)
            << between;
    }
}

// Through the modules: switched off and on again after playing, a module
// sounds as one that has just been made and switched on.
TEST(LineClearModules, ResumedAfterPlayingSoundsAsNew) {
    for (const char* title : {"KavoDelay", "KavoReverb", "KavoChorus", "KavoFlanger"}) {
        fxtest::HostedEffect used(title), fresh(title);
        used.dispatch(effMainsChanged, 0, 1);
        fresh.dispatch(effMainsChanged, 0, 1);
        const Signal n = noise(30000, 8);
        fxtest::Stereo played(n.left.size());
        played.left = n.left;
        played.right = n.right;
        used.process(played, 64);
        used.dispatch(effMainsChanged, 0, 0);
        used.dispatch(effMainsChanged, 0, 1);
        const fxtest::Stereo click = fxtest::impulse(60000, 10);
        const fxtest::Stereo a = used.process(click, 64);
        const fxtest::Stereo b = fresh.process(click, 64);
        long differ = 0;
        for (size_t i = 0; i < a.size(); ++i)
            if (bits(a.left[i]) != bits(b.left[i]) || bits(a.right[i]) != bits(b.right[i])) ++differ;
        EXPECT_EQ(differ, 0) << title;
        EXPECT_GT(fxtest::peakAbs(a.left, 0, a.size()), 1e-3) << title;
    }
}

}  // namespace
