#include "gui/menu.h"

#include <algorithm>

namespace gui {

namespace {
constexpr int kBorderPx = 1;
constexpr int kPaddingPx = 2;
constexpr int kCheckGutterPx = 16;   // left of the text: the check mark
constexpr int kArrowGutterPx = 16;   // right of the text: the sub-menu arrow
constexpr int kRightPaddingPx = 6;
constexpr int kSubMenuOverlapPx = 2;

bool isLeaf(const MenuItem& item) { return !item.separator && item.subMenu.empty(); }
bool isSelectable(const MenuItem& item) { return item.enabled && !item.separator; }

void drawCheck(Canvas& c, int x, int y, int h, Color color) {
    const float cx = static_cast<float>(x) + 4.0f;
    const float cy = static_cast<float>(y) + static_cast<float>(h) * 0.5f;
    c.drawLine(cx, cy, cx + 3.0f, cy + 3.5f, color, 1.6f);
    c.drawLine(cx + 3.0f, cy + 3.5f, cx + 8.5f, cy - 4.0f, color, 1.6f);
}

void drawArrow(Canvas& c, int right, int y, int h, Color color) {
    const float x = static_cast<float>(right) - 9.0f;
    const float cy = static_cast<float>(y) + static_cast<float>(h) * 0.5f;
    c.drawLine(x, cy - 3.5f, x + 4.0f, cy, color, 1.4f);
    c.drawLine(x + 4.0f, cy, x, cy + 3.5f, color, 1.4f);
}
}  // namespace

// ---- PopupMenu ----

PopupMenu::PopupMenu(const Rect& frameBounds, std::vector<MenuItem> items, Point at, std::function<void(int)> chosen,
                     PopupStyle style)
    : View(frameBounds), frameBounds_(frameBounds), items_(std::move(items)), chosen_(std::move(chosen)),
      style_(std::move(style)) {
    panels_.push_back(layoutPanel(items_, at, -1));
}

PopupMenu::Panel PopupMenu::layoutPanel(const std::vector<MenuItem>& items, Point at, int avoidLeft,
                                        int columnBreakEvery) const {
    Panel panel;
    panel.items = &items;
    const int available = frameBounds_.height() - 2 * (kBorderPx + kPaddingPx);
    int perColumn = static_cast<int>(items.size());
    if (columnBreakEvery > 0)
        perColumn = columnBreakEvery;
    else if (!items.empty() && items.front().columnBreakEvery > 0)
        perColumn = items.front().columnBreakEvery;
    // Column breaks of the parent item's list apply to its own items: the
    // native menus take the setting from the items too.
    int textWidth = 0;
    bool arrows = false;
    for (const MenuItem& item : items) {
        textWidth = std::max(textWidth, style_.font.textWidth(item.text));
        arrows |= !item.subMenu.empty();
    }
    const int columnWidth = kCheckGutterPx + textWidth + (arrows ? kArrowGutterPx : kRightPaddingPx);

    // Assign items to columns by count and by height.
    std::vector<Rect> local;
    int column = 0, y = 0, inColumn = 0, tallest = 0;
    for (const MenuItem& item : items) {
        const int h = item.separator ? style_.separatorHeight : style_.itemHeight;
        if (inColumn > 0 && (inColumn >= perColumn || y + h > available)) {
            ++column;
            y = 0;
            inColumn = 0;
        }
        local.push_back(Rect::fromSize(column * columnWidth, y, columnWidth, h));
        y += h;
        tallest = std::max(tallest, y);
        ++inColumn;
    }
    const int width = (column + 1) * columnWidth + 2 * (kBorderPx + kPaddingPx);
    const int height = tallest + 2 * (kBorderPx + kPaddingPx);
    int x = at.x, top = at.y;
    if (x + width > frameBounds_.right) {
        // A sub-menu goes to the parent's left side when that fits, else as
        // far right as the window allows.
        x = avoidLeft >= 0 ? avoidLeft - width + kSubMenuOverlapPx : frameBounds_.right - width;
        if (x < frameBounds_.left) x = frameBounds_.right - width;
    }
    x = std::max(x, frameBounds_.left);
    if (top + height > frameBounds_.bottom) top = frameBounds_.bottom - height;
    top = std::max(top, frameBounds_.top);
    panel.rect = Rect::fromSize(x, top, width, height);
    const int ox = x + kBorderPx + kPaddingPx, oy = top + kBorderPx + kPaddingPx;
    for (const Rect& r : local) panel.itemRects.push_back(r.offset(ox, oy));
    return panel;
}

std::pair<int, int> PopupMenu::itemAt(int x, int y) const {
    // The deepest panel is on top.
    for (int p = static_cast<int>(panels_.size()) - 1; p >= 0; --p) {
        const Panel& panel = panels_[p];
        if (!panel.rect.contains(x, y)) continue;
        for (size_t i = 0; i < panel.itemRects.size(); ++i) {
            if (panel.itemRects[i].contains(x, y)) return {p, static_cast<int>(i)};
        }
        return {p, -1};
    }
    return {-1, -1};
}

void PopupMenu::hover(int x, int y) {
    const auto [p, i] = itemAt(x, y);
    if (p < 0) return;  // outside: keep what is open
    Panel& panel = panels_[p];
    if (panel.hovered == i && static_cast<int>(panels_.size()) == p + 1 + (i >= 0 && !isLeaf((*panel.items)[i]) ? 1 : 0)) {
        return;
    }
    panel.hovered = i;
    panels_.resize(p + 1);
    if (i >= 0) {
        const MenuItem& item = (*panel.items)[i];
        if (item.enabled && !item.separator && !item.subMenu.empty()) {
            const Rect& r = panel.itemRects[i];
            panels_.push_back(layoutPanel(item.subMenu,
                                          Point{panel.rect.right - kSubMenuOverlapPx, r.top - kBorderPx - kPaddingPx},
                                          panel.rect.left, item.columnBreakEvery));
        }
    }
    invalidate();
}

void PopupMenu::onHover(const MouseEvent& e) { hover(e.x, e.y); }
void PopupMenu::onMouseMove(const MouseEvent& e) { hover(e.x, e.y); }

bool PopupMenu::onMouseDown(const MouseEvent& e) {
    const auto [p, i] = itemAt(e.x, e.y);
    if (p < 0) {
        finish(-1);
        return false;
    }
    hover(e.x, e.y);
    pressed_ = true;
    return true;
}

void PopupMenu::onMouseUp(const MouseEvent& e) {
    if (!pressed_) return;
    pressed_ = false;
    const auto [p, i] = itemAt(e.x, e.y);
    if (p < 0 || i < 0) return;
    const MenuItem& item = (*panels_[p].items)[i];
    if (isLeaf(item) && isSelectable(item)) finish(item.id);
}

bool PopupMenu::onKey(EditKey key, char32_t, int) {
    if (key == EditKey::kEscape) {
        finish(-1);
        return true;
    }
    if (key == EditKey::kReturn) {
        const Panel& panel = panels_.back();
        if (panel.hovered >= 0) {
            const MenuItem& item = (*panel.items)[panel.hovered];
            if (isLeaf(item) && isSelectable(item)) finish(item.id);
        }
        return true;
    }
    return false;
}

void PopupMenu::finish(int id) {
    auto chosen = std::move(chosen_);
    chosen_ = nullptr;
    if (frame() != nullptr) frame()->closeOverlay(this);
    if (chosen) chosen(id);
}

void PopupMenu::draw(Canvas& canvas) {
    for (const Panel& panel : panels_) {
        canvas.fillRect(panel.rect, style_.panel);
        canvas.frameRect(panel.rect, style_.border);
        for (size_t i = 0; i < panel.itemRects.size(); ++i) {
            const MenuItem& item = (*panel.items)[i];
            const Rect& r = panel.itemRects[i];
            if (item.separator) {
                const int y = r.top + r.height() / 2;
                canvas.fillRect(Rect{r.left + 4, y, r.right - 4, y + 1}, style_.separator);
                continue;
            }
            if (static_cast<int>(i) == panel.hovered && item.enabled) canvas.fillRect(r, style_.highlight);
            const Color color = item.enabled ? style_.text : style_.disabledText;
            if (item.checked) drawCheck(canvas, r.left, r.top, r.height(), color);
            canvas.drawText(style_.font, item.text,
                            Rect{r.left + kCheckGutterPx, r.top, r.right - (item.subMenu.empty() ? kRightPaddingPx : kArrowGutterPx), r.bottom},
                            Align::kLeft, color);
            if (!item.subMenu.empty()) drawArrow(canvas, r.right, r.top, r.height(), color);
        }
    }
}

// ---- MessageBox ----

std::vector<std::string> wrapText(const Font& font, const std::string& text, int maxWidth) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string line;
        size_t pos = 0;
        bool any = false;
        while (pos <= paragraph.size()) {
            size_t space = paragraph.find(' ', pos);
            if (space == std::string::npos) space = paragraph.size();
            const std::string word = paragraph.substr(pos, space - pos);
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && font.textWidth(candidate) > maxWidth) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            any = true;
            pos = space + 1;
        }
        if (any) lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

namespace {
constexpr int kBoxMarginPx = 16;
constexpr int kTitleHeightPx = 22;
constexpr int kButtonWidthPx = 72;
constexpr int kButtonHeightPx = 22;
constexpr int kButtonGapPx = 12;
}  // namespace

MessageBox::MessageBox(const Rect& frameBounds, std::string title, std::string text, Buttons buttons,
                       std::function<void(bool)> answered, PopupStyle style)
    : View(frameBounds), title_(std::move(title)), kind_(buttons), answered_(std::move(answered)),
      style_(std::move(style)) {
    const int maxText = std::min(440, frameBounds.width() - 4 * kBoxMarginPx);
    lines_ = wrapText(style_.font, text, maxText);
    int textWidth = style_.font.textWidth(title_);
    for (const std::string& l : lines_) textWidth = std::max(textWidth, style_.font.textWidth(l));
    const int buttonCount = kind_ == Buttons::kYesNo ? 2 : 1;
    const int buttonsWidth = buttonCount * kButtonWidthPx + (buttonCount - 1) * kButtonGapPx;
    const int width = std::max({textWidth, buttonsWidth, 220}) + 2 * kBoxMarginPx;
    const int lineHeight = style_.font.lineHeight();
    const int height = kTitleHeightPx + kBoxMarginPx + static_cast<int>(lines_.size()) * lineHeight + kBoxMarginPx +
                       kButtonHeightPx + kBoxMarginPx;
    box_ = Rect::fromSize(frameBounds.left + (frameBounds.width() - width) / 2,
                          frameBounds.top + (frameBounds.height() - height) / 2, width, height);
    int bx = box_.left + (width - buttonsWidth) / 2;
    const int by = box_.bottom - kBoxMarginPx - kButtonHeightPx;
    for (int b = 0; b < buttonCount; ++b, bx += kButtonWidthPx + kButtonGapPx) {
        buttons_.push_back(Rect::fromSize(bx, by, kButtonWidthPx, kButtonHeightPx));
    }
}

void MessageBox::draw(Canvas& canvas) {
    canvas.fillRect(rect(), style_.shade);
    canvas.fillRect(box_, style_.panel);
    canvas.frameRect(box_, style_.border);
    const Rect title{box_.left + 1, box_.top + 1, box_.right - 1, box_.top + kTitleHeightPx};
    canvas.fillRect(title, style_.highlight);
    canvas.drawText(style_.font, title_, title.inset(8, 0), Align::kLeft, style_.text);
    int y = box_.top + kTitleHeightPx + kBoxMarginPx;
    const int lineHeight = style_.font.lineHeight();
    for (const std::string& line : lines_) {
        canvas.drawText(style_.font, line, Rect{box_.left + kBoxMarginPx, y, box_.right - kBoxMarginPx, y + lineHeight},
                        Align::kLeft, style_.text);
        y += lineHeight;
    }
    const char* labels[2] = {kind_ == Buttons::kYesNo ? "Yes" : "OK", "No"};
    for (size_t b = 0; b < buttons_.size(); ++b) {
        const Rect& r = buttons_[b];
        canvas.fillRoundRect(r, 4.0f, static_cast<int>(b) == hovered_ ? style_.highlight : style_.separator);
        canvas.frameRoundRect(r, 4.0f, style_.border);
        canvas.drawText(style_.font, labels[b], r, Align::kCenter, style_.text);
    }
}

bool MessageBox::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    for (size_t b = 0; b < buttons_.size(); ++b) {
        if (buttons_[b].contains(e.x, e.y)) {
            finish(b == 0);
            return false;
        }
    }
    return false;  // the box is modal: presses elsewhere do nothing
}

void MessageBox::onHover(const MouseEvent& e) {
    int h = -1;
    for (size_t b = 0; b < buttons_.size(); ++b) {
        if (buttons_[b].contains(e.x, e.y)) h = static_cast<int>(b);
    }
    if (h != hovered_) {
        hovered_ = h;
        if (frame() != nullptr) frame()->invalidate(box_);
    }
}

bool MessageBox::onKey(EditKey key, char32_t, int) {
    if (key == EditKey::kReturn) {
        finish(true);
        return true;
    }
    if (key == EditKey::kEscape) {
        finish(false);
        return true;
    }
    return false;
}

void MessageBox::finish(bool yes) {
    auto answered = std::move(answered_);
    answered_ = nullptr;
    if (frame() != nullptr) frame()->closeOverlay(this);
    if (answered) answered(yes);
}

// ---- PromptBox ----

namespace {
constexpr int kPromptWidthPx = 420;
constexpr int kEntryHeightPx = 22;
}  // namespace

PromptBox::PromptBox(const Rect& frameBounds, std::string title, std::string prompt, std::string initialText,
                     std::function<void(bool, const std::string&)> answered, PopupStyle style, size_t maxBytes)
    : View(frameBounds), title_(std::move(title)), prompt_(std::move(prompt)), line_(maxBytes),
      answered_(std::move(answered)), style_(std::move(style)) {
    line_.setText(initialText);
    line_.setCaret(line_.chars().size());
    const int width = std::min(kPromptWidthPx, frameBounds.width() - 2 * kBoxMarginPx);
    const int height = kTitleHeightPx + kBoxMarginPx + style_.font.lineHeight() + 6 + kEntryHeightPx + kBoxMarginPx +
                       kButtonHeightPx + kBoxMarginPx;
    box_ = Rect::fromSize(frameBounds.left + (frameBounds.width() - width) / 2,
                          frameBounds.top + (frameBounds.height() - height) / 2, width, height);
    const int entryTop = box_.top + kTitleHeightPx + kBoxMarginPx + style_.font.lineHeight() + 6;
    entry_ = Rect{box_.left + kBoxMarginPx, entryTop, box_.right - kBoxMarginPx, entryTop + kEntryHeightPx};
    const int by = box_.bottom - kBoxMarginPx - kButtonHeightPx;
    const int right = box_.right - kBoxMarginPx;
    buttons_.push_back(Rect::fromSize(right - 2 * kButtonWidthPx - kButtonGapPx, by, kButtonWidthPx, kButtonHeightPx));
    buttons_.push_back(Rect::fromSize(right - kButtonWidthPx, by, kButtonWidthPx, kButtonHeightPx));
}

void PromptBox::draw(Canvas& canvas) {
    canvas.fillRect(rect(), style_.shade);
    canvas.fillRect(box_, style_.panel);
    canvas.frameRect(box_, style_.border);
    const Rect title{box_.left + 1, box_.top + 1, box_.right - 1, box_.top + kTitleHeightPx};
    canvas.fillRect(title, style_.highlight);
    canvas.drawText(style_.font, title_, title.inset(8, 0), Align::kLeft, style_.text);
    const int promptTop = box_.top + kTitleHeightPx + kBoxMarginPx;
    canvas.drawText(style_.font, prompt_, Rect{entry_.left, promptTop, entry_.right, promptTop + style_.font.lineHeight()},
                    Align::kLeft, style_.text);
    canvas.fillRect(entry_, rgb(8, 9, 18));
    canvas.frameRect(entry_, style_.border);
    line_.draw(canvas, entry_.inset(1, 1), TextStyle{style_.font, style_.text, Align::kLeft, 0}, true);
    const char* labels[2] = {"OK", "Cancel"};
    for (size_t b = 0; b < buttons_.size(); ++b) {
        canvas.fillRoundRect(buttons_[b], 4.0f, style_.separator);
        canvas.frameRoundRect(buttons_[b], 4.0f, style_.border);
        canvas.drawText(style_.font, labels[b], buttons_[b], Align::kCenter, style_.text);
    }
}

bool PromptBox::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    if (entry_.contains(e.x, e.y)) {
        line_.setCaret(line_.caretAt(entry_.inset(1, 1), TextStyle{style_.font}, e.x));
        if (frame() != nullptr) frame()->invalidate(entry_);
        return false;
    }
    for (size_t b = 0; b < buttons_.size(); ++b) {
        if (buttons_[b].contains(e.x, e.y)) finish(b == 0);
    }
    return false;
}

bool PromptBox::onKey(EditKey key, char32_t character, int) {
    switch (line_.apply(key, character)) {
        case LineEditor::Result::kIgnored: return false;
        case LineEditor::Result::kConfirm: finish(true); return true;
        case LineEditor::Result::kCancel: finish(false); return true;
        case LineEditor::Result::kEdited: break;
    }
    if (frame() != nullptr) frame()->invalidate(entry_);
    return true;
}

void PromptBox::finish(bool ok) {
    auto answered = std::move(answered_);
    answered_ = nullptr;
    const std::string text = line_.text();
    if (frame() != nullptr) frame()->closeOverlay(this);
    if (answered) answered(ok, text);
}

}  // namespace gui
