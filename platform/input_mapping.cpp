#include "platform/input_mapping.h"

#include <cstdlib>

namespace platform {

bool DoubleClickDetector::press(int button, int x, int y, uint32_t timeMs) {
    // Unsigned difference: correct across the clock's wrap.
    const bool isDouble = pending_ && button == button_ && timeMs - timeMs_ <= kDoubleClickMs &&
                          std::abs(x - x_) <= kDoubleClickSlopPx && std::abs(y - y_) <= kDoubleClickSlopPx;
    pending_ = !isDouble;
    button_ = button;
    x_ = x;
    y_ = y;
    timeMs_ = timeMs;
    return isDouble;
}

namespace {

// X keysyms of the keys the text entry uses (X11/keysymdef.h values).
constexpr uint32_t kXkBackSpace = 0xff08;
constexpr uint32_t kXkTab = 0xff09;
constexpr uint32_t kXkReturn = 0xff0d;
constexpr uint32_t kXkEscape = 0xff1b;
constexpr uint32_t kXkHome = 0xff50;
constexpr uint32_t kXkLeft = 0xff51;
constexpr uint32_t kXkRight = 0xff53;
constexpr uint32_t kXkEnd = 0xff57;
constexpr uint32_t kXkIsoLeftTab = 0xfe20;
constexpr uint32_t kXkKpEnter = 0xff8d;
constexpr uint32_t kXkKpHome = 0xff95;
constexpr uint32_t kXkKpLeft = 0xff96;
constexpr uint32_t kXkKpRight = 0xff98;
constexpr uint32_t kXkKpEnd = 0xff9c;
constexpr uint32_t kXkKpDelete = 0xff9f;
constexpr uint32_t kXkKpMultiply = 0xffaa;
constexpr uint32_t kXkKpDivide = 0xffaf;
constexpr uint32_t kXkKp0 = 0xffb0;
constexpr uint32_t kXkKp9 = 0xffb9;
constexpr uint32_t kXkKpEqual = 0xffbd;
constexpr uint32_t kXkDelete = 0xffff;
constexpr uint32_t kUnicodeKeysymBase = 0x01000000;

constexpr uint16_t kXShiftMask = 1;
constexpr uint16_t kXLockMask = 2;
constexpr uint16_t kXControlMask = 4;
constexpr uint16_t kXMod1Mask = 8;    // Alt on every common layout
constexpr uint16_t kXMod2Mask = 16;   // Num Lock on every common layout
constexpr uint16_t kXButton1Mask = 256;
constexpr uint16_t kXButton2Mask = 512;
constexpr uint16_t kXButton3Mask = 1024;

}  // namespace

bool isKeypadKeysym(uint32_t keysym) { return keysym >= 0xff80 && keysym <= kXkKpEqual; }

KeyMeaning keyMeaningFromKeysym(uint32_t keysym) {
    KeyMeaning meaning;
    switch (keysym) {
        case kXkBackSpace: meaning.key = EditKey::kBackspace; return meaning;
        case kXkTab:
        case kXkIsoLeftTab: meaning.key = EditKey::kTab; return meaning;
        case kXkReturn:
        case kXkKpEnter: meaning.key = EditKey::kReturn; return meaning;
        case kXkEscape: meaning.key = EditKey::kEscape; return meaning;
        case kXkHome:
        case kXkKpHome: meaning.key = EditKey::kHome; return meaning;
        case kXkLeft:
        case kXkKpLeft: meaning.key = EditKey::kLeft; return meaning;
        case kXkRight:
        case kXkKpRight: meaning.key = EditKey::kRight; return meaning;
        case kXkEnd:
        case kXkKpEnd: meaning.key = EditKey::kEnd; return meaning;
        case kXkDelete:
        case kXkKpDelete: meaning.key = EditKey::kDelete; return meaning;
        default: break;
    }
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) {
        meaning.character = static_cast<char32_t>(keysym);  // Latin-1 keysyms are their code points
    } else if (keysym >= kXkKp0 && keysym <= kXkKp9) {
        meaning.character = static_cast<char32_t>(U'0' + (keysym - kXkKp0));
    } else if (keysym >= kXkKpMultiply && keysym <= kXkKpDivide) {
        // * + , - . / in keysym order
        meaning.character = static_cast<char32_t>(U'*' + (keysym - kXkKpMultiply));
    } else if (keysym == kXkKpEqual) {
        meaning.character = U'=';
    } else if (keysym > kUnicodeKeysymBase && keysym <= kUnicodeKeysymBase + 0x10ffff) {
        char32_t code = static_cast<char32_t>(keysym - kUnicodeKeysymBase);
        if (code >= 0x20 && (code < 0x7f || code >= 0xa0) && (code < 0xd800 || code > 0xdfff))
            meaning.character = code;
    }
    return meaning;
}

uint32_t chooseKeysym(const uint32_t* keysyms, int count, uint16_t state) {
    if (count <= 0) return 0;
    const uint32_t lower = keysyms[0];
    const uint32_t upper = count > 1 && keysyms[1] != 0 ? keysyms[1] : lower;
    const bool shift = (state & kXShiftMask) != 0;
    if (isKeypadKeysym(upper) && (state & kXMod2Mask) != 0) return shift ? lower : upper;
    bool useUpper = shift;
    // Caps Lock shifts letters only; with a single keysym listed for a
    // letter, its capital is the upper level.
    if ((state & kXLockMask) != 0 && lower >= 'a' && lower <= 'z') useUpper = !useUpper;
    if (useUpper && upper == lower && lower >= 'a' && lower <= 'z') return lower - 'a' + 'A';
    if (!useUpper && upper == lower && lower >= 'A' && lower <= 'Z') return lower - 'A' + 'a';
    return useUpper ? upper : lower;
}

int modifiersFromXState(uint16_t state) {
    int bits = 0;
    if (state & kXShiftMask) bits |= kModifierShift;
    if (state & kXControlMask) bits |= kModifierControl;
    if (state & kXMod1Mask) bits |= kModifierAlt;
    return bits;
}

int buttonsFromXState(uint16_t state) {
    int bits = 0;
    if (state & kXButton1Mask) bits |= kMouseLeft;
    if (state & kXButton2Mask) bits |= kMouseMiddle;
    if (state & kXButton3Mask) bits |= kMouseRight;
    return bits;
}

}  // namespace platform
