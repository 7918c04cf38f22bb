// The editor's native window, as thin as it can be: a child of the host's
// window that shows pixels drawn elsewhere and reports mouse and keyboard
// input. Everything is drawn into one software canvas of 32-bit 0xAARRGGBB
// words (the layout of an X11 TrueColor image and of a Win32 32-bit DIB), so
// the window only copies pixels. XCB on Linux, Win32 on Windows.
//
// Threads: every call, and every listener callback, happens on the thread
// that opened the window (the host's editor thread), inside open(),
// processEvents() or, on Windows, the host's message loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Right and bottom are exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

enum MouseButtonBits { kMouseLeft = 1, kMouseMiddle = 2, kMouseRight = 4 };
enum KeyModifierBits { kModifierShift = 1, kModifierControl = 2, kModifierAlt = 4 };

// Keys the text entry needs besides printable characters.
enum class EditKey { kNone, kBackspace, kDelete, kLeft, kRight, kHome, kEnd, kReturn, kEscape, kTab };

class EditorWindowListener {
public:
    virtual ~EditorWindowListener() = default;
    // buttons: the MouseButtonBits of the button that went down or up.
    virtual void onMouseDown(int x, int y, int buttons, int modifiers, bool doubleClick) = 0;
    // buttons: the MouseButtonBits held during the move.
    virtual void onMouseMove(int x, int y, int buttons, int modifiers) = 0;
    virtual void onMouseUp(int x, int y, int buttons, int modifiers) = 0;
    // steps: +1 per wheel notch away from the user.
    virtual void onMouseWheel(int x, int y, float steps, int modifiers) = 0;
    // A key while the editor holds keyboard focus: character is the UTF-32
    // text of a printable key (0 otherwise), key names an editing key.
    // Returns true when the key was used.
    virtual bool onKey(EditKey key, char32_t character, int modifiers) = 0;
    // The window must show these pixels again (exposure, WM_PAINT).
    virtual void onExpose(const PixelRect& area) = 0;
};

class EditorWindow {
public:
    // Opens a child window of parentHandle (an X11 window id on Linux, an
    // HWND on Windows) of the given size, mapped and flushed. Null when the
    // window system refuses (no display, stale parent).
    static std::unique_ptr<EditorWindow> open(void* parentHandle, int width, int height,
                                              EditorWindowListener* listener);

    // Destroys the native window; harmless when the host destroyed the
    // parent (and with it our window) first.
    virtual ~EditorWindow() = default;

    // Linux: drains every pending event without blocking and hands each to
    // the listener. Windows: events arrive through the host's message loop;
    // this does nothing.
    virtual void processEvents() = 0;

    // Copies the pixels of area from a width × height canvas to the screen.
    virtual void present(const uint32_t* pixels, int width, int height, const PixelRect& area) = 0;

    // Takes keyboard focus while a text entry is edited, gives it back after.
    virtual void setKeyboardFocus(bool wanted) = 0;

    // The native window (X11 window id or HWND).
    virtual void* nativeHandle() const = 0;

    // Errors the window system reported for this window since it opened
    // (X protocol errors; a stale parent shows up here, never as an exit).
    virtual int windowSystemErrors() const { return 0; }
};

// A file chooser that never blocks the editor's idle work on Linux: zenity
// or kdialog runs as a child process read through a pipe, else the editor
// falls back to a file-name entry of its own (start() returns null). On
// Windows the common dialog runs modally inside start() and poll() answers
// at once.
class FileDialog {
public:
    enum class State { kPending, kChosen, kCancelled };
    struct Options {
        bool save = false;
        std::string title;       // "Load Bank"
        std::string filterName;  // "FXB File"
        std::string extension;   // "fxb", without the dot
    };
    static std::unique_ptr<FileDialog> start(const Options& options, EditorWindow* owner);
    virtual ~FileDialog() = default;  // ends a dialog still running
    // kChosen fills path.
    virtual State poll(std::string& path) = 0;
};

// Native menus and message boxes exist on Windows only; on Linux the editor
// draws its own inside its window.
struct NativeMenuItem {
    std::string text;
    int id = -1;               // returned when chosen; -1 for separators and sub-menus
    bool separator = false;
    bool checked = false;
    bool enabled = true;
    int columnBreakEvery = 0;  // sub-menu laid out in columns of this many items (0: one column)
    std::vector<NativeMenuItem> subMenu;
};

bool hasNativeMenus();
// Shows a popup menu at window coordinates (x, y) and returns the chosen
// id, or -1 when nothing was chosen. Windows only (modal there).
int showNativePopupMenu(EditorWindow& window, const std::vector<NativeMenuItem>& items, int x, int y);
// A yes/no question box; true for yes. Windows only (modal there).
bool askNativeYesNo(EditorWindow& window, const std::string& title, const std::string& text);
// A message box with an OK button. Windows only.
void showNativeMessage(EditorWindow& window, const std::string& title, const std::string& text);

// Opens a document with the system's viewer (ShellExecuteA, maximised, on
// Windows; xdg-open on Linux). Never waits for the viewer.
bool openDocument(const std::string& path);

}  // namespace platform
