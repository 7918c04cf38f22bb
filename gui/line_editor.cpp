#include "gui/line_editor.h"

#include <cstdlib>

namespace gui {

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

void LineEditor::setText(const std::string& text) {
    chars_ = decodeText(text);
    while (encodeUtf8(chars_).size() > maxBytes_) chars_.pop_back();
    text_ = encodeUtf8(chars_);
    setCaret(caret_);
}

LineEditor::Result LineEditor::apply(platform::EditKey key, char32_t character) {
    using platform::EditKey;
    switch (key) {
        case EditKey::kReturn:
        case EditKey::kTab: return Result::kConfirm;
        case EditKey::kEscape: return Result::kCancel;
        case EditKey::kBackspace:
            if (caret_ > 0) chars_.erase(--caret_, 1);
            break;
        case EditKey::kDelete:
            if (caret_ < chars_.size()) chars_.erase(caret_, 1);
            break;
        case EditKey::kLeft: caret_ = caret_ > 0 ? caret_ - 1 : 0; break;
        case EditKey::kRight: caret_ = caret_ + 1 > chars_.size() ? chars_.size() : caret_ + 1; break;
        case EditKey::kHome: caret_ = 0; break;
        case EditKey::kEnd: caret_ = chars_.size(); break;
        case EditKey::kNone: {
            if (character < 0x20 || character == 0x7F || character > 0x10FFFF ||
                (character >= 0xD800 && character <= 0xDFFF)) {
                return Result::kIgnored;
            }
            std::u32string next = chars_;
            next.insert(next.begin() + static_cast<long>(caret_), character);
            if (encodeUtf8(next).size() > maxBytes_) return Result::kEdited;  // full: swallowed
            chars_ = std::move(next);
            ++caret_;
            break;
        }
    }
    text_ = encodeUtf8(chars_);
    return Result::kEdited;
}

int LineEditor::textLeft(const Rect& inner, const TextStyle& style, int textWidth) const {
    if (style.align == Align::kCenter) return inner.left + (inner.width() - textWidth) / 2;
    if (style.align == Align::kRight) return inner.right - textWidth;
    return inner.left;
}

void LineEditor::draw(Canvas& canvas, const Rect& r, const TextStyle& style, bool showCaret) const {
    if (alphaOf(style.background) != 0) canvas.fillRect(r, style.background);
    const Rect inner = r.inset(kTextPaddingPx, 0);
    const std::vector<int> carets = style.font.caretPositions(chars_);
    int x = textLeft(inner, style, carets.back());
    if (showCaret) {
        // Keep the caret in view when the text is longer than the box.
        const int caretX = x + carets[caret_];
        if (caretX > inner.right - 1) x -= caretX - (inner.right - 1);
        if (caretX < inner.left) x += inner.left - caretX;
    }
    const Font& f = style.font;
    const int baseline = r.top + (r.height() - (f.ascent() + f.descent())) / 2 + f.ascent();
    canvas.pushClip(r);
    canvas.drawText(f, chars_, x, baseline, style.color);
    if (showCaret) {
        const int cx = x + carets[caret_];
        canvas.fillRect(Rect{cx, baseline - f.ascent(), cx + 1, baseline + f.descent()}, style.color);
    }
    canvas.popClip();
}

size_t LineEditor::caretAt(const Rect& r, const TextStyle& style, int x) const {
    const std::vector<int> carets = style.font.caretPositions(chars_);
    const int left = textLeft(r.inset(kTextPaddingPx, 0), style, carets.back());
    size_t best = 0;
    for (size_t i = 1; i < carets.size(); ++i) {
        if (std::abs(left + carets[i] - x) < std::abs(left + carets[best] - x)) best = i;
    }
    return best;
}

}  // namespace gui
