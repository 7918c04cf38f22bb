#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/vst_host/host_frame.h"

namespace {

xcb_window_t toWindow(void* handle) { return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(handle)); }
void* toHandle(xcb_window_t window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

class XcbHostFrame final : public HostFrame {
public:
    explicit XcbHostFrame(xcb_connection_t* connection) : connection_(connection) {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        protocols_ = internAtom("WM_PROTOCOLS");
        deleteWindow_ = internAtom("WM_DELETE_WINDOW");
    }
    ~XcbHostFrame() override {
        for (xcb_generic_event_t* event : pending_) std::free(event);
        xcb_disconnect(connection_);
    }

    void* displayPointer() override { return connection_; }

    void* createWindow(int width, int height, const char* title) override {
        const xcb_window_t window = xcb_generate_id(connection_);
        const uint32_t values[] = {screen_->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        check(xcb_create_window_checked(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, 0, 0,
                                        static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                                        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                                        XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values));
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(std::strlen(title)), title);
        // The window manager asks before it closes the window, instead of
        // cutting the connection.
        if (protocols_ != XCB_ATOM_NONE && deleteWindow_ != XCB_ATOM_NONE)
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, protocols_, XCB_ATOM_ATOM, 32, 1,
                                &deleteWindow_);
        xcb_flush(connection_);
        return toHandle(window);
    }

    void setSize(void* window, int width, int height) override {
        const uint32_t values[] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
        xcb_configure_window(connection_, toWindow(window), XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        xcb_flush(connection_);
    }

    void show(void* window, bool shown) override {
        if (shown)
            xcb_map_window(connection_, toWindow(window));
        else
            xcb_unmap_window(connection_, toWindow(window));
        xcb_flush(connection_);
    }

    void reparent(void* window, void* newParent) override {
        check(xcb_reparent_window_checked(connection_, toWindow(window), toWindow(newParent), 0, 0));
    }

    void destroy(void* window) override { check(xcb_destroy_window_checked(connection_, toWindow(window))); }

    void* firstChild(void* window) override {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, toWindow(window)), nullptr);
        if (tree == nullptr) return nullptr;
        xcb_window_t child = xcb_query_tree_children_length(tree) > 0 ? xcb_query_tree_children(tree)[0] : 0;
        std::free(tree);
        return toHandle(child);
    }

    void pump() override {
        for (;;) {
            xcb_generic_event_t* event = nullptr;
            if (!pending_.empty()) {
                event = pending_.front();
                pending_.erase(pending_.begin());
            } else {
                event = xcb_poll_for_event(connection_);
            }
            if (event == nullptr) break;
            const int type = event->response_type & 0x7f;
            if (event->response_type == 0) ++errors_;
            if (type == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->type == protocols_ && message->data.data32[0] == deleteWindow_) closeRequested_ = true;
            }
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) key(reinterpret_cast<xcb_key_press_event_t*>(event));
            std::free(event);
        }
    }

    void watchKeys(void* window) override {
        // Key events may be selected by any number of clients on a window:
        // the plug-in keeps receiving its own.
        const uint32_t frameMask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_KEY_PRESS |
                                      XCB_EVENT_MASK_KEY_RELEASE};
        check(xcb_change_window_attributes_checked(connection_, toWindow(window), XCB_CW_EVENT_MASK, frameMask));
        plugin_ = toWindow(firstChild(window));
        if (plugin_ != 0) {
            const uint32_t keyMask[] = {XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
            check(xcb_change_window_attributes_checked(connection_, plugin_, XCB_CW_EVENT_MASK, keyMask));
        }
        loadKeyboardMapping();
    }

    int errors() const override { return errors_; }
    bool closeRequested() const override { return closeRequested_; }

private:
    void loadKeyboardMapping() {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        minKeycode_ = setup->min_keycode;
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, minKeycode_, count), nullptr);
        if (reply == nullptr) return;
        keysymsPerKeycode_ = reply->keysyms_per_keycode;
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
        keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply));
        std::free(reply);
    }

    // The key's character in the keyboard's first group: a lower-case
    // letter or a space, else 0.
    char character(uint8_t keycode) const {
        if (keysymsPerKeycode_ <= 0 || keycode < minKeycode_) return 0;
        const size_t at = static_cast<size_t>(keycode - minKeycode_) * static_cast<size_t>(keysymsPerKeycode_);
        if (at >= keysyms_.size()) return 0;
        const xcb_keysym_t keysym = keysyms_[at];
        if ((keysym >= 'a' && keysym <= 'z') || keysym == ' ') return static_cast<char>(keysym);
        if (keysym >= 'A' && keysym <= 'Z') return static_cast<char>(keysym - 'A' + 'a');
        return 0;
    }

    void key(const xcb_key_press_event_t* event) {
        const bool down = (event->response_type & 0x7f) == XCB_KEY_PRESS;
        const char c = character(event->detail);
        if (c == 0) return;
        // A release of a key not down (a tool's stray one) says nothing.
        if (!down && !keyDown_[event->detail]) return;
        // Key repeat comes as a release and a press of the same key at the
        // same time: both are left out.
        if (!down) {
            if (xcb_generic_event_t* next = xcb_poll_for_queued_event(connection_)) {
                const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(next);
                const bool repeat = (next->response_type & 0x7f) == XCB_KEY_PRESS && press->detail == event->detail &&
                                    press->time == event->time;
                if (!repeat) pending_.push_back(next);
                else std::free(next);
                if (repeat) return;
            }
        }
        // A text entry of the plug-in holds the focus: its keys are text.
        xcb_get_input_focus_reply_t* focus =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        const bool pluginTyping = focus != nullptr && plugin_ != 0 && focus->focus == plugin_;
        std::free(focus);
        if (down && keyDown_[event->detail]) return;
        keyDown_[event->detail] = down;
        if (!pluginTyping) reportKey(c, down);
    }

    xcb_atom_t internAtom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        if (reply == nullptr) return XCB_ATOM_NONE;
        const xcb_atom_t atom = reply->atom;
        std::free(reply);
        return atom;
    }

    void check(xcb_void_cookie_t cookie) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            ++errors_;
            std::free(error);
        }
    }

    xcb_connection_t* connection_;
    xcb_screen_t* screen_ = nullptr;
    int errors_ = 0;
    xcb_atom_t protocols_ = XCB_ATOM_NONE;
    xcb_atom_t deleteWindow_ = XCB_ATOM_NONE;
    bool closeRequested_ = false;
    xcb_window_t plugin_ = 0;
    bool keyDown_[256] = {};
    uint8_t minKeycode_ = 0;
    int keysymsPerKeycode_ = 0;
    std::vector<xcb_keysym_t> keysyms_;
    std::vector<xcb_generic_event_t*> pending_;  // taken from the queue while looking ahead
};

}  // namespace

std::unique_ptr<HostFrame> HostFrame::create(std::string& error) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        error = "cannot connect to the X display (is DISPLAY set?)";
        return nullptr;
    }
    return std::make_unique<XcbHostFrame>(connection);
}
