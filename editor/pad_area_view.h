// The planet pad's place: the grid inside the porthole. The pad control
// that draws and drags planets and satellites takes this place; until then
// the view draws the grid and takes no clicks.
#pragma once

#include "editor/editor_skin.h"
#include "gui/view.h"

// Pad rectangle in the editor: 374,26 to 771,423.
constexpr gui::Rect kPadRect{374, 26, 771, 423};

class PadAreaView : public gui::View {
public:
    explicit PadAreaView(const EditorSkin& skin) : gui::View(kPadRect), grid_(skin.get(skin::kGrid)) {}

    void draw(gui::Canvas& canvas) override { canvas.drawBitmap(*grid_, 395, 45); }
    bool hitTest(int, int) const override { return false; }
    // After a program change the project's tracks are new: whatever the
    // pad holds of them is read again here.
    virtual void refresh() { invalidate(); }

private:
    const gui::Bitmap* grid_;
};
