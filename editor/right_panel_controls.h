// The satellite controls of the right-hand panel: push buttons that flip a
// switch on each click, the six-way random selector and the two faders.
#pragma once

#include <functional>
#include <string>

#include "gui/bitmap.h"
#include "gui/controls.h"
#include "gui/font.h"

// Each left click flips the value between 0 and 1 (two states stacked).
class CKavoPushButtonEx : public gui::ToggleButton {
public:
    using gui::ToggleButton::ToggleButton;
};

// Six cells in two columns of three rows, drawn from a bitmap holding them
// plain (upper half) and lit (lower half). The value is the random rate;
// a click reports the cell it hit (clickedCell) and leaves the new value to
// the listener.
class CKavoRandomSelector : public gui::Control {
public:
    CKavoRandomSelector(gui::Point topLeft, const gui::Bitmap* cells, gui::ControlListener* listener, int tag);
    void draw(gui::Canvas& canvas) override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    int clickedCell() const { return clickedCell_; }

private:
    const gui::Bitmap* cells_;
    int clickedCell_ = -1;
};

// A value from 0 to 1 that follows vertical drags (Shift: ten times finer)
// and the mouse wheel, with its value written inside. Drawn dimmed and
// deaf while disabled.
class CKavoSwitchFader : public gui::Control {
public:
    CKavoSwitchFader(const gui::Rect& rect, gui::ControlListener* listener, int tag,
                     std::function<std::string(float)> text);
    void draw(gui::Canvas& canvas) override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    void onMouseMove(const gui::MouseEvent& e) override;
    void onMouseUp(const gui::MouseEvent& e) override;
    bool onMouseWheel(const gui::MouseEvent& e, float steps) override;

private:
    std::function<std::string(float)> text_;
    gui::Font font_;
    int pressY_ = 0;
    float pressValue_ = 0.0f;
    bool pressFine_ = false;
    bool dragging_ = false;
};
