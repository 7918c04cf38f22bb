#include "tools/player/keyboard_octave.h"

#include <cstdint>
#include <cstring>

namespace {
// Semitones above the octave's C, in the layout of a piano's white and black keys.
const char kKeys[] = "awsedftgyhujk";
}  // namespace

int KeyboardOctave::noteFor(char key) const {
    if (key == 0) return -1;
    const char* at = std::strchr(kKeys, key);
    if (at == nullptr) return -1;
    const int note = base_ + static_cast<int>(at - kKeys);
    return note >= 0 && note <= 127 ? note : -1;
}

bool KeyboardOctave::press(char key, int64_t nowMs) {
    if (key == 'z' || key == 'x') {
        const int moved = base_ + (key == 'z' ? -12 : 12);
        if (moved >= kLowestBase && moved <= kHighestBase) {
            releaseAll();
            base_ = moved;
        }
        return true;
    }
    const int note = noteFor(key);
    if (note < 0) return false;
    if (!sounding_[note]) {
        send_(0x90, static_cast<uint8_t>(note), kVelocity);
        sounding_[note] = true;
    }
    deadline_[note] = nowMs + kHoldMs;
    return true;
}

bool KeyboardOctave::hold(char key) {
    // No deadline: only the release ends it.
    return press(key, INT64_MAX - kHoldMs);
}

void KeyboardOctave::release(char key) {
    const int note = noteFor(key);
    if (note < 0 || !sounding_[note]) return;
    send_(0x80, static_cast<uint8_t>(note), 0);
    sounding_[note] = false;
}

void KeyboardOctave::update(int64_t nowMs) {
    for (int note = 0; note < 128; ++note) {
        if (sounding_[note] && nowMs >= deadline_[note]) {
            send_(0x80, static_cast<uint8_t>(note), 0);
            sounding_[note] = false;
        }
    }
}

void KeyboardOctave::releaseAll() {
    for (int note = 0; note < 128; ++note) {
        if (!sounding_[note]) continue;
        send_(0x80, static_cast<uint8_t>(note), 0);
        sounding_[note] = false;
    }
}
