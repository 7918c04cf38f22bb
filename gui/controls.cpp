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

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {
constexpr int kTextPaddingPx = 3;
}

TextEdit::TextEdit(const Rect& rect, ControlListener* listener, int tag, TextStyle style, size_t maxBytes)
    : Control(rect, listener, tag), style_(std::move(style)), maxBytes_(maxBytes) {}

void TextEdit::setText(const std::string& text) {
    chars_ = decodeText(text);
    // Keep whole characters within the byte limit.
    while (encodeUtf8(chars_).size() > maxBytes_) chars_.pop_back();
    text_ = encodeUtf8(chars_);
    caret_ = std::min(caret_, chars_.size());
    invalidate();
}

bool TextEdit::editing() const { return frame() != nullptr && frame()->focus() == this; }

void TextEdit::beginEditing() {
    if (frame() == nullptr || editing()) return;
    before_ = text_;
    caret_ = chars_.size();
    frame()->setFocus(this);
    invalidate();
}

void TextEdit::draw(Canvas& canvas) {
    const Rect r = rect();
    if (alphaOf(style_.background) != 0) canvas.fillRect(r, style_.background);
    const Rect inner = r.inset(kTextPaddingPx, 0);
    const int textWidth = style_.font.textWidth(chars_);
    int x = inner.left;
    if (style_.align == Align::kCenter) x = inner.left + (inner.width() - textWidth) / 2;
    if (style_.align == Align::kRight) x = inner.right - textWidth;
    const std::vector<int> carets = style_.font.caretPositions(chars_);
    if (editing()) {
        // Keep the caret in view when the text is longer than the box.
        const int caretX = x + carets[caret_];
        if (caretX > inner.right - 1) x -= caretX - (inner.right - 1);
        if (caretX < inner.left) x += inner.left - caretX;
    }
    const Font& f = style_.font;
    const int baseline = r.top + (r.height() - (f.ascent() + f.descent())) / 2 + f.ascent();
    canvas.pushClip(r);
    canvas.drawText(f, chars_, x, baseline, style_.color);
    if (editing()) {
        const int cx = x + carets[caret_];
        canvas.fillRect(Rect{cx, baseline - f.ascent(), cx + 1, baseline + f.descent()}, style_.color);
    }
    canvas.popClip();
}

bool TextEdit::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    if (!editing()) beginEditing();
    // Caret to the nearest character boundary.
    const std::vector<int> carets = style_.font.caretPositions(chars_);
    const int textWidth = carets.back();
    const Rect inner = rect().inset(kTextPaddingPx, 0);
    int x = inner.left;
    if (style_.align == Align::kCenter) x = inner.left + (inner.width() - textWidth) / 2;
    if (style_.align == Align::kRight) x = inner.right - textWidth;
    size_t best = 0;
    for (size_t i = 1; i < carets.size(); ++i) {
        if (std::abs(x + carets[i] - e.x) < std::abs(x + carets[best] - e.x)) best = i;
    }
    caret_ = best;
    invalidate();
    return false;
}

bool TextEdit::onKey(EditKey key, char32_t character, int /*modifiers*/) {
    if (!editing()) return false;
    switch (key) {
        case EditKey::kReturn:
        case EditKey::kTab: finish(true); return true;
        case EditKey::kEscape: finish(false); return true;
        case EditKey::kBackspace:
            if (caret_ > 0) chars_.erase(--caret_, 1);
            break;
        case EditKey::kDelete:
            if (caret_ < chars_.size()) chars_.erase(caret_, 1);
            break;
        case EditKey::kLeft: caret_ = caret_ > 0 ? caret_ - 1 : 0; break;
        case EditKey::kRight: caret_ = std::min(caret_ + 1, chars_.size()); break;
        case EditKey::kHome: caret_ = 0; break;
        case EditKey::kEnd: caret_ = chars_.size(); break;
        case EditKey::kNone: {
            if (character < 0x20 || character == 0x7F || character > 0x10FFFF) return false;
            std::u32string next = chars_;
            next.insert(next.begin() + static_cast<long>(caret_), character);
            if (encodeUtf8(next).size() > maxBytes_) return true;  // full: swallow
            chars_ = std::move(next);
            ++caret_;
            break;
        }
    }
    text_ = encodeUtf8(chars_);
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
    if (!confirmed) {
        chars_ = decodeText(before_);
        text_ = before_;
    }
    caret_ = chars_.size();
    if (frame() != nullptr && frame()->focus() == this) frame()->setFocus(nullptr);
    invalidate();
    if (confirmed) notifyChanged();
    ending_ = false;
    if (onEnd) onEnd(*this, confirmed);
}

}  // namespace gui
