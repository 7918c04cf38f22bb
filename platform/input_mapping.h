// Window-system-neutral pieces of input handling, kept apart from the
// backends so they can be tested without a display: double clicks built
// from press times (X11 reports none of its own), and X keysyms turned into
// editing keys and characters.
#pragma once

#include <cstdint>

#include "platform/editor_window.h"

namespace platform {

// Presses of the same button within this time and distance of the previous
// one make a double click; the usual desktop defaults.
constexpr uint32_t kDoubleClickMs = 400;
constexpr int kDoubleClickSlopPx = 4;

class DoubleClickDetector {
public:
    // A button went down at timeMs (a wrapping millisecond clock, like X
    // server timestamps). True when this press completes a double click;
    // a third press then starts a new pair.
    bool press(int button, int x, int y, uint32_t timeMs);
    void reset() { pending_ = false; }

private:
    bool pending_ = false;
    int button_ = 0;
    int x_ = 0;
    int y_ = 0;
    uint32_t timeMs_ = 0;
};

// An X keysym as the text entry sees it: an editing key, or the UTF-32
// character of a printable key (Latin-1, keypad digits and operators, and
// the 0x01000000 Unicode range). kNone and 0 for anything else.
struct KeyMeaning {
    EditKey key = EditKey::kNone;
    char32_t character = 0;
};
KeyMeaning keyMeaningFromKeysym(uint32_t keysym);

// True for keysyms of the numeric keypad, whose second level (digits) is
// chosen by Num Lock rather than Shift.
bool isKeypadKeysym(uint32_t keysym);

// Which of the keysyms listed for a keycode applies: levels 0 and 1 of the
// first group. state holds the X modifier bits of the event.
uint32_t chooseKeysym(const uint32_t* keysyms, int count, uint16_t state);

// X modifier bits (ShiftMask, ControlMask, Mod1Mask) as KeyModifierBits.
int modifiersFromXState(uint16_t state);
// X button-held bits (Button1Mask...) as MouseButtonBits.
int buttonsFromXState(uint16_t state);

}  // namespace platform
