#include "tests/gui_window/x11_test_support.h"

#include <chrono>
#include <cstdlib>
#include <thread>

TestDisplay::TestDisplay() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

TestDisplay::~TestDisplay() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

xcb_window_t TestDisplay::createFrame(int width, int height, bool mapped) {
    const xcb_window_t window = xcb_generate_id(connection_);
    const uint32_t values[] = {0x202020u};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, 0, 0, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL, values);
    if (mapped) xcb_map_window(connection_, window);
    sync();
    return window;
}

void TestDisplay::destroy(xcb_window_t window) {
    xcb_destroy_window(connection_, window);
    sync();
}

void TestDisplay::sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

std::vector<uint32_t> TestDisplay::capture(xcb_window_t window, int width, int height) {
    std::vector<uint32_t> pixels;
    // Row bands keep each reply under the core request size.
    for (int top = 0; top < height; top += 32) {
        const int rows = std::min(32, height - top);
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, static_cast<int16_t>(top),
                          static_cast<uint16_t>(width), static_cast<uint16_t>(rows), ~0u),
            nullptr);
        if (image == nullptr) return {};
        const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
        const size_t words = static_cast<size_t>(xcb_get_image_data_length(image)) / 4;
        for (size_t i = 0; i < words && i < static_cast<size_t>(width * rows); ++i)
            pixels.push_back(data[i] & 0xffffffu);
        std::free(image);
    }
    return pixels;
}

std::vector<uint32_t> TestDisplay::property32(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 64), nullptr);
    std::vector<uint32_t> values;
    if (reply == nullptr) return values;
    if (reply->format == 32) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

xcb_window_t TestDisplay::inputFocus() {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    xcb_window_t focus = reply != nullptr ? reply->focus : 0;
    std::free(reply);
    return focus;
}

bool xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()) == 0; }

bool waitFor(const std::function<void()>& step, const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        step();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    step();
    return done();
}

size_t RecordingListener::count(RecordedInput::Kind kind) const {
    size_t n = 0;
    for (const RecordedInput& event : events) n += event.kind == kind ? 1 : 0;
    return n;
}

void RecordingListener::onMouseDown(int x, int y, int buttons, int modifiers, bool doubleClick) {
    RecordedInput e{RecordedInput::Kind::Down};
    e.x = x, e.y = y, e.buttons = buttons, e.modifiers = modifiers, e.doubleClick = doubleClick;
    events.push_back(e);
}
void RecordingListener::onMouseMove(int x, int y, int buttons, int modifiers) {
    RecordedInput e{RecordedInput::Kind::Move};
    e.x = x, e.y = y, e.buttons = buttons, e.modifiers = modifiers;
    events.push_back(e);
}
void RecordingListener::onMouseUp(int x, int y, int buttons, int modifiers) {
    RecordedInput e{RecordedInput::Kind::Up};
    e.x = x, e.y = y, e.buttons = buttons, e.modifiers = modifiers;
    events.push_back(e);
}
void RecordingListener::onMouseWheel(int x, int y, float steps, int modifiers) {
    RecordedInput e{RecordedInput::Kind::Wheel};
    e.x = x, e.y = y, e.steps = steps, e.modifiers = modifiers;
    events.push_back(e);
}
bool RecordingListener::onKey(platform::EditKey key, char32_t character, int modifiers) {
    RecordedInput e{RecordedInput::Kind::Key};
    e.key = key, e.character = character, e.modifiers = modifiers;
    events.push_back(e);
    return true;
}
void RecordingListener::onExpose(const platform::PixelRect& area) {
    RecordedInput e{RecordedInput::Kind::Expose};
    e.x = area.left, e.y = area.top, e.buttons = area.right, e.modifiers = area.bottom;
    events.push_back(e);
}
