#include "balls/sound_balls.h"

#include <cmath>
#include <cstring>

#include "balls/ball_motion.h"

namespace {

constexpr int kMaxRandomRate = 16;  // 2^15 steps between jumps is beyond any pattern
constexpr int kCountdownLimit = 15;
constexpr float kPadScale = 128.0f;
constexpr float kPadTop = 127.0f;
constexpr char kPatternRandomDisplay[] = "PatternRandom";

float clampPad(float v) { return v < 0.0f ? 0.0f : (v > kPadTop ? kPadTop : v); }

void sendTarget(const ParameterDescriptor& t, float value, BallTargetSink& sink) {
    if (t.kind == kParameterKindMix)
        sink.setBallMixParameter(t.index, value);
    else
        sink.setBallModuleParameter(t.kind, t.index, value);
}

}  // namespace

bool SoundBalls::appendLimited() {
    if (count() >= kBallsPerTrack) return false;
    balls_.emplace_back();
    return true;
}

void SoundBalls::padToDefaultCount() {
    while (count() < kBallsPerTrack) balls_.emplace_back();
}

void SoundBalls::move(int ball, float x, float y, bool flagA, bool flagB) {
    if (!valid(ball)) return;
    SoundBall& b = balls_[static_cast<size_t>(ball)];
    b.x = x;
    b.y = y;
    notify(ball, flagA, flagB);
}

void SoundBalls::notify(int ball, bool flagA, bool flagB) {
    if (!valid(ball)) return;
    if (changes_.push(BallChange{ball, flagA, flagB})) return;
    if (ball < 32) overflow_.fetch_or(1u << ball, std::memory_order_relaxed);
}

void SoundBalls::applyPending(BallTargetSink& sink, const PadState& pad) {
    BallChange change;
    while (changes_.pop(change)) applyBall(change.ball, change.flagA, change.flagB, sink, pad);
    uint32_t missed = overflow_.exchange(0, std::memory_order_relaxed);
    for (int b = 0; missed != 0; ++b, missed >>= 1)
        if ((missed & 1u) != 0) applyBall(b, true, false, sink, pad);
}

void SoundBalls::applyAxis(const std::vector<ParameterDescriptor>& targets, float position, bool fullRange,
                           bool flagA, bool flagB, BallTargetSink& sink) {
    for (const ParameterDescriptor& t : targets) {
        if (t.minimum == t.maximum) continue;
        if (flagB && std::strcmp(t.display, kPatternRandomDisplay) == 0) continue;
        float m = position;
        if (!fullRange || (flagA && t.resonance)) m = t.minimum + (t.maximum - t.minimum) * position / kPadScale;
        sendTarget(t, m / kPadScale, sink);
    }
}

void SoundBalls::applyBall(int ball, bool flagA, bool flagB, BallTargetSink& sink, const PadState& pad) {
    if (!valid(ball)) return;
    const SoundBall& b = balls_[static_cast<size_t>(ball)];
    float e, f;
    effectiveBallPosition(b.x.load(), b.y.load(), pad, e, f);
    const bool fullRange = b.fullRange.load() != 0.0f;
    applyAxis(b.horizontal, e, fullRange, flagA, flagB, sink);
    applyAxis(b.vertical, f, fullRange, flagA, flagB, sink);
}

bool SoundBalls::fly(int frames, double sampleRateHz, const PadState& pad) {
    bool moved = false;
    for (int i = 0; i < count(); ++i) {
        SoundBall& b = balls_[static_cast<size_t>(i)];
        // The switch comes from programs and project text as a float; as an
        // integer it is off below 1 in size, and a value that no integer holds
        // (NaN, a damaged chunk's 1e37) must not reach the conversion.
        const float flyOn = b.flyOn.load();
        if (!(std::fabs(flyOn) >= 1.0f)) continue;
        FlyState s{b.x.load(), b.y.load(), b.velocityX.load(), b.velocityY.load()};
        flyOneBlock(s, b.flySpeed.load(), b.flyDirection.load(), frames, sampleRateHz, pad.roundPad);
        b.x = s.x;
        b.y = s.y;
        b.velocityX = s.velocityX;
        b.velocityY = s.velocityY;
        notify(i, true, false);
        moved = true;
    }
    return moved;
}

bool SoundBalls::randomJumps(int stepPosition, bool synchro, int ownerStep, BallTargetSink& sink,
                             const PadState& pad) {
    bool jumped = false;
    for (int i = 0; i < count(); ++i) {
        SoundBall& b = balls_[static_cast<size_t>(i)];
        // Negative rates are not a setting any writer produces; they count as
        // off, as does NaN. Rates above the longest interval are held there
        // before the conversion (a damaged chunk may hold 1e37).
        const float rate = b.randomRate.load();
        if (!(rate >= 1.0f)) continue;
        const int n = rate > kMaxRandomRate ? kMaxRandomRate : static_cast<int>(rate);
        --b.randomCountdown;
        if ((!synchro || ownerStep != 0) && b.randomCountdown >= 1 && b.randomCountdown <= kCountdownLimit) continue;
        const int every = 1 << ((n > kMaxRandomRate ? kMaxRandomRate : n) - 1);
        if (stepPosition % every != 0) continue;
        b.randomCountdown = every;
        const float x = clampPad(static_cast<float>(random_.next()) * kPadScale / 32768.0f);
        const float y = clampPad(static_cast<float>(random_.next()) * kPadScale / 32768.0f);
        b.x = x;
        b.y = y;

        // Module and mix targets follow at once; the inserts follow with the
        // notification at the next block.
        float fx, fy;
        effectiveBallFraction(x, y, pad, fx, fy);
        for (int axis = 0; axis < 2; ++axis) {
            const float a = axis == 0 ? fx : fy;
            for (const ParameterDescriptor& t : axis == 0 ? b.horizontal : b.vertical) {
                if (t.minimum == t.maximum) continue;
                if (t.kind != kParameterKindMainModule && t.kind != kParameterKindMix) continue;
                sendTarget(t, (t.minimum * (1.0f - a) + t.maximum * a) / kPadScale, sink);
            }
        }
        notify(i, true, false);
        jumped = true;
    }
    return jumped;
}

void SoundBalls::applyController(int channelCode, int controller, int value) {
    if (controller == 0) return;  // 0 stands for "no controller" in the assignment
    for (int i = 0; i < count(); ++i) {
        SoundBall& b = balls_[static_cast<size_t>(i)];
        if (b.midiChannel != channelCode && b.midiChannel != 1) continue;
        if (controller == b.xController) {
            b.x = static_cast<float>(value);
            notify(i, true, false);
        }
        if (controller == b.yController) {
            b.y = static_cast<float>(value);
            notify(i, true, false);
        }
    }
}

void SoundBalls::takeOver() {
    for (int i = 0; i < count(); ++i) {
        SoundBall& b = balls_[static_cast<size_t>(i)];
        b.fullRange = 1.0f;
        b.flyOn = 0.0f;
        b.randomRate = 0.0f;
        notify(i, false, false);
    }
}
