// What the window tests need of the X server besides the window under test:
// a connection of the test's own, top-level frames, reading back pixels and
// properties, and input sent through xdotool (the XTEST path real input
// takes, not synthetic events).
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/editor_window.h"

class TestDisplay {
public:
    TestDisplay();
    ~TestDisplay();
    bool ok() const { return connection_ != nullptr; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }

    xcb_window_t createFrame(int width, int height, bool mapped);
    void destroy(xcb_window_t window);
    // The window's pixels as 0x00RRGGBB, row by row; empty on failure.
    std::vector<uint32_t> capture(xcb_window_t window, int width, int height);
    std::vector<uint32_t> property32(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    xcb_window_t inputFocus();
    void sync();

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

// Runs xdotool with the arguments; true when it exited 0.
bool xdotool(const std::string& arguments);

// Calls step until done returns true or timeoutMs pass.
bool waitFor(const std::function<void()>& step, const std::function<bool()>& done, int timeoutMs = 3000);

struct RecordedInput {
    enum class Kind { Down, Move, Up, Wheel, Key, Expose } kind;
    int x = 0;
    int y = 0;
    int buttons = 0;
    int modifiers = 0;
    bool doubleClick = false;
    float steps = 0.0f;
    platform::EditKey key = platform::EditKey::kNone;
    char32_t character = 0;
};

class RecordingListener : public platform::EditorWindowListener {
public:
    std::vector<RecordedInput> events;
    size_t count(RecordedInput::Kind kind) const;
    void onMouseDown(int x, int y, int buttons, int modifiers, bool doubleClick) override;
    void onMouseMove(int x, int y, int buttons, int modifiers) override;
    void onMouseUp(int x, int y, int buttons, int modifiers) override;
    void onMouseWheel(int x, int y, float steps, int modifiers) override;
    bool onKey(platform::EditKey key, char32_t character, int modifiers) override;
    void onExpose(const platform::PixelRect& area) override;
};
