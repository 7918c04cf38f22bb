// A random jump sets a module target exactly as moving the ball to the same
// place does: the module's own parameter index and the ball's range, once.
// (Routing jumps through the slot's project descriptor list instead would
// number the parameter by its place in that list and map the value through
// the descriptor's range a second time.)
#include <gtest/gtest.h>

#include "tests/balls/ball_test_sink.h"

TEST(BallJumps, ModuleTargetsGetTheValueAMoveToTheSamePlaceGives) {
    for (bool rotation : {false, true}) {
        SoundBalls balls;
        balls.padToDefaultCount();
        balls.seedRandom(11);
        balls.ball(0).randomRate = 1.0f;
        balls.ball(0).horizontal = {target(0, 9, 32, 96)};
        balls.ball(0).vertical = {target(0, 2, 128, 0)};
        PadState pad;
        pad.rotation = rotation;
        pad.x = 100.0f;
        pad.y = 40.0f;
        for (int step = 0; step < 6; ++step) {
            RecordingSink jumped;
            ASSERT_TRUE(balls.randomJumps(step, false, 3, jumped, pad));
            ASSERT_EQ(jumped.calls.size(), 2u);
            RecordingSink pending;
            balls.applyPending(pending, pad);  // the jump's own notification: a move to where it landed
            ASSERT_EQ(pending.calls.size(), 2u);
            for (size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(jumped.calls[i].kind, 0);
                EXPECT_EQ(jumped.calls[i].index, pending.calls[i].index);
                EXPECT_FLOAT_EQ(jumped.calls[i].value, pending.calls[i].value) << "step " << step;
            }
            EXPECT_EQ(jumped.calls[0].index, 9);
            if (!rotation) {
                EXPECT_FLOAT_EQ(jumped.calls[0].value, (32.0f + balls.ball(0).x.load() / 128.0f * 64.0f) / 128.0f);
            }
        }
    }
}
