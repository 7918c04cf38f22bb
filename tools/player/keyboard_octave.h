// One octave of the computer keyboard as MIDI notes, for playing without a
// MIDI device: a w s e d f t g y h u j k from C to the next C, z and x move
// the octave down and up. A terminal reports presses only (no releases), so
// there a note ends when its key has not come again for kHoldMs (key repeat
// keeps it sounding) or when the octave moves; a window reports releases,
// and its notes last until then.
#pragma once

#include <cstdint>
#include <functional>

class KeyboardOctave {
public:
    static constexpr int kHoldMs = 600;
    static constexpr int kVelocity = 100;
    static constexpr int kLowestBase = 0;
    static constexpr int kHighestBase = 120;

    using Send = std::function<void(uint8_t status, uint8_t data1, uint8_t data2)>;
    explicit KeyboardOctave(Send send) : send_(std::move(send)) {}

    // The note a key plays at the current octave, or -1.
    int noteFor(char key) const;
    // A key came at nowMs; true when it was one of the keyboard's.
    bool press(char key, int64_t nowMs);
    // A key went down in a window: its note sounds until release.
    bool hold(char key);
    void release(char key);
    // Ends the notes whose keys stopped coming.
    void update(int64_t nowMs);
    void releaseAll();
    int base() const { return base_; }

private:
    Send send_;
    int base_ = 60;  // the note of the 'a' key
    int64_t deadline_[128] = {};
    bool sounding_[128] = {};
};
