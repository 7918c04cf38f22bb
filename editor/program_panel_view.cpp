#include "editor/program_panel_view.h"

#include "editor/program_panel_layout.h"

namespace {
constexpr gui::Color kNameColour = gui::rgb(206, 212, 240);
constexpr gui::Color kMarkedNameColour = gui::rgb(255, 255, 255);
constexpr int kNameFontPx = 13;
// The selection bitmap's place for entry 0; the second column lies as far to
// the right as the name entry's.
constexpr int kSelectionLeft = 41;
constexpr int kSelectionTop = 67;
constexpr int kSecondColumnShift = 117;
constexpr int kFirstColumnTextLeft = 45;
constexpr int kSecondColumnTextLeft = 172;
}  // namespace

ProgramPanelView::ProgramPanelView(EditorModel& model, const EditorSkin& skin)
    : gui::View(gui::Rect::fromSize(program_panel::kLeft, program_panel::kTop,
                                    skin.get(skin::kPresets)->width() / program_panel::kTabs,
                                    skin.get(skin::kPresets)->height())),
      model_(model),
      strip_(skin.get(skin::kPresets)),
      selection_(skin.get(skin::kSelectedPreset)),
      font_("Arial Narrow", kNameFontPx) {}

void ProgramPanelView::draw(gui::Canvas& canvas) {
    const gui::Rect r = rect();
    canvas.drawFrame(*strip_, program_panel::kTabs, model_.tab(), gui::StripLayout::kHorizontal, r.left, r.top);
    const std::vector<std::string> names = model_.entryNames();
    const int marked = model_.markedEntry();
    const int editing = model_.tab() == program_panel::kUserTab ? model_.editingSlot() : -1;
    for (int e = 0; e < program_panel::kEntriesPerTab; ++e) {
        const platform::PixelRect slot = program_panel::nameEntryRect(e);
        if (e == marked) {
            const int x = kSelectionLeft + (e < program_panel::kRowsPerColumn ? 0 : kSecondColumnShift);
            const int y = kSelectionTop + (e % program_panel::kRowsPerColumn) * program_panel::kRowPixels;
            canvas.drawBitmap(*selection_, x, y);
        }
        if (e == editing) continue;  // the name entry lies there
        // Names start just right of each row's bullet in the panel bitmap.
        const int textLeft = e < program_panel::kRowsPerColumn ? kFirstColumnTextLeft : kSecondColumnTextLeft;
        const gui::Rect textRect{textLeft, slot.top, slot.right, slot.bottom};
        canvas.drawText(font_, names[static_cast<size_t>(e)], textRect, gui::Align::kLeft,
                        e == marked ? kMarkedNameColour : kNameColour);
    }
}

bool ProgramPanelView::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    model_.clickPanel(e.x - rect().left, e.y - rect().top, e.doubleClick);
    invalidate();
    if (afterClick) afterClick();
    return false;
}
