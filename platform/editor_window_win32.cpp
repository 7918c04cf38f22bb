// The editor window on Windows: a child of the host's window that shows the
// last presented canvas with SetDIBitsToDevice from WM_PAINT, and hands
// mouse and keyboard messages to the listener. Its window class is
// registered on the plug-in DLL's own module handle under a name of its own
// per loaded DLL (two copies of the plug-in, or another plug-in built on
// the same code, never share a window procedure) and unregistered when the
// last window goes: Windows does not unregister a DLL's classes at unload.
// The process's DPI awareness is the host's business and is left alone.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/editor_window.h"
#include "platform/platform.h"

namespace platform {
namespace {

HINSTANCE ownModule() {
    if (void* module = moduleHandle()) return static_cast<HINSTANCE>(module);
    return GetModuleHandleW(nullptr);  // linked into an executable (tests)
}

// One class per loaded module, counted by its open windows.
class WindowClass {
public:
    const wchar_t* acquire(WNDPROC procedure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (users_ == 0) {
            std::swprintf(name_, sizeof(name_) / sizeof(name_[0]), L"TalvexEditor%p",
                          static_cast<void*>(ownModule()));
            WNDCLASSW windowClass{};
            windowClass.style = CS_DBLCLKS;  // else no WM_LBUTTONDBLCLK
            windowClass.lpfnWndProc = procedure;
            windowClass.hInstance = ownModule();
            windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
            windowClass.lpszClassName = name_;
            if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
        }
        ++users_;
        return name_;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (users_ > 0 && --users_ == 0) UnregisterClassW(name_, ownModule());
    }

private:
    std::mutex mutex_;
    int users_ = 0;
    wchar_t name_[64] = {};
};

WindowClass g_windowClass;

int modifiersNow() {
    int bits = 0;
    if (GetKeyState(VK_SHIFT) < 0) bits |= kModifierShift;
    if (GetKeyState(VK_CONTROL) < 0) bits |= kModifierControl;
    if (GetKeyState(VK_MENU) < 0) bits |= kModifierAlt;
    return bits;
}

int buttonsFromWParam(WPARAM wParam) {
    int bits = 0;
    if (wParam & MK_LBUTTON) bits |= kMouseLeft;
    if (wParam & MK_MBUTTON) bits |= kMouseMiddle;
    if (wParam & MK_RBUTTON) bits |= kMouseRight;
    return bits;
}

EditKey editKeyFromVirtualKey(WPARAM key) {
    switch (key) {
        case VK_BACK: return EditKey::kBackspace;
        case VK_DELETE: return EditKey::kDelete;
        case VK_LEFT: return EditKey::kLeft;
        case VK_RIGHT: return EditKey::kRight;
        case VK_HOME: return EditKey::kHome;
        case VK_END: return EditKey::kEnd;
        case VK_RETURN: return EditKey::kReturn;
        case VK_ESCAPE: return EditKey::kEscape;
        case VK_TAB: return EditKey::kTab;
        default: return EditKey::kNone;
    }
}

class Win32EditorWindow final : public EditorWindow {
public:
    Win32EditorWindow(EditorWindowListener* listener, int width, int height)
        : listener_(listener), width_(width), height_(height),
          pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), 0xff000000u) {}
    ~Win32EditorWindow() override {
        if (window_ != nullptr) {
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);  // no callbacks into a dying object
            if (IsWindow(window_)) DestroyWindow(window_);
        }
        if (classAcquired_) g_windowClass.release();
    }

    bool create(HWND parent) {
        const wchar_t* className = g_windowClass.acquire(&Win32EditorWindow::procedure);
        if (className == nullptr) return false;
        classAcquired_ = true;
        window_ = CreateWindowExW(0, className, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, 0, 0, width_, height_,
                                  parent, nullptr, ownModule(), this);
        return window_ != nullptr;
    }

    void processEvents() override {}

    void present(const uint32_t* pixels, int width, int height, const PixelRect& area) override {
        if (pixels == nullptr || window_ == nullptr) return;
        const int left = std::max(area.left, 0);
        const int top = std::max(area.top, 0);
        const int right = std::min({area.right, width, width_});
        const int bottom = std::min({area.bottom, height, height_});
        if (right <= left || bottom <= top) return;
        for (int y = top; y < bottom; ++y)
            std::memcpy(&pixels_[static_cast<size_t>(y) * width_ + left], pixels + static_cast<size_t>(y) * width + left,
                        static_cast<size_t>(right - left) * 4);
        // Inside WM_PAINT the update region is being drawn already; an
        // invalidation there would only ask for the same paint again. What
        // lies outside it is invalidated once the paint is done.
        RECT rect{left, top, right, bottom};
        if (!painting_) {
            InvalidateRect(window_, &rect, FALSE);
        } else if (left < paintArea_.left || top < paintArea_.top || right > paintArea_.right ||
                   bottom > paintArea_.bottom) {
            invalidAfterPaint_.push_back(rect);
        }
    }

    void setKeyboardFocus(bool wanted) override {
        if (window_ == nullptr || wanted == focusHeld_) return;
        focusHeld_ = wanted;
        if (wanted) {
            previousFocus_ = SetFocus(window_);
            return;
        }
        if (GetFocus() != window_) return;  // someone took it meanwhile
        HWND back = previousFocus_ != nullptr && IsWindow(previousFocus_) ? previousFocus_ : GetParent(window_);
        SetFocus(back);
    }

    void* nativeHandle() const override { return window_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32EditorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
        return self->handle(window, message, wParam, lParam);
    }

    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const int x = GET_X_LPARAM(lParam);
        const int y = GET_Y_LPARAM(lParam);
        switch (message) {
            case WM_ERASEBKGND:
                return 1;  // every pixel is painted from the canvas
            case WM_PAINT:
                paint(window);
                return 0;
            case WM_LBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
            case WM_MBUTTONDBLCLK:
            case WM_RBUTTONDBLCLK: {
                const bool doubleClick =
                    message == WM_LBUTTONDBLCLK || message == WM_MBUTTONDBLCLK || message == WM_RBUTTONDBLCLK;
                const int bit = (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)   ? kMouseLeft
                                : (message == WM_MBUTTONDOWN || message == WM_MBUTTONDBLCLK) ? kMouseMiddle
                                                                                              : kMouseRight;
                SetCapture(window);  // drags keep reporting outside the window
                listener_->onMouseDown(x, y, bit, modifiersNow(), doubleClick);
                return 0;
            }
            case WM_LBUTTONUP:
            case WM_MBUTTONUP:
            case WM_RBUTTONUP: {
                const int bit = message == WM_LBUTTONUP ? kMouseLeft : message == WM_MBUTTONUP ? kMouseMiddle : kMouseRight;
                if (buttonsFromWParam(wParam) == 0 && GetCapture() == window) ReleaseCapture();
                listener_->onMouseUp(x, y, bit, modifiersNow());
                return 0;
            }
            case WM_MOUSEMOVE:
                listener_->onMouseMove(x, y, buttonsFromWParam(wParam), modifiersNow());
                return 0;
            case WM_MOUSEWHEEL: {
                POINT point{x, y};  // screen coordinates for this message
                ScreenToClient(window, &point);
                listener_->onMouseWheel(point.x, point.y,
                                        static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA,
                                        modifiersNow());
                return 0;
            }
            case WM_KEYDOWN: {
                const EditKey key = editKeyFromVirtualKey(wParam);
                if (key != EditKey::kNone && listener_->onKey(key, 0, modifiersNow())) return 0;
                break;
            }
            case WM_CHAR: {
                // Backspace, Tab, Return and Escape came as keys already;
                // control chords are commands, not text.
                const auto unit = static_cast<char32_t>(wParam);
                if (unit >= 0xd800 && unit <= 0xdbff) {
                    highSurrogate_ = unit;
                    return 0;
                }
                char32_t character = unit;
                if (unit >= 0xdc00 && unit <= 0xdfff) {
                    if (highSurrogate_ == 0) return 0;
                    character = 0x10000 + ((highSurrogate_ - 0xd800) << 10) + (unit - 0xdc00);
                }
                highSurrogate_ = 0;
                if (character < 0x20 || character == 0x7f) return 0;
                listener_->onKey(EditKey::kNone, character, modifiersNow() & kModifierShift);
                return 0;
            }
            case WM_GETDLGCODE:
                return DLGC_WANTALLKEYS;  // hosts in dialogs keep Tab and Return otherwise
            case WM_NCDESTROY:
                // The host destroyed its window, and ours with it.
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                window_ = nullptr;
                break;
            default:
                break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void paint(HWND window) {
        PAINTSTRUCT paintStruct;
        HDC dc = BeginPaint(window, &paintStruct);
        const RECT& dirty = paintStruct.rcPaint;
        painting_ = true;
        paintArea_ = dirty;
        listener_->onExpose(PixelRect{dirty.left, dirty.top, dirty.right, dirty.bottom});
        painting_ = false;
        const int top = dirty.top < 0 ? 0 : dirty.top;
        const int bottom = dirty.bottom > height_ ? height_ : dirty.bottom;
        const int left = dirty.left < 0 ? 0 : dirty.left;
        const int right = dirty.right > width_ ? width_ : dirty.right;
        if (bottom > top && right > left) {
            // A top-down DIB of exactly the dirty rows, so that no source
            // offset depends on which way up the DIB is.
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            info.bmiHeader.biWidth = width_;
            info.bmiHeader.biHeight = -(bottom - top);
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(right - left), static_cast<DWORD>(bottom - top), left,
                              0, 0, static_cast<UINT>(bottom - top), &pixels_[static_cast<size_t>(top) * width_], &info,
                              DIB_RGB_COLORS);
        }
        EndPaint(window, &paintStruct);
        for (const RECT& rect : invalidAfterPaint_) InvalidateRect(window, &rect, FALSE);
        invalidAfterPaint_.clear();
    }

    EditorWindowListener* listener_;
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;  // the last presented canvas
    HWND window_ = nullptr;
    bool classAcquired_ = false;
    bool painting_ = false;
    RECT paintArea_{};
    std::vector<RECT> invalidAfterPaint_;
    bool focusHeld_ = false;
    HWND previousFocus_ = nullptr;
    char32_t highSurrogate_ = 0;
};

HMENU buildMenu(const std::vector<NativeMenuItem>& items, int columnBreakEvery) {
    HMENU menu = CreatePopupMenu();
    int index = 0;
    for (const NativeMenuItem& item : items) {
        UINT flags = 0;
        if (columnBreakEvery > 0 && index > 0 && index % columnBreakEvery == 0) flags |= MF_MENUBARBREAK;
        ++index;
        if (item.separator) {
            AppendMenuA(menu, flags | MF_SEPARATOR, 0, nullptr);
            continue;
        }
        if (!item.enabled) flags |= MF_GRAYED;
        if (item.checked) flags |= MF_CHECKED;
        if (!item.subMenu.empty()) {
            // The break belongs to the item holding the list; lists that
            // carry it on their items are read the same way.
            const int breakEvery =
                item.columnBreakEvery > 0 ? item.columnBreakEvery : item.subMenu.front().columnBreakEvery;
            HMENU sub = buildMenu(item.subMenu, breakEvery);
            AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), item.text.c_str());
        } else {
            // TrackPopupMenu answers 0 for "nothing chosen": ids go one up.
            AppendMenuA(menu, flags | MF_STRING, static_cast<UINT_PTR>(item.id + 1), item.text.c_str());
        }
    }
    return menu;
}

class Win32FileDialog final : public FileDialog {
public:
    Win32FileDialog(State state, std::string path) : state_(state), path_(std::move(path)) {}
    State poll(std::string& path) override {
        if (state_ == State::kChosen) path = path_;
        return state_;
    }

private:
    State state_;
    std::string path_;
};

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::open(void* parentHandle, int width, int height,
                                                 EditorWindowListener* listener) {
    HWND parent = static_cast<HWND>(parentHandle);
    if (listener == nullptr || parent == nullptr || !IsWindow(parent) || width <= 0 || height <= 0) return nullptr;
    auto window = std::make_unique<Win32EditorWindow>(listener, width, height);
    if (!window->create(parent)) return nullptr;
    return window;
}

std::unique_ptr<FileDialog> FileDialog::start(const Options& options, EditorWindow* owner) {
    // "FXB File\0*.fxb\0\0"
    std::string filter = options.filterName;
    filter.push_back('\0');
    filter += options.extension.empty() ? std::string("*.*") : "*." + options.extension;
    filter.push_back('\0');
    filter.push_back('\0');
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner != nullptr ? static_cast<HWND>(owner->nativeHandle()) : nullptr;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrTitle = options.title.c_str();
    // The host's working folder is not ours to change.
    dialog.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | (options.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = options.save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    return std::make_unique<Win32FileDialog>(chosen ? FileDialog::State::kChosen : FileDialog::State::kCancelled,
                                             chosen ? std::string(path) : std::string());
}

bool hasNativeMenus() { return true; }

int showNativePopupMenu(EditorWindow& window, const std::vector<NativeMenuItem>& items, int x, int y) {
    HWND owner = static_cast<HWND>(window.nativeHandle());
    if (owner == nullptr) return -1;
    HMENU menu = buildMenu(items, 0);
    POINT point{x, y};
    ClientToScreen(owner, &point);
    const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY,
                                                       point.x, point.y, 0, owner, nullptr));
    DestroyMenu(menu);  // sub-menus go with it
    return chosen - 1;
}

bool askNativeYesNo(EditorWindow& window, const std::string& title, const std::string& text) {
    return MessageBoxA(static_cast<HWND>(window.nativeHandle()), text.c_str(), title.c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void showNativeMessage(EditorWindow& window, const std::string& title, const std::string& text) {
    MessageBoxA(static_cast<HWND>(window.nativeHandle()), text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

bool openDocument(const std::string& path) {
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)) >
           32;
}

}  // namespace platform
