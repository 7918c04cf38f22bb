#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "balls/ball_motion.h"
#include "tests/balls/ball_test_sink.h"

namespace {

void oneBall(SoundBalls& balls, std::vector<ParameterDescriptor> horizontal,
             std::vector<ParameterDescriptor> vertical = {}) {
    balls.padToDefaultCount();
    balls.ball(0).horizontal = std::move(horizontal);
    balls.ball(0).vertical = std::move(vertical);
}

}  // namespace

TEST(BallMapping, TargetsMapThroughTheirRanges) {
    SoundBalls balls;
    oneBall(balls, {target(1, 0, 0, 128), target(0, 37, 37.2f, 92.9f)}, {target(2, 3, 0, 64)});
    RecordingSink sink;
    const PadState pad;
    balls.move(0, 64.0f, 32.0f, false, false);
    balls.applyPending(sink, pad);
    ASSERT_EQ(sink.calls.size(), 3u);
    EXPECT_EQ(sink.calls[0].kind, 1);
    EXPECT_FLOAT_EQ(sink.calls[0].value, 0.5f);  // Level then reads 63.5
    EXPECT_NEAR(sink.calls[1].value, (37.2f + 55.7f * 0.5f) / 128.0f, 1e-6f);
    EXPECT_EQ(sink.calls[2].kind, 2);
    EXPECT_FLOAT_EQ(sink.calls[2].value, 0.125f);  // vertical axis, y = 32
    sink.calls.clear();
    // Notifications carry no position: each applies the ball where it is.
    balls.move(0, 0.0f, 0.0f, false, false);
    balls.applyPending(sink, pad);
    balls.move(0, 128.0f, 0.0f, false, false);
    balls.applyPending(sink, pad);
    EXPECT_NEAR(sink.calls[1].value, 0.29f, 0.001f);  // left edge
    EXPECT_NEAR(sink.calls[4].value, 0.73f, 0.005f);  // right edge
}

TEST(BallMapping, FullRangeIgnoresRangesExceptResonanceWithFlagA) {
    SoundBalls balls;
    oneBall(balls, {target(0, 1, 37.2f, 92.9f), target(0, 38, 10.0f, 20.0f, "", true)});
    balls.ball(0).fullRange = 1.0f;
    RecordingSink sink;
    balls.move(0, 127.0f, 64.0f, false, false);
    balls.move(0, 127.0f, 64.0f, true, false);
    balls.applyPending(sink, PadState{});
    ASSERT_EQ(sink.calls.size(), 4u);
    EXPECT_FLOAT_EQ(sink.calls[0].value, 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(sink.calls[1].value, 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(sink.calls[2].value, 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(sink.calls[3].value, (10.0f + 10.0f * 127.0f / 128.0f) / 128.0f);
}

TEST(BallMapping, EmptyRangesPatternRandomWithFlagBAndTargetlessBallsSendNothing) {
    SoundBalls balls;
    oneBall(balls, {target(0, 1, 50, 50), target(0, 2, 0, 128, "PatternRandom")});
    RecordingSink sink;
    balls.move(0, 100.0f, 64.0f, false, true);
    balls.move(1, 10.0f, 10.0f, false, false);  // a ball without targets
    balls.move(7, 10.0f, 10.0f, false, false);  // no such ball
    balls.applyPending(sink, PadState{});
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_FLOAT_EQ(balls.ball(1).x.load(), 10.0f);
    balls.move(0, 100.0f, 64.0f, false, false);
    balls.applyPending(sink, PadState{});
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_EQ(sink.calls[0].index, 2);
}

TEST(BallMapping, MidiAssignmentByChannelCode) {
    SoundBalls balls;
    balls.padToDefaultCount();
    balls.ball(0).midiChannel = 0;
    balls.ball(1).midiChannel = 1;
    balls.ball(2).midiChannel = 3;  // MIDI channel 2
    for (int b = 0; b < 3; ++b) {
        balls.ball(b).xController = 74;
        balls.ball(b).yController = 71;
    }
    balls.ball(3).midiChannel = 1;  // no controllers assigned
    for (int c = 2; c <= 17; ++c) balls.applyController(c, 74, c);
    EXPECT_EQ(balls.ball(0).x.load(), 64.0f);  // channel 0 never responds
    EXPECT_EQ(balls.ball(1).x.load(), 17.0f);  // any channel: the last one
    EXPECT_EQ(balls.ball(2).x.load(), 3.0f);
    balls.applyController(3, 71, 100);
    EXPECT_EQ(balls.ball(2).y.load(), 100.0f);  // not inverted
    balls.applyController(3, 0, 5);             // bank select moves nothing
    EXPECT_EQ(balls.ball(3).x.load(), 64.0f);
    EXPECT_EQ(balls.ball(3).y.load(), 64.0f);
}

TEST(BallMapping, RotationMultipliesByThePadVector) {
    float e, f;
    PadState pad;
    pad.rotation = true;
    effectiveBallPosition(96.0f, 64.0f, pad, e, f);  // pad (128, 64): identity
    EXPECT_FLOAT_EQ(e, 96.0f);
    EXPECT_FLOAT_EQ(f, 64.0f);
    pad.x = 64.0f;
    pad.y = 128.0f;  // a quarter turn
    effectiveBallPosition(96.0f, 64.0f, pad, e, f);
    EXPECT_FLOAT_EQ(e, 64.0f);
    EXPECT_FLOAT_EQ(f, 96.0f);
    pad.x = 64.0f;
    pad.y = 64.0f;  // the centre pulls every ball to the middle
    effectiveBallPosition(0.0f, 127.0f, pad, e, f);
    EXPECT_FLOAT_EQ(e, 64.0f);
    EXPECT_FLOAT_EQ(f, 64.0f);
}

TEST(BallMappingThreads, MovesFromManyThreadsAllReachTheTargets) {
    SoundBalls balls;
    oneBall(balls, {target(1, 0, 0, 128)});
    RecordingSink sink;
    std::atomic<bool> stop{false};
    std::atomic<int> applied{0};
    std::thread consumer([&] {
        while (!stop.load()) {
            balls.applyPending(sink, PadState{});
            applied = static_cast<int>(sink.calls.size());
        }
    });
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p)
        producers.emplace_back([&balls, p] {
            for (int i = 0; i < 5000; ++i) balls.notify(i % 4 == 0 ? 0 : (p % 3) + 1, true, false);
        });
    for (auto& t : producers) t.join();
    stop = true;
    consumer.join();
    balls.applyPending(sink, PadState{});
    // Ball 0 was notified 5000 times; a full queue coalesces, never loses the last.
    EXPECT_GE(sink.calls.size(), 1u);
    balls.move(0, 32.0f, 0.0f, true, false);
    sink.calls.clear();
    balls.applyPending(sink, PadState{});
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_FLOAT_EQ(sink.calls[0].value, 0.25f);
}

TEST(BallMapping, OverflowedChangesAreStillApplied) {
    SoundBalls balls;
    oneBall(balls, {target(1, 0, 0, 128)});
    for (int i = 0; i < 1000; ++i) balls.notify(1, false, false);  // fills the queue with another ball
    balls.move(0, 96.0f, 0.0f, false, false);
    RecordingSink sink;
    balls.applyPending(sink, PadState{});
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_FLOAT_EQ(sink.calls[0].value, 0.75f);
}
