// The renderer's guard against a writer that never lowers its counter: the
// stall is timed from the first block the counter kept out, not from the
// last block the host asked for.
#include <gtest/gtest.h>

#include <chrono>

#include "host/render_exclusion.h"
#include "platform/platform.h"
#include "tests/host/test_host_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Engine : TestEngine {
    Engine() {
        addProbeTrack(*effect);
        ProbeInstrument::outputLevel = 0.5f;
    }
};

}  // namespace

TEST(StalledWriter, AWriterAfterTheHostPausedKeepsTheRendererOut) {
    Engine e;
    e.render(512);
    ASSERT_GT(e.peak(), 0.1f);
    // The host stops calling for longer than the guard's limit (a stopped
    // transport, a suspended plug-in); then a writer raises its counter.
    platform::sleepMs(kRendererWaitLimitMs + 200);
    e.effect->editCounter().fetch_add(1);
    e.render(512);
    EXPECT_EQ(e.peak(), 0.0f) << "a block rendered while the writer held its counter";
    EXPECT_EQ(e.effect->editCounter().load(), 1);
    e.effect->editCounter().fetch_sub(1);
    e.render(512);
    EXPECT_GT(e.peak(), 0.1f);
}

TEST(StalledWriter, AStuckWriterIsLetGoAfterTheLimit) {
    Engine e;
    e.render(512);
    ASSERT_GT(e.peak(), 0.1f);
    e.effect->editCounter().fetch_add(1);
    const auto start = Clock::now();
    e.render(512);
    EXPECT_EQ(e.peak(), 0.0f);
    double resumedMs = -1.0;
    while (millisecondsSince(start) < kRendererWaitLimitMs + 3000.0) {
        platform::sleepMs(20);
        e.render(512);
        if (e.peak() > 0.1f) {
            resumedMs = millisecondsSince(start);
            break;
        }
    }
    ASSERT_GE(resumedMs, 0.0) << "the stuck counter was never cleared";
    EXPECT_GE(resumedMs, kRendererWaitLimitMs - 5.0);  // the tick count moves in whole milliseconds
    EXPECT_EQ(e.effect->editCounter().load(), 0);
    // Once cleared, a new stall is timed afresh.
    e.effect->editCounter().fetch_add(1);
    e.render(512);
    EXPECT_EQ(e.peak(), 0.0f);
    platform::sleepMs(20);
    e.render(512);
    EXPECT_EQ(e.peak(), 0.0f);
    EXPECT_EQ(e.effect->editCounter().load(), 1);
}
