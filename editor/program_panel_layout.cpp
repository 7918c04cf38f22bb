#include "editor/program_panel_layout.h"

namespace program_panel {

Hit hitTest(int x, int y) {
    Hit hit;
    if (x < kListRightEdge) {
        // Integer division as the list has always done it: clicks in the
        // margin above the first row still count as row 0.
        int row = (y - kListTopPixels) / kRowPixels;
        if (x > kSecondColumnX) row += kRowsPerColumn;
        hit.kind = Hit::Kind::kEntry;
        hit.index = row;
    } else if (y > kTabTop - 1) {
        const int tab = (y - kTabTop) / kTabPixels;
        if (tab < kTabs) {
            hit.kind = Hit::Kind::kTab;
            hit.index = tab;
        }
    }
    return hit;
}

platform::PixelRect nameEntryRect(int slot) {
    const int row = slot % kRowsPerColumn;
    platform::PixelRect r;
    r.left = slot < kRowsPerColumn ? 43 : 160;
    r.right = slot < kRowsPerColumn ? 151 : 268;
    r.top = row * kRowPixels + 68;
    r.bottom = row * kRowPixels + 87;
    return r;
}

platform::PixelRect entryRect(int entry) {
    const int row = entry % kRowsPerColumn;
    platform::PixelRect r;
    r.left = kLeft + (entry < kRowsPerColumn ? 0 : kSecondColumnX + 1);
    r.right = kLeft + (entry < kRowsPerColumn ? kSecondColumnX + 1 : kListRightEdge);
    r.top = kTop + kListTopPixels + row * kRowPixels;
    r.bottom = r.top + kRowPixels;
    return r;
}

}  // namespace program_panel
