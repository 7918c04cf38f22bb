#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "balls/ball_motion.h"
#include "tests/balls/ball_test_sink.h"

TEST(BallMotion, FlySpeedSetsTheDistancePerBlock) {
    EXPECT_NEAR(flyDistancePerBlock(0.0f, 44100, 44100.0), 4.2666669f, 1e-5f);
    EXPECT_NEAR(flyDistancePerBlock(1.0f, 44100, 44100.0), 1280.0f, 0.01f);
    EXPECT_NEAR(flyDistancePerBlock(0.5f, 441, 44100.0), 0.042666669f * std::sqrt(300.0f), 1e-5f);
}

TEST(BallMotion, DirectionZeroBouncesBetweenLeftAndRightOnTheRoundPad) {
    FlyState s{63.5f, 63.5f, 0.0f, 0.0f};
    float lowest = 127.0f, highest = 0.0f;
    int reversals = 0;
    float lastVelocity = 0.0f;
    for (int block = 0; block < 2000; ++block) {
        flyOneBlock(s, 0.6f, 0.0f, 512, 44100.0, true);
        EXPECT_FLOAT_EQ(s.y, 63.5f);
        lowest = std::min(lowest, s.x);
        highest = std::max(highest, s.x);
        if (lastVelocity != 0.0f && (s.velocityX > 0) != (lastVelocity > 0)) ++reversals;
        lastVelocity = s.velocityX;
        EXPECT_EQ(s.velocityY, 0.0f);
    }
    EXPECT_NEAR(lowest, 0.0f, 1e-3f);
    EXPECT_NEAR(highest, 127.0f, 1e-3f);
    EXPECT_GT(reversals, 10);
}

TEST(BallMotion, DiagonalFlightStaysInsideTheCircle) {
    FlyState s{64.0f, 64.0f, 0.0f, 0.0f};
    for (int block = 0; block < 5000; ++block) {
        flyOneBlock(s, 0.8f, 0.3f, 256, 48000.0, true);
        const float u = s.x / 63.5f - 1.0f, w = s.y / 63.5f - 1.0f;
        EXPECT_LE(u * u + w * w, 1.0001f);
    }
}

TEST(BallMotion, SquarePadReflectsAtTheEdges) {
    FlyState s{126.0f, 2.0f, 0.0f, -1.0f};
    const float d = flyDistancePerBlock(0.0f, 44100, 44100.0);  // 4.27 per block
    flyOneBlock(s, 0.0f, 0.5f, 44100, 44100.0, false);
    EXPECT_FLOAT_EQ(s.x, 255.0f - (126.0f + d));
    EXPECT_LT(s.velocityX, 0.0f);
    EXPECT_FLOAT_EQ(s.y, d - 2.0f);  // reflected off 0
    EXPECT_GT(s.velocityY, 0.0f);
}

TEST(BallMotion, FlyingBallsQueueTheirMoves) {
    SoundBalls balls;
    balls.padToDefaultCount();
    balls.ball(2).flyOn = 1.0f;
    balls.ball(2).horizontal.push_back(target(1, 0, 0, 128));
    EXPECT_TRUE(balls.fly(44100, 44100.0, PadState{}));
    EXPECT_NEAR(balls.ball(2).x.load(), 64.0f + 4.2666669f, 1e-4f);
    EXPECT_EQ(balls.ball(0).x.load(), 64.0f);
    RecordingSink sink;
    balls.applyPending(sink, PadState{});
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_NEAR(sink.calls[0].value, (64.0f + 4.2666669f) / 128.0f, 1e-5f);
}

TEST(BallMotion, RandomRateThreeJumpsOnEveryFourthStep) {
    SoundBalls balls;
    balls.padToDefaultCount();
    balls.seedRandom(7);
    balls.ball(0).randomRate = 3.0f;
    balls.ball(0).horizontal = {target(0, 5, 0, 128), target(1, 0, 0, 128), target(2, 1, 0, 128)};
    std::vector<int> jumps;
    RecordingSink sink;
    for (int step = 0; step < 16; ++step) {
        const float x = balls.ball(0).x.load();
        if (balls.randomJumps(step, false, 5, sink, PadState{})) jumps.push_back(step);
        if (!jumps.empty() && jumps.back() == step) {
            EXPECT_GE(balls.ball(0).x.load(), 0.0f);
            EXPECT_LE(balls.ball(0).x.load(), 127.0f);
        } else {
            EXPECT_EQ(balls.ball(0).x.load(), x);
        }
    }
    EXPECT_EQ(jumps, std::vector<int>({0, 4, 8, 12}));
    // Module and mix targets follow at once, the insert with the notification.
    ASSERT_EQ(sink.calls.size(), 8u);
    EXPECT_EQ(sink.calls[0].kind, 0);
    EXPECT_EQ(sink.calls[0].index, 5);
    EXPECT_FLOAT_EQ(sink.calls[6].value, balls.ball(0).x.load() / 128.0f);  // the last jump's
    EXPECT_EQ(sink.calls[7].kind, 1);
    sink.calls.clear();
    balls.applyPending(sink, PadState{});
    EXPECT_EQ(sink.calls.size(), 12u);  // four notifications, three targets each
}

TEST(BallMotion, TakeoverStopsFlyAndRandomAndOpensTheFullRange) {
    SoundBalls balls;
    balls.padToDefaultCount();
    balls.ball(1).flyOn = 1.0f;
    balls.ball(1).randomRate = 2.0f;
    balls.takeOver();
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(balls.ball(b).fullRange.load(), 1.0f);
        EXPECT_EQ(balls.ball(b).flyOn.load(), 0.0f);
        EXPECT_EQ(balls.ball(b).randomRate.load(), 0.0f);
    }
    EXPECT_FALSE(balls.fly(512, 44100.0, PadState{}));
}
