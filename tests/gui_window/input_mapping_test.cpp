// Double clicks from press times and X keysyms as editing keys and text:
// the parts of the window backends that need no display.
#include <gtest/gtest.h>

#include "platform/input_mapping.h"

using platform::DoubleClickDetector;
using platform::EditKey;

TEST(DoubleClick, SecondPressWithinTimeAndPlaceOnly) {
    DoubleClickDetector clicks;
    EXPECT_FALSE(clicks.press(1, 100, 100, 1000));
    EXPECT_TRUE(clicks.press(1, 103, 96, 1000 + platform::kDoubleClickMs));  // limits included
    // A third press starts a new pair, then completes it.
    EXPECT_FALSE(clicks.press(1, 100, 100, 1500));
    EXPECT_TRUE(clicks.press(1, 100, 100, 1600));

    EXPECT_FALSE(clicks.press(1, 10, 10, 5000));
    EXPECT_FALSE(clicks.press(1, 10, 10, 5000 + platform::kDoubleClickMs + 1));  // too late
    EXPECT_FALSE(clicks.press(1, 10 + platform::kDoubleClickSlopPx + 1, 10, 5500));  // moved too far
    EXPECT_FALSE(clicks.press(3, 10 + platform::kDoubleClickSlopPx + 1, 10, 5600));  // another button
    EXPECT_TRUE(clicks.press(3, 10 + platform::kDoubleClickSlopPx + 1, 10, 5700));
}

TEST(DoubleClick, ServerClockWrapsAround) {
    DoubleClickDetector clicks;
    EXPECT_FALSE(clicks.press(1, 0, 0, 0xffffff00u));
    EXPECT_TRUE(clicks.press(1, 0, 0, 0x00000050u));  // 336 ms later, past the wrap
    clicks.reset();
    EXPECT_FALSE(clicks.press(1, 0, 0, 0x00000060u));
}

TEST(Keysyms, EditingKeysAndCharacters) {
    struct Case {
        uint32_t keysym;
        EditKey key;
        char32_t character;
    };
    const Case cases[] = {
        {0xff08, EditKey::kBackspace, 0}, {0xffff, EditKey::kDelete, 0}, {0xff9f, EditKey::kDelete, 0},
        {0xff51, EditKey::kLeft, 0},      {0xff96, EditKey::kLeft, 0},   {0xff53, EditKey::kRight, 0},
        {0xff50, EditKey::kHome, 0},      {0xff57, EditKey::kEnd, 0},    {0xff0d, EditKey::kReturn, 0},
        {0xff8d, EditKey::kReturn, 0},    {0xff1b, EditKey::kEscape, 0}, {0xff09, EditKey::kTab, 0},
        {0xfe20, EditKey::kTab, 0},       {'a', EditKey::kNone, U'a'},   {' ', EditKey::kNone, U' '},
        {'~', EditKey::kNone, U'~'},      {0xe9, EditKey::kNone, U'\u00e9'},
        {0xffb7, EditKey::kNone, U'7'},   {0xffae, EditKey::kNone, U'.'}, {0xffad, EditKey::kNone, U'-'},
        {0xffab, EditKey::kNone, U'+'},   {0xffbd, EditKey::kNone, U'='},
        {0x010020ac, EditKey::kNone, U'\u20ac'},  // the euro sign through the Unicode keysym range
        {0x0100d800, EditKey::kNone, 0},  // a lone surrogate is no character
        {0x01000007, EditKey::kNone, 0},  // nor a control code
        {0xffe1, EditKey::kNone, 0},      // Shift alone
        {0xffbe, EditKey::kNone, 0},      // F1
        {0x7f, EditKey::kNone, 0},
    };
    for (const Case& c : cases) {
        platform::KeyMeaning meaning = platform::keyMeaningFromKeysym(c.keysym);
        EXPECT_EQ(meaning.key, c.key) << std::hex << c.keysym;
        EXPECT_EQ(meaning.character, c.character) << std::hex << c.keysym;
    }
}

TEST(Keysyms, LevelChosenByShiftCapsLockAndNumLock) {
    const uint32_t letter[] = {'a', 'A'};
    const uint32_t letterSingle[] = {'q', 0};
    const uint32_t digit[] = {'1', '!'};
    const uint32_t keypad[] = {0xff95 /* KP_Home */, 0xffb7 /* KP_7 */};
    constexpr uint16_t shift = 1, lock = 2, numLock = 16;
    EXPECT_EQ(platform::chooseKeysym(letter, 2, 0), 'a');
    EXPECT_EQ(platform::chooseKeysym(letter, 2, shift), 'A');
    EXPECT_EQ(platform::chooseKeysym(letter, 2, lock), 'A');
    EXPECT_EQ(platform::chooseKeysym(letter, 2, lock | shift), 'a');
    EXPECT_EQ(platform::chooseKeysym(letterSingle, 2, shift), 'Q');
    EXPECT_EQ(platform::chooseKeysym(letterSingle, 1, 0), 'q');
    EXPECT_EQ(platform::chooseKeysym(digit, 2, lock), '1');  // Caps Lock leaves digits alone
    EXPECT_EQ(platform::chooseKeysym(digit, 2, shift), '!');
    EXPECT_EQ(platform::chooseKeysym(keypad, 2, 0), 0xff95u);
    EXPECT_EQ(platform::chooseKeysym(keypad, 2, numLock), 0xffb7u);
    EXPECT_EQ(platform::chooseKeysym(keypad, 2, numLock | shift), 0xff95u);
    EXPECT_EQ(platform::chooseKeysym(keypad, 0, 0), 0u);
}

TEST(XState, ModifiersAndHeldButtons) {
    EXPECT_EQ(platform::modifiersFromXState(1 | 4 | 8 | 16 | 2), platform::kModifierShift | platform::kModifierControl |
                                                                     platform::kModifierAlt);
    EXPECT_EQ(platform::modifiersFromXState(16), 0);  // Num Lock is no modifier
    EXPECT_EQ(platform::buttonsFromXState(256 | 1024), platform::kMouseLeft | platform::kMouseRight);
    EXPECT_EQ(platform::buttonsFromXState(512 | 4096), platform::kMouseMiddle);  // wheel bits ignored
}
