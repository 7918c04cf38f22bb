// The editor window on Linux, on XCB rather than Xlib: Xlib's default error
// handler ends the whole host process when a request names a window that has
// gone (a host that destroyed our parent first, say), whereas XCB hands the
// error back. The window keeps a connection of its own (hosts pass their
// Display in effEditOpen's value; it belongs to the host's thread and is
// never touched) and does everything on the thread that calls it.
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/editor_window.h"
#include "platform/input_mapping.h"

namespace platform {
namespace {

// WM_SIZE_HINTS flags (ICCCM 4.1.2.3).
constexpr uint32_t kHintProgramSize = 1u << 3;
constexpr uint32_t kHintMinSize = 1u << 4;
constexpr uint32_t kHintMaxSize = 1u << 5;
constexpr int kSizeHintWords = 18;

// A full 1000 x 450 frame is 1.8 MB, far beyond the core request limit of
// 256 kB; images go out in strips of at most this many rows.
constexpr int kStripRowsMax = 64;
constexpr uint32_t kPutImageHeaderBytes = 24;
// Rows at or above this leave the strip buffer unused.
constexpr int kMaxWindowSide = 16384;

constexpr uint8_t kButtonLeft = 1;
constexpr uint8_t kButtonMiddle = 2;
constexpr uint8_t kButtonRight = 3;
constexpr uint8_t kButtonWheelUp = 4;
constexpr uint8_t kButtonWheelDown = 5;

int buttonBit(uint8_t detail) {
    switch (detail) {
        case kButtonLeft: return kMouseLeft;
        case kButtonMiddle: return kMouseMiddle;
        case kButtonRight: return kMouseRight;
        default: return 0;
    }
}

xcb_visualtype_t* findVisual(xcb_screen_t* screen, xcb_visualid_t id, uint8_t& depthOut) {
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == id) {
                depthOut = d.data->depth;
                return v.data;
            }
        }
    }
    return nullptr;
}

class XcbEditorWindow final : public EditorWindow {
public:
    XcbEditorWindow(xcb_connection_t* connection, EditorWindowListener* listener)
        : connection_(connection), listener_(listener) {}
    ~XcbEditorWindow() override;

    bool create(xcb_window_t parent, int width, int height);
    void processEvents() override;
    void present(const uint32_t* pixels, int width, int height, const PixelRect& area) override;
    void setKeyboardFocus(bool wanted) override;
    void* nativeHandle() const override { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }
    int windowSystemErrors() const override { return errors_; }

private:
    bool succeeded(xcb_void_cookie_t cookie);
    void handle(const xcb_generic_event_t* event);
    void handleKey(const xcb_key_press_event_t* event);
    void loadKeyboardMapping();
    bool usable() const { return !windowGone_ && xcb_connection_has_error(connection_) == 0; }

    xcb_connection_t* connection_;
    EditorWindowListener* listener_;
    xcb_window_t parent_ = 0;
    xcb_window_t window_ = 0;
    xcb_colormap_t colormap_ = 0;
    xcb_gcontext_t gc_ = 0;
    uint8_t depth_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool windowGone_ = false;
    bool pixelsMatchServer_ = false;  // 32-bit pixels, masks ff0000/ff00/ff
    bool swapBytes_ = false;          // a most-significant-byte-first server
    uint32_t maxRequestBytes_ = 0;
    std::vector<uint32_t> strip_;
    DoubleClickDetector clicks_;
    std::vector<uint32_t> keysyms_;
    uint8_t minKeycode_ = 0;
    int keysymsPerKeycode_ = 0;
    bool focusHeld_ = false;
    xcb_window_t previousFocus_ = XCB_NONE;
    int errors_ = 0;
};

bool XcbEditorWindow::succeeded(xcb_void_cookie_t cookie) {
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    if (error == nullptr) return true;
    ++errors_;
    std::free(error);
    return false;
}

bool XcbEditorWindow::create(xcb_window_t parent, int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxWindowSide || height > kMaxWindowSide) return false;
    // The parent's geometry names its root, and so its screen; an error here
    // means a stale or bogus parent id.
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, parent), nullptr);
    if (geometry == nullptr) {
        ++errors_;
        return false;
    }
    const xcb_window_t root = geometry->root;
    std::free(geometry);

    const xcb_setup_t* setup = xcb_get_setup(connection_);
    xcb_screen_t* screen = nullptr;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
        if (it.data->root == root) screen = it.data;
    if (screen == nullptr) return false;

    xcb_visualtype_t* visual = findVisual(screen, screen->root_visual, depth_);
    if (visual == nullptr) return false;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth_)
            pixelsMatchServer_ = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32 &&
                                 visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR && visual->red_mask == 0xff0000 &&
                                 visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    swapBytes_ = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    maxRequestBytes_ = static_cast<uint32_t>(setup->maximum_request_length) * 4u;

    parent_ = parent;
    width_ = width;
    height_ = height;
    colormap_ = xcb_generate_id(connection_);
    xcb_create_colormap(connection_, XCB_COLORMAP_ALLOC_NONE, colormap_, root, screen->root_visual);

    window_ = xcb_generate_id(connection_);
    const uint32_t eventMask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                               XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_KEY_PRESS |
                               XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    // Values in the order of their mask bits. The border pixel and colormap
    // are explicit so that a parent of another depth or visual is no
    // BadMatch.
    const uint32_t values[] = {screen->black_pixel, 0, eventMask, colormap_};
    if (!succeeded(xcb_create_window_checked(
            connection_, depth_, window_, parent, 0, 0, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
            0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
            XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values))) {
        window_ = 0;
        return false;
    }

    // Hosts that size their frame from the plug-in's window read these.
    uint32_t hints[kSizeHintWords] = {};
    hints[0] = kHintProgramSize | kHintMinSize | kHintMaxSize;
    hints[3] = static_cast<uint32_t>(width);  // the obsolete size fields, for old readers
    hints[4] = static_cast<uint32_t>(height);
    hints[5] = hints[7] = static_cast<uint32_t>(width);
    hints[6] = hints[8] = static_cast<uint32_t>(height);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, kSizeHintWords, hints);

    gc_ = xcb_generate_id(connection_);
    const uint32_t gcValues[] = {0};  // no GraphicsExposure events from our copies
    xcb_create_gc(connection_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, gcValues);

    strip_.resize(static_cast<size_t>(width) * kStripRowsMax);
    xcb_map_window(connection_, window_);
    xcb_flush(connection_);
    return true;
}

XcbEditorWindow::~XcbEditorWindow() {
    if (focusHeld_) setKeyboardFocus(false);
    if (xcb_connection_has_error(connection_) == 0 && window_ != 0) {
        // Checked: when the host destroyed the parent first our window went
        // with it, and the server's BadWindow comes back here, harmlessly.
        if (gc_ != 0) succeeded(xcb_free_gc_checked(connection_, gc_));
        succeeded(xcb_destroy_window_checked(connection_, window_));
    }
    if (xcb_connection_has_error(connection_) == 0 && colormap_ != 0)
        succeeded(xcb_free_colormap_checked(connection_, colormap_));
    xcb_disconnect(connection_);
}

void XcbEditorWindow::processEvents() {
    if (xcb_connection_has_error(connection_) != 0) return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        handle(event);
        std::free(event);
    }
}

void XcbEditorWindow::handle(const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
        case 0:  // an error of an unchecked request
            ++errors_;
            break;
        case XCB_EXPOSE: {
            auto* expose = reinterpret_cast<const xcb_expose_event_t*>(event);
            listener_->onExpose(PixelRect{expose->x, expose->y, expose->x + expose->width,
                                          expose->y + expose->height});
            break;
        }
        case XCB_BUTTON_PRESS: {
            auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            const int modifiers = modifiersFromXState(press->state);
            if (press->detail == kButtonWheelUp || press->detail == kButtonWheelDown) {
                listener_->onMouseWheel(press->event_x, press->event_y,
                                        press->detail == kButtonWheelUp ? 1.0f : -1.0f, modifiers);
            } else if (int bit = buttonBit(press->detail)) {
                const bool doubleClick = clicks_.press(press->detail, press->event_x, press->event_y, press->time);
                listener_->onMouseDown(press->event_x, press->event_y, bit, modifiers, doubleClick);
            }
            break;
        }
        case XCB_BUTTON_RELEASE: {
            auto* release = reinterpret_cast<const xcb_button_release_event_t*>(event);
            if (int bit = buttonBit(release->detail))
                listener_->onMouseUp(release->event_x, release->event_y, bit, modifiersFromXState(release->state));
            break;
        }
        case XCB_MOTION_NOTIFY: {
            auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
            listener_->onMouseMove(motion->event_x, motion->event_y, buttonsFromXState(motion->state),
                                   modifiersFromXState(motion->state));
            break;
        }
        case XCB_KEY_PRESS:
            handleKey(reinterpret_cast<const xcb_key_press_event_t*>(event));
            break;
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == window_) windowGone_ = true;
            break;
        case XCB_MAPPING_NOTIFY:
            if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request == XCB_MAPPING_KEYBOARD)
                keysyms_.clear();
            break;
        default:
            break;
    }
}

void XcbEditorWindow::loadKeyboardMapping() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    minKeycode_ = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, minKeycode_, count), nullptr);
    if (reply == nullptr) {
        ++errors_;
        return;
    }
    keysymsPerKeycode_ = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
}

void XcbEditorWindow::handleKey(const xcb_key_press_event_t* event) {
    if (keysyms_.empty()) loadKeyboardMapping();
    if (keysymsPerKeycode_ <= 0 || event->detail < minKeycode_) return;
    const size_t first = static_cast<size_t>(event->detail - minKeycode_) * static_cast<size_t>(keysymsPerKeycode_);
    if (first + static_cast<size_t>(keysymsPerKeycode_) > keysyms_.size()) return;
    const uint32_t keysym = chooseKeysym(&keysyms_[first], std::min(keysymsPerKeycode_, 2), event->state);
    const KeyMeaning meaning = keyMeaningFromKeysym(keysym);
    if (meaning.key == EditKey::kNone && meaning.character == 0) return;
    const int modifiers = modifiersFromXState(event->state);
    // Control and Alt chords are commands, not text.
    const char32_t character = (modifiers & (kModifierControl | kModifierAlt)) ? 0 : meaning.character;
    if (meaning.key == EditKey::kNone && character == 0) return;
    listener_->onKey(meaning.key, character, modifiers);
}

void XcbEditorWindow::present(const uint32_t* pixels, int width, int height, const PixelRect& area) {
    if (pixels == nullptr || !usable() || !pixelsMatchServer_) return;
    const int left = std::max(area.left, 0);
    const int top = std::max(area.top, 0);
    const int right = std::min({area.right, width, width_});
    const int bottom = std::min({area.bottom, height, height_});
    if (right <= left || bottom <= top) return;
    const int columns = right - left;
    const uint32_t rowBytes = static_cast<uint32_t>(columns) * 4u;
    const int rowsFit = static_cast<int>((maxRequestBytes_ - kPutImageHeaderBytes) / rowBytes);
    const int stripRows = std::max(1, std::min(kStripRowsMax, rowsFit));
    for (int y = top; y < bottom; y += stripRows) {
        const int rows = std::min(stripRows, bottom - y);
        for (int r = 0; r < rows; ++r) {
            const uint32_t* source = pixels + static_cast<size_t>(y + r) * static_cast<size_t>(width) + left;
            uint32_t* target = strip_.data() + static_cast<size_t>(r) * static_cast<size_t>(columns);
            if (swapBytes_) {
                for (int x = 0; x < columns; ++x) target[x] = __builtin_bswap32(source[x]);
            } else {
                std::memcpy(target, source, rowBytes);
            }
        }
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, static_cast<uint16_t>(columns),
                      static_cast<uint16_t>(rows), static_cast<int16_t>(left), static_cast<int16_t>(y), 0, depth_,
                      rowBytes * static_cast<uint32_t>(rows), reinterpret_cast<const uint8_t*>(strip_.data()));
    }
    xcb_flush(connection_);
}

void XcbEditorWindow::setKeyboardFocus(bool wanted) {
    if (wanted == focusHeld_ || xcb_connection_has_error(connection_) != 0) return;
    if (wanted) {
        if (windowGone_) return;
        // Remember who had the focus, to hand it back when the entry ends.
        xcb_get_input_focus_reply_t* focus =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        previousFocus_ = focus != nullptr ? focus->focus : static_cast<xcb_window_t>(XCB_NONE);
        std::free(focus);
        focusHeld_ = succeeded(
            xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME));
        return;
    }
    focusHeld_ = false;
    xcb_window_t target = previousFocus_;
    if (target == XCB_NONE || target == window_) target = parent_;
    // The previous holder may have gone meanwhile; then the pointer's window
    // gets it, as after a window manager's own revert.
    if (!succeeded(xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, target, XCB_CURRENT_TIME)))
        succeeded(xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT,
                                              XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME));
}

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::open(void* parentHandle, int width, int height,
                                                 EditorWindowListener* listener) {
    if (listener == nullptr) return nullptr;
    const auto parent = static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(parentHandle));
    if (parent == XCB_NONE) return nullptr;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto window = std::make_unique<XcbEditorWindow>(connection, listener);
    if (!window->create(parent, width, height)) return nullptr;
    return window;
}

}  // namespace platform
