#include "balls/ball_motion.h"

#include <algorithm>
#include <cmath>

#include "common/portable_math.h"

namespace {

constexpr float kPadCentre = 64.0f;
constexpr float kPadTop = 127.0f;
// The round pad's radius in pad units: the circle spans 0..127.
constexpr float kRoundPadRadius = 63.5f;
// 4.2666669 pad units per second at speed 0; the speed raises it by 300^speed.
constexpr double kFlyUnitsPerSecond = 4.2666669;
constexpr double kFlySpeedRange = 300.0;

float clampPad(float v) { return std::clamp(v, 0.0f, kPadTop); }

void rotate(float x, float y, const PadState& pad, float& u, float& w) {
    const float bu = x / kPadCentre - 1.0f, bw = y / kPadCentre - 1.0f;
    const float p = pad.x / kPadCentre - 1.0f, q = pad.y / kPadCentre - 1.0f;
    u = p * bu - q * bw;
    w = p * bw + q * bu;
}

}  // namespace

void effectiveBallPosition(float x, float y, const PadState& pad, float& e, float& f) {
    if (!pad.rotation) {
        e = x;
        f = y;
        return;
    }
    float u, w;
    rotate(x, y, pad, u, w);
    e = clampPad((u + 1.0f) * kPadCentre);
    f = clampPad((w + 1.0f) * kPadCentre);
}

void effectiveBallFraction(float x, float y, const PadState& pad, float& fx, float& fy) {
    if (!pad.rotation) {
        fx = x / 128.0f;
        fy = y / 128.0f;
        return;
    }
    float u, w;
    rotate(x, y, pad, u, w);
    fx = std::clamp((u + 1.0f) / 2.0f, 0.0f, 1.0f);
    fy = std::clamp((w + 1.0f) / 2.0f, 0.0f, 1.0f);
}

float flyDistancePerBlock(float speed, int frames, double sampleRateHz) {
    if (sampleRateHz <= 0.0 || frames <= 0) return 0.0f;
    return static_cast<float>(portable::pow(kFlySpeedRange, static_cast<double>(speed)) * frames / sampleRateHz *
                              kFlyUnitsPerSecond);
}

void flyOneBlock(FlyState& s, float speed, float direction, int frames, double sampleRateHz, bool roundPad) {
    const float distance = flyDistancePerBlock(speed, frames, sampleRateHz);
    float vx, vy;
    if (direction < 0.5f) {
        vx = distance;
        vy = 2.0f * direction * distance;
    } else {
        vx = 2.0f * (1.0f - direction) * distance;
        vy = distance;
    }
    s.velocityX = s.velocityX >= 0.0f ? vx : -vx;
    s.velocityY = s.velocityY >= 0.0f ? vy : -vy;
    s.x += s.velocityX;
    s.y += s.velocityY;

    if (roundPad) {
        float u = s.x / kRoundPadRadius - 1.0f;
        float w = s.y / kRoundPadRadius - 1.0f;
        const float r = std::sqrt(u * u + w * w);
        if (r > 1.0f) {
            u /= r;
            w /= r;
            // Reverse the component that points out of the circle most.
            if (std::fabs(w) < std::fabs(u))
                s.velocityX = -s.velocityX;
            else
                s.velocityY = -s.velocityY;
            s.x = (u + 1.0f) * kRoundPadRadius;
            s.y = (w + 1.0f) * kRoundPadRadius;
        }
    } else {
        if (s.x >= kPadTop) {
            s.x = 255.0f - s.x;
            s.velocityX = -s.velocityX;
        } else if (s.x < 0.0f) {
            s.x = -s.x;
            s.velocityX = -s.velocityX;
        }
        if (s.y >= kPadTop) {
            s.y = 255.0f - s.y;
            s.velocityY = -s.velocityY;
        } else if (s.y < 0.0f) {
            s.y = -s.y;
            s.velocityY = -s.velocityY;
        }
    }
    // Also keeps non-finite values (a position set from outside) off the pad.
    s.x = std::isfinite(s.x) ? clampPad(s.x) : kPadCentre;
    s.y = std::isfinite(s.y) ? clampPad(s.y) : kPadCentre;
}
