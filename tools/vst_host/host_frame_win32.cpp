#include <windows.h>

#include "tools/vst_host/host_frame.h"

namespace {

const char* const kFrameClass = "TalvexRenderEditorFrame";
bool g_closeRequested = false;  // frames live on one thread

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Closing the frame by hand only hides it and tells the host, whose
    // choice the editor's life is.
    if (message == WM_CLOSE) {
        g_closeRequested = true;
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class Win32HostFrame final : public HostFrame {
public:
    Win32HostFrame() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = frameProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kFrameClass;
        RegisterClassA(&windowClass);  // fails harmlessly when a second frame registers it again
    }

    void* displayPointer() override { return nullptr; }

    void* createWindow(int width, int height, const char* title) override {
        RECT rect{0, 0, width, height};
        AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
        HWND window = CreateWindowExA(0, kFrameClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                      rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        if (window == nullptr) ++errors_;
        return window;
    }

    void setSize(void* window, int width, int height) override {
        HWND handle = static_cast<HWND>(window);
        RECT rect{0, 0, width, height};
        const LONG style = GetWindowLongA(handle, GWL_STYLE);
        if (!(style & WS_CHILD)) AdjustWindowRect(&rect, static_cast<DWORD>(style), FALSE);
        if (!SetWindowPos(handle, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                          SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
            ++errors_;
    }

    void show(void* window, bool shown) override { ShowWindow(static_cast<HWND>(window), shown ? SW_SHOW : SW_HIDE); }

    void reparent(void* window, void* newParent) override {
        HWND handle = static_cast<HWND>(window);
        LONG style = GetWindowLongA(handle, GWL_STYLE);
        style = (style & ~(WS_OVERLAPPEDWINDOW | WS_POPUP)) | WS_CHILD;
        SetWindowLongA(handle, GWL_STYLE, style);
        if (SetParent(handle, static_cast<HWND>(newParent)) == nullptr) ++errors_;
        SetWindowPos(handle, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }

    void destroy(void* window) override {
        if (!DestroyWindow(static_cast<HWND>(window))) ++errors_;
    }

    void* firstChild(void* window) override { return GetWindow(static_cast<HWND>(window), GW_CHILD); }

    void pump() override {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_KEYDOWN || message.message == WM_KEYUP) key(message);
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    void watchKeys(void* window) override { watched_ = static_cast<HWND>(window); }

    int errors() const override { return errors_; }
    bool closeRequested() const override { return g_closeRequested; }

private:
    void key(const MSG& message) {
        if (watched_ == nullptr || (message.hwnd != watched_ && !IsChild(watched_, message.hwnd))) return;
        const bool down = message.message == WM_KEYDOWN;
        // Bit 30: the key was down already (key repeat).
        if (down && (message.lParam & (1L << 30)) != 0) return;
        char c = 0;
        if (message.wParam >= 'A' && message.wParam <= 'Z') c = static_cast<char>(message.wParam - 'A' + 'a');
        if (message.wParam == VK_SPACE) c = ' ';
        // The plug-in's window takes the focus only for a text entry: its
        // keys are text then.
        HWND plugin = GetWindow(watched_, GW_CHILD);
        if (c != 0 && !(plugin != nullptr && GetFocus() == plugin)) reportKey(c, down);
    }

    int errors_ = 0;
    HWND watched_ = nullptr;
};

}  // namespace

std::unique_ptr<HostFrame> HostFrame::create(std::string& /*error*/) { return std::make_unique<Win32HostFrame>(); }
