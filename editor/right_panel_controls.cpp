#include "editor/right_panel_controls.h"

#include "editor/right_panel_layout.h"
#include "gui/canvas.h"

namespace {
constexpr gui::Color kFaderText = gui::rgb(48, 48, 48);
constexpr gui::Color kFaderBody = gui::rgb(178, 190, 222);
constexpr gui::Color kFaderLevel = gui::rgb(120, 196, 255);
constexpr gui::Color kFaderEdge = gui::rgb(210, 226, 255);
constexpr unsigned kDisabledOpacity = 70;
}  // namespace

CKavoRandomSelector::CKavoRandomSelector(gui::Point topLeft, const gui::Bitmap* cells, gui::ControlListener* listener,
                                         int tag)
    : gui::Control(gui::Rect::fromSize(topLeft.x, topLeft.y, cells->width(), cells->height() / 2), listener, tag),
      cells_(cells) {
    setRange(0.0f, static_cast<float>(right_panel::kRandomCells - 1));
}

void CKavoRandomSelector::draw(gui::Canvas& canvas) {
    const gui::Rect r = rect();
    const int h = r.height();
    canvas.drawBitmap(*cells_, gui::Rect{0, 0, r.width(), h}, r.left, r.top);
    const unsigned lit = right_panel::litRandomCells(value());
    const int cellW = r.width() / 2;
    for (int c = 0; c < right_panel::kRandomCells; ++c) {
        if (!(lit & (1u << c))) continue;
        const gui::Rect cell = gui::Rect::fromSize((c % 2) * cellW, (c / 2) * right_panel::kRandomRowPixels, cellW,
                                                   right_panel::kRandomRowPixels);
        canvas.drawBitmap(*cells_, cell.offset(0, h), r.left + cell.left, r.top + cell.top);
    }
}

bool CKavoRandomSelector::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    clickedCell_ = right_panel::randomCell(e.x - rect().left, e.y - rect().top, rect().width());
    setValue(right_panel::randomRateAfterClick(value(), clickedCell_));
    notifyBeginEdit();
    notifyChanged();
    notifyEndEdit();
    return false;
}

CKavoSwitchFader::CKavoSwitchFader(const gui::Rect& rect, gui::ControlListener* listener, int tag,
                                   std::function<std::string(float)> text)
    : gui::Control(rect, listener, tag), text_(std::move(text)), font_("Arial Narrow", 12) {}

void CKavoSwitchFader::draw(gui::Canvas& canvas) {
    const gui::Rect r = rect();
    const float span = maximum() - minimum();
    const float fraction = span > 0.0f ? (value() - minimum()) / span : 0.0f;
    const int levelRight = r.left + static_cast<int>(fraction * static_cast<float>(r.width()) + 0.5f);
    const unsigned opacity = enabled() ? 255 : kDisabledOpacity;
    canvas.fillRect(r, gui::withAlpha(kFaderBody, opacity));
    canvas.fillRect(gui::Rect{r.left, r.top, levelRight, r.bottom}, gui::withAlpha(kFaderLevel, opacity));
    canvas.frameRect(r, gui::withAlpha(kFaderEdge, opacity));
    if (text_) canvas.drawText(font_, text_(value()), r, gui::Align::kCenter, gui::withAlpha(kFaderText, opacity));
}

bool CKavoSwitchFader::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    pressY_ = e.y;
    pressValue_ = value();
    pressFine_ = (e.modifiers & platform::kModifierShift) != 0;
    dragging_ = true;
    notifyBeginEdit();
    return true;
}

void CKavoSwitchFader::onMouseMove(const gui::MouseEvent& e) {
    if (!dragging_) return;
    const bool fine = (e.modifiers & platform::kModifierShift) != 0;
    if (fine != pressFine_) {
        // Shift pressed or let go mid-drag: the drag goes on from here, so
        // the value does not jump.
        pressY_ = e.y;
        pressValue_ = value();
        pressFine_ = fine;
    }
    const float v =
        right_panel::faderAfterDrag(pressValue_, e.y - pressY_, rect().height(), minimum(), maximum(), fine);
    if (v == value()) return;
    setValue(v);
    notifyChanged();
}

void CKavoSwitchFader::onMouseUp(const gui::MouseEvent&) {
    if (!dragging_) return;
    dragging_ = false;
    notifyEndEdit();
}

bool CKavoSwitchFader::onMouseWheel(const gui::MouseEvent& e, float steps) {
    if (!enabled()) return false;
    const bool fine = (e.modifiers & platform::kModifierShift) != 0;
    const float v = right_panel::faderAfterWheel(value(), steps, minimum(), maximum(), fine);
    if (v != value()) {
        setValue(v);
        notifyChanged();
    }
    return true;
}
