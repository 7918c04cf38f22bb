// Menus and message boxes drawn inside the editor window, for systems
// without native ones (Linux): modal overlays of the frame. Items are the
// same records the native menus take, so the editor builds one tree for
// both.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gui/line_editor.h"
#include "gui/view.h"

namespace gui {

using MenuItem = platform::NativeMenuItem;

// Colours and type of the in-window menus and boxes.
struct PopupStyle {
    Font font{FontFamily::kSans, 12};
    Color panel = rgb(24, 26, 44);
    Color border = rgb(120, 130, 190);
    Color text = rgb(225, 228, 245);
    Color disabledText = rgb(110, 114, 140);
    Color highlight = rgb(70, 90, 170);
    Color separator = rgb(70, 76, 110);
    Color shade = argb(110, 0, 0, 0);  // over the window behind a box
    int itemHeight = 16;
    int separatorHeight = 7;
};

// A popup menu with sub-menus opening to the side on hover, check marks,
// disabled items and separators. Sub-menus with columnBreakEvery > 0 are
// laid out in columns of that many items, and any menu taller than the
// window wraps into more columns. The menu covers the whole frame: a press
// outside every open panel dismisses it. `chosen` receives the id of the
// chosen item, or −1 when dismissed; the menu has closed by then.
class PopupMenu : public View {
public:
    PopupMenu(const Rect& frameBounds, std::vector<MenuItem> items, Point at, std::function<void(int)> chosen,
              PopupStyle style = {});

    void draw(Canvas& canvas) override;
    bool hitTest(int, int) const override { return true; }
    bool onMouseDown(const MouseEvent& e) override;
    void onMouseMove(const MouseEvent& e) override;
    void onMouseUp(const MouseEvent& e) override;
    void onHover(const MouseEvent& e) override;
    bool onKey(EditKey key, char32_t character, int modifiers) override;

    // Layout, for tests and for placing the pointer: one entry per open
    // panel (the top menu first).
    struct Panel {
        const std::vector<MenuItem>* items = nullptr;
        Rect rect;
        std::vector<Rect> itemRects;  // one per item, in window pixels
        int hovered = -1;
    };
    const std::vector<Panel>& panels() const { return panels_; }

    // Opens a panel for an item list at a point, kept inside the frame.
    // columnBreakEvery comes from the item that holds the list (the native
    // menus read it there); without it, from the list's first item.
    Panel layoutPanel(const std::vector<MenuItem>& items, Point at, int avoidLeft, int columnBreakEvery = 0) const;

private:
    // Which panel and item lie under a point (-1, -1 when none).
    std::pair<int, int> itemAt(int x, int y) const;
    void hover(int x, int y);
    void finish(int id);

    Rect frameBounds_;
    std::vector<MenuItem> items_;
    std::function<void(int)> chosen_;
    PopupStyle style_;
    std::vector<Panel> panels_;
    bool pressed_ = false;
};

// A box with a title, text (lines split at '\n' and wrapped) and one or two
// buttons, centred over a shaded window. `answered` receives true for
// Yes/OK and false for No; Return answers yes, Escape no.
class MessageBox : public View {
public:
    enum class Buttons { kOk, kYesNo };
    MessageBox(const Rect& frameBounds, std::string title, std::string text, Buttons buttons,
               std::function<void(bool)> answered, PopupStyle style = {});

    void draw(Canvas& canvas) override;
    bool hitTest(int, int) const override { return true; }
    bool onMouseDown(const MouseEvent& e) override;
    void onHover(const MouseEvent& e) override;
    bool onKey(EditKey key, char32_t character, int modifiers) override;

    const Rect& boxRect() const { return box_; }
    // Yes (or OK) first, then No.
    const std::vector<Rect>& buttonRects() const { return buttons_; }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    void finish(bool yes);

    std::string title_;
    std::vector<std::string> lines_;
    Buttons kind_;
    std::function<void(bool)> answered_;
    PopupStyle style_;
    Rect box_;
    std::vector<Rect> buttons_;
    int hovered_ = -1;
};

// A box asking for one line of text (a file name when no file dialog
// program is installed): title, prompt, an entry holding the keyboard, OK
// and Cancel. `answered` receives true and the text for OK or Return, false
// for Cancel or Escape.
class PromptBox : public View {
public:
    PromptBox(const Rect& frameBounds, std::string title, std::string prompt, std::string initialText,
              std::function<void(bool, const std::string&)> answered, PopupStyle style = {}, size_t maxBytes = 259);

    void draw(Canvas& canvas) override;
    bool hitTest(int, int) const override { return true; }
    bool onMouseDown(const MouseEvent& e) override;
    bool onKey(EditKey key, char32_t character, int modifiers) override;
    bool wantsKeyboard() const override { return true; }

    const Rect& boxRect() const { return box_; }
    const Rect& entryRect() const { return entry_; }
    // OK first, then Cancel.
    const std::vector<Rect>& buttonRects() const { return buttons_; }
    const std::string& text() const { return line_.text(); }

private:
    void finish(bool ok);

    std::string title_;
    std::string prompt_;
    LineEditor line_;
    std::function<void(bool, const std::string&)> answered_;
    PopupStyle style_;
    Rect box_, entry_;
    std::vector<Rect> buttons_;
};

// Splits text at '\n' and wraps each line at spaces to maxWidth pixels (a
// word longer than the width stands alone on its line).
std::vector<std::string> wrapText(const Font& font, const std::string& text, int maxWidth);

}  // namespace gui
