#include "gui/controls.h"

#include <algorithm>

namespace gui {

// ---- Control ----

void Control::setValue(float value) {
    if (!(value == value)) value = minimum_;  // NaN
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    invalidate();
}

void Control::setRange(float minimum, float maximum) {
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
}

void Control::notifyChanged() {
    if (listener_ != nullptr) listener_->valueChanged(*this);
}
void Control::notifyBeginEdit() {
    if (listener_ != nullptr) listener_->beginEdit(*this);
}
void Control::notifyEndEdit() {
    if (listener_ != nullptr) listener_->endEdit(*this);
}

// ---- buttons ----

namespace {
Rect buttonRect(Point p, const Bitmap* states) {
    if (states == nullptr) return Rect::fromSize(p.x, p.y, 0, 0);
    return Rect::fromSize(p.x, p.y, states->width(), states->height() / 2);
}

void drawState(Canvas& canvas, const Bitmap* states, const Rect& r, bool on) {
    if (states == nullptr) return;
    canvas.drawFrame(*states, 2, on ? 1 : 0, StripLayout::kVertical, r.left, r.top);
}
}  // namespace

ToggleButton::ToggleButton(Point topLeft, const Bitmap* states, ControlListener* listener, int tag)
    : Control(buttonRect(topLeft, states), listener, tag), states_(states) {}

void ToggleButton::draw(Canvas& canvas) { drawState(canvas, states_, rect(), value() >= 0.5f); }

bool ToggleButton::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    setValue(value() >= 0.5f ? 0.0f : 1.0f);
    notifyBeginEdit();
    notifyChanged();
    notifyEndEdit();
    return false;
}

KickButton::KickButton(Point topLeft, const Bitmap* states, ControlListener* listener, int tag)
    : Control(buttonRect(topLeft, states), listener, tag), states_(states) {}

void KickButton::draw(Canvas& canvas) { drawState(canvas, states_, rect(), value() >= 0.5f); }

bool KickButton::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    clicked_ = false;
    setValue(1.0f);
    notifyBeginEdit();
    notifyChanged();
    return true;
}

void KickButton::onMouseMove(const MouseEvent& e) {
    // Shows whether letting go here would click.
    setValue(rect().contains(e.x, e.y) ? 1.0f : 0.0f);
}

void KickButton::onMouseUp(const MouseEvent& e) {
    clicked_ = rect().contains(e.x, e.y);
    setValue(0.0f);
    notifyChanged();
    notifyEndEdit();
    clicked_ = false;
}

// ---- BitmapView ----

namespace {
Rect frameRect(Point p, const Bitmap* b, int frames, StripLayout layout) {
    if (b == nullptr) return Rect::fromSize(p.x, p.y, 0, 0);
    const Rect f = stripFrame(*b, frames, 0, layout);
    return Rect::fromSize(p.x, p.y, f.width(), f.height());
}
}  // namespace

BitmapView::BitmapView(Point topLeft, const Bitmap* bitmap, int frames, StripLayout layout)
    : View(frameRect(topLeft, bitmap, std::max(frames, 1), layout)), bitmap_(bitmap), frames_(std::max(frames, 1)),
      layout_(layout) {}

void BitmapView::setFrame(int frame) {
    frame = std::clamp(frame, 0, frames_ - 1);
    if (frame == frame_) return;
    frame_ = frame;
    invalidate();
}

void BitmapView::draw(Canvas& canvas) {
    if (bitmap_ != nullptr) canvas.drawFrame(*bitmap_, frames_, frame_, layout_, rect().left, rect().top);
}

// ---- TextLabel ----

TextLabel::TextLabel(const Rect& rect, std::string text, TextStyle style)
    : View(rect), text_(std::move(text)), style_(std::move(style)) {}

void TextLabel::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    invalidate();
}

void TextLabel::setStyle(const TextStyle& style) {
    style_ = style;
    invalidate();
}

void TextLabel::draw(Canvas& canvas) {
    if (alphaOf(style_.background) != 0) canvas.fillRect(rect(), style_.background);
    canvas.drawText(style_.font, text_, rect(), style_.align, style_.color);
}

// ---- TextEdit ----

TextEdit::TextEdit(const Rect& rect, ControlListener* listener, int tag, TextStyle style, size_t maxBytes)
    : Control(rect, listener, tag), line_(maxBytes), style_(std::move(style)) {}

void TextEdit::setText(const std::string& text) {
    line_.setText(text);
    invalidate();
}

bool TextEdit::editing() const { return frame() != nullptr && frame()->focus() == this; }

void TextEdit::beginEditing() {
    if (frame() == nullptr || editing()) return;
    before_ = line_.text();
    line_.setCaret(line_.chars().size());
    frame()->setFocus(this);
    invalidate();
}

void TextEdit::draw(Canvas& canvas) { line_.draw(canvas, rect(), style_, editing()); }

bool TextEdit::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    if (!editing()) beginEditing();
    line_.setCaret(line_.caretAt(rect(), style_, e.x));
    invalidate();
    return false;
}

bool TextEdit::onKey(EditKey key, char32_t character, int /*modifiers*/) {
    if (!editing()) return false;
    switch (line_.apply(key, character)) {
        case LineEditor::Result::kIgnored: return false;
        case LineEditor::Result::kConfirm: finish(true); return true;
        case LineEditor::Result::kCancel: finish(false); return true;
        case LineEditor::Result::kEdited: break;
    }
    invalidate();
    return true;
}

void TextEdit::onFocusLost() {
    // A click elsewhere confirms, as entries in hosts' own dialogs do.
    if (!ending_) finish(true);
}

void TextEdit::finish(bool confirmed) {
    if (ending_) return;
    ending_ = true;
    if (!confirmed) line_.setText(before_);
    line_.setCaret(line_.chars().size());
    if (frame() != nullptr && frame()->focus() == this) frame()->setFocus(nullptr);
    invalidate();
    if (confirmed) notifyChanged();
    ending_ = false;
    if (onEnd) onEnd(*this, confirmed);
}

}  // namespace gui
