// The controls the editor is built from: a value with a tag, reported to a
// listener when the user changes it (not when the program sets it).
#pragma once

#include <functional>
#include <string>

#include "gui/line_editor.h"
#include "gui/view.h"

namespace gui {

class Control;

class ControlListener {
public:
    virtual ~ControlListener() = default;
    virtual void valueChanged(Control& control) = 0;
    // Around a gesture that may change the value many times (a drag), so
    // that a host records one edit.
    virtual void beginEdit(Control& /*control*/) {}
    virtual void endEdit(Control& /*control*/) {}
};

class Control : public View {
public:
    Control(const Rect& rect, ControlListener* listener, int tag) : View(rect), listener_(listener), tag_(tag) {}

    int tag() const { return tag_; }
    float value() const { return value_; }
    // Sets the value (limited to the range) without telling the listener;
    // draws again when it changed.
    void setValue(float value);
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    void setRange(float minimum, float maximum);

protected:
    void notifyChanged();
    void notifyBeginEdit();
    void notifyEndEdit();

private:
    ControlListener* listener_ = nullptr;
    int tag_ = 0;
    float value_ = 0.0f;
    float minimum_ = 0.0f;
    float maximum_ = 1.0f;
};

// Two states from a bitmap holding them stacked vertically (off on top,
// on below); the control is the bitmap's width by half its height. A left
// click flips the value between 0 and 1: the two-state buttons, the on/off
// switch and the push buttons that flip a setting on each click.
class ToggleButton : public Control {
public:
    ToggleButton(Point topLeft, const Bitmap* states, ControlListener* listener, int tag);
    void draw(Canvas& canvas) override;
    bool onMouseDown(const MouseEvent& e) override;

private:
    const Bitmap* states_;
};

// A momentary button (same bitmap layout): 1 while held with the pointer
// over it, 0 after; the listener hears both, and `clicked` is true in the
// release report when the press ended over the button.
class KickButton : public Control {
public:
    KickButton(Point topLeft, const Bitmap* states, ControlListener* listener, int tag);
    void draw(Canvas& canvas) override;
    bool onMouseDown(const MouseEvent& e) override;
    void onMouseMove(const MouseEvent& e) override;
    void onMouseUp(const MouseEvent& e) override;
    bool clicked() const { return clicked_; }

private:
    const Bitmap* states_;
    bool clicked_ = false;
};

// A bitmap, or one frame of a strip, shown at a place (a background part,
// a tab image); takes no clicks.
class BitmapView : public View {
public:
    BitmapView(Point topLeft, const Bitmap* bitmap, int frames = 1, StripLayout layout = StripLayout::kHorizontal);
    void setFrame(int frame);
    int frameIndex() const { return frame_; }
    void draw(Canvas& canvas) override;
    bool hitTest(int, int) const override { return false; }

private:
    const Bitmap* bitmap_;
    int frames_;
    StripLayout layout_;
    int frame_ = 0;
};

class TextLabel : public View {
public:
    TextLabel(const Rect& rect, std::string text, TextStyle style);
    void setText(const std::string& text);
    const std::string& text() const { return text_; }
    void setStyle(const TextStyle& style);
    const TextStyle& style() const { return style_; }
    void draw(Canvas& canvas) override;
    // Labels take no clicks unless asked to.
    bool hitTest(int, int) const override { return false; }

private:
    std::string text_;
    TextStyle style_;
};

// A one-line text entry. A click focuses it (the frame then asks the
// window for the keyboard) and places the caret; printable keys insert,
// editing keys move and delete; Return, Tab or a click elsewhere confirms
// (listener's valueChanged, then onEnd(true)); Escape restores the text it
// had and ends (onEnd(false)). The text is UTF-8, limited to maxBytes.
class TextEdit : public Control {
public:
    TextEdit(const Rect& rect, ControlListener* listener, int tag, TextStyle style, size_t maxBytes = 255);

    const std::string& text() const { return line_.text(); }
    void setText(const std::string& text);
    bool editing() const;
    // Starts editing with the caret at the end (programmatic focus).
    void beginEditing();
    size_t caret() const { return line_.caret(); }
    std::function<void(TextEdit&, bool confirmed)> onEnd;

    void draw(Canvas& canvas) override;
    bool onMouseDown(const MouseEvent& e) override;
    bool onKey(EditKey key, char32_t character, int modifiers) override;
    void onFocusLost() override;

private:
    void finish(bool confirmed);
    LineEditor line_;
    std::string before_;  // restored by Escape
    TextStyle style_;
    bool ending_ = false;
};

}  // namespace gui
