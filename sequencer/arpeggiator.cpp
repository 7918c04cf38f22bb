#include "sequencer/arpeggiator.h"

#include <algorithm>

namespace {

constexpr int kModeUp = 0;
constexpr int kModeDown = 1;
constexpr int kModeRandom = 3;
constexpr int kExtensionModeRepeat = 0;  // every key with extensions 0..x in turn
constexpr int kExtensionModeLagging = 2;
constexpr int kExtensionModeRandom = 3;
constexpr int kGateTimeRandom = 5;
// Divider and gate exponents beyond these make no musical sense and would
// overflow the shifts.
constexpr int kMaxTempoExponent = 16;
constexpr int kMaxGateExponent = 16;
constexpr int kRandomRange = 32768;

int randomVelocity(float amount, dsp::Random15& random) {
    if (amount == 0.0f) return 127;
    auto draw = [&]() {
        return 127 - framesFromSteps(static_cast<double>(random.next()) * static_cast<double>(amount) / 1024.0);
    };
    int velocity;
    if (draw() > 32 && draw() >= 127) {
        velocity = 127;
    } else {
        velocity = 32;
        if (draw() > 32) velocity = draw();
    }
    // A strong randomness can push the draw to 0 or below, which would turn
    // the note-on into a note-off.
    return std::clamp(velocity, 1, 127);
}

}  // namespace

void Arpeggiator::restart() {
    keyIndex_ = 0;
    goingUp_ = true;
    extension_ = 0;
    cycle_ = 0;
    divider_ = 0;
}

void Arpeggiator::step(const StepEnvironment& env, double stepFrames, int offsetFrames, dsp::Random15& random,
                       StepSink& sink) {
    const ArpeggiatorSettings& s = env.arpeggiator;
    if (--divider_ > 0) return;
    divider_ = 1 << integerPart(s.tempo, 0, kMaxTempoExponent);

    const int held = env.heldKeyCount;
    const int mode = integerPart(s.mode, 0, 127);
    const int hole = integerPart(s.hole, 0, 127);
    const int extensionMode = integerPart(s.extensionMode, 0, 127);
    const int x = integerPart(s.extension, 0, 127);

    if (!(mode == kModeRandom && hole != 0) && keyIndex_ >= held) keyIndex_ = 0;
    if (keyIndex_ < 0) keyIndex_ = 0;

    if (keyIndex_ < held) {
        int e = extension_;
        if (extensionMode == kExtensionModeLagging && cycle_ < keyIndex_) e = std::max(e - 1, 0);
        scheduleKey(env, e, stepFrames, offsetFrames, random, sink);
    }

    // Advance.
    if (extensionMode == kExtensionModeRepeat) {
        if (++extension_ > x) {
            extension_ = 0;
            advanceKeyIndex(mode, hole, held, random);
        }
        return;
    }
    if (extensionMode == kExtensionModeRandom) {
        ++extension_;
        const int drawn = static_cast<int>(static_cast<long long>(random.next()) * (x + 1) / kRandomRange);
        if (extension_ <= std::min(x, drawn)) return;
        extension_ = 0;
    }
    advanceKeyIndex(mode, hole, held, random);
    if (++extension_ > x) {
        extension_ = 0;
        if (++cycle_ >= held) cycle_ = 0;
    }
}

void Arpeggiator::scheduleKey(const StepEnvironment& env, int extension, double stepFrames, int offsetFrames,
                              dsp::Random15& random, StepSink& sink) {
    const ArpeggiatorSettings& s = env.arpeggiator;
    const int key = env.heldKeys[keyIndex_] + integerPart(s.interval, -127, 127) * extension;
    if (key >= 128) return;

    const int velocity = randomVelocity(s.velocity, random);
    int gateDivisor;
    const int gateExponent = integerPart(s.gateTime, 0, kMaxGateExponent);
    if (gateExponent == kGateTimeRandom)
        gateDivisor = 1 + static_cast<int>(static_cast<long long>(random.next()) * 15 / kRandomRange);
    else
        gateDivisor = 1 << gateExponent;

    int transposition = 0;
    if (env.followsTransposition) {
        transposition = env.transposition;
        // The note is left out when the transposed key leaves the MIDI range.
        if (key + transposition < 0 || key + transposition > 127) return;
    }

    int time = offsetFrames;
    if (((keyIndex_ + extension) & 1) != 0) time += framesFromSteps(static_cast<double>(s.swing) * stepFrames);
    time = std::max(time, 0);
    const int end = std::max(time + framesFromSteps(stepFrames / gateDivisor), time + 1);
    sink.scheduleNote(key, velocity, time, transposition);
    sink.scheduleNote(key, 0, end, transposition);
}

void Arpeggiator::advanceKeyIndex(int mode, int hole, int heldCount, dsp::Random15& random) {
    if (mode == kModeRandom) {
        const int range = hole + heldCount;
        const int index = static_cast<int>(static_cast<long long>(random.next()) * range / kRandomRange);
        keyIndex_ = std::max(std::min(index, range - 1), 0);
        return;
    }
    // Up always climbs and down always falls; the direction only matters
    // for up and down, which turns at both ends and plays the end keys twice.
    const bool up = mode == kModeUp ? true : mode == kModeDown ? false : goingUp_;
    if (up) {
        if (++keyIndex_ > heldCount - 1) {
            if (mode == kModeUp) {
                keyIndex_ = 0;
            } else {
                goingUp_ = false;
                keyIndex_ = std::max(heldCount - 1, 0);
            }
        }
    } else {
        if (--keyIndex_ < 0) {
            if (mode == kModeDown) {
                keyIndex_ = std::max(heldCount - 1, 0);
            } else {
                goingUp_ = true;
                keyIndex_ = 0;
            }
        }
    }
}
