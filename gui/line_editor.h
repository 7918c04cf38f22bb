// One line of editable text with a caret: the editing rules and drawing
// shared by the text entry control and the in-window prompt box.
#pragma once

#include <string>

#include "gui/canvas.h"
#include "platform/editor_window.h"

namespace gui {

struct TextStyle {
    Font font;
    Color color = rgb(255, 255, 255);
    Align align = Align::kLeft;
    Color background = 0;  // drawn when not fully transparent
};

std::string encodeUtf8(const std::u32string& text);

class LineEditor {
public:
    explicit LineEditor(size_t maxBytes = 255) : maxBytes_(maxBytes) {}

    // UTF-8, cut to whole characters within the byte limit.
    void setText(const std::string& text);
    const std::string& text() const { return text_; }
    const std::u32string& chars() const { return chars_; }
    size_t caret() const { return caret_; }
    void setCaret(size_t caret) { caret_ = caret > chars_.size() ? chars_.size() : caret; }

    enum class Result { kIgnored, kEdited, kConfirm, kCancel };
    // Printable characters insert (a full line swallows them), editing keys
    // move and delete; Return and Tab confirm, Escape cancels.
    Result apply(platform::EditKey key, char32_t character);

    // The text inside r (padded), scrolled so that a shown caret stays
    // visible.
    void draw(Canvas& canvas, const Rect& r, const TextStyle& style, bool showCaret) const;
    // The caret position nearest to window x.
    size_t caretAt(const Rect& r, const TextStyle& style, int x) const;

private:
    int textLeft(const Rect& inner, const TextStyle& style, int textWidth) const;

    std::u32string chars_;
    std::string text_;
    size_t maxBytes_;
    size_t caret_ = 0;
};

}  // namespace gui
