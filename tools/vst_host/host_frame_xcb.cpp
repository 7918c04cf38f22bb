#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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
    ~XcbHostFrame() override { xcb_disconnect(connection_); }

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
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if (event->response_type == 0) ++errors_;
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->type == protocols_ && message->data.data32[0] == deleteWindow_) closeRequested_ = true;
            }
            std::free(event);
        }
    }

    int errors() const override { return errors_; }
    bool closeRequested() const override { return closeRequested_; }

private:
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
