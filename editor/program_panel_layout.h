// Geometry of the program panel: the list of 24 entries in two columns of
// twelve and the five tabs to its right.
#pragma once

#include "platform/editor_window.h"

namespace program_panel {

// The panel's top-left corner in the editor.
constexpr int kLeft = 25;
constexpr int kTop = 54;
constexpr int kTabs = 5;
constexpr int kUserTab = 4;
constexpr int kEntriesPerTab = 24;
constexpr int kRowsPerColumn = 12;
constexpr int kRowPixels = 27;
constexpr int kListTopPixels = 12;
constexpr int kListRightEdge = 258;  // x below this is the list
constexpr int kSecondColumnX = 130;  // x above this is the second column
constexpr int kTabTop = 66;
constexpr int kTabPixels = 44;

struct Hit {
    enum class Kind { kNone, kEntry, kTab };
    Kind kind = Kind::kNone;
    // kEntry: row + 12 for the second column. The arithmetic is the list's
    // own, so a click below the twelfth row yields 12 or more (24 or more in
    // the second column): callers check the range.
    int index = -1;
};

// x, y relative to the panel's top-left corner.
Hit hitTest(int x, int y);

// The name entry placed over user slot 0..23, in editor coordinates.
platform::PixelRect nameEntryRect(int slot);

// The area of list entry 0..23, in editor coordinates (for drawing).
platform::PixelRect entryRect(int entry);

}  // namespace program_panel
