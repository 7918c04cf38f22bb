// The geometry of sound balls, free of threads and targets: where a ball
// acts on its targets (rotation by the owner's pad) and how a flying ball
// moves and bounces in one block.
#pragma once

#include "balls/sound_ball.h"

// Ball position as its targets see it, each axis 0..127. With rotation on,
// the ball vector is multiplied (as a complex number) by the pad vector.
void effectiveBallPosition(float x, float y, const PadState& pad, float& e, float& f);

// The same as fractions 0..1 (random jumps apply their positions this way).
void effectiveBallFraction(float x, float y, const PadState& pad, float& fx, float& fy);

struct FlyState {
    float x = 64.0f;
    float y = 64.0f;
    float velocityX = 0.0f;
    float velocityY = 0.0f;
};

// Pad units a ball at fly speed 0..1 travels in one block:
// 300^speed * frames / sampleRate * 4.2666669 (4.27 per second at speed 0,
// 1280 at speed 1).
float flyDistancePerBlock(float speed, int frames, double sampleRateHz);

// One block of flight: velocities from speed and direction (keeping their
// signs), the move, the bounce off the round or square pad, then the clamp
// to 0..127.
void flyOneBlock(FlyState& state, float speed, float direction, int frames, double sampleRateHz, bool roundPad);
