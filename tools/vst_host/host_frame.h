// The host's own windows around a plug-in editor: what a host creates,
// shows, hides, reparents and destroys while the plug-in's window lives
// inside. X11 through XCB on Linux, Win32 on Windows. Every call comes from
// the thread that created the frame.
#pragma once

#include <memory>
#include <string>
#include <vector>

class HostFrame {
public:
    static std::unique_ptr<HostFrame> create(std::string& error);
    virtual ~HostFrame() = default;

    // What a host passes as effEditOpen's value besides the window (Ardour
    // passes its Display): the plug-in must not rely on it.
    virtual void* displayPointer() = 0;
    // A top-level window, not yet shown.
    virtual void* createWindow(int width, int height, const char* title) = 0;
    virtual void setSize(void* window, int width, int height) = 0;
    virtual void show(void* window, bool shown) = 0;
    // Moves window into newParent at its top-left corner.
    virtual void reparent(void* window, void* newParent) = 0;
    virtual void destroy(void* window) = 0;
    // The plug-in's window inside a host window (its first child), or null.
    virtual void* firstChild(void* window) = 0;
    // Handles what the window system queued for the host's windows.
    virtual void pump() = 0;
    // True once the user asked the window manager to close one of the
    // host's windows (WM_DELETE_WINDOW, WM_CLOSE). The window stays; what to
    // do is the host's choice.
    virtual bool closeRequested() const = 0;
    // Protocol errors the host's own requests caused.
    virtual int errors() const = 0;

    // A key typed into a watched window or the plug-in's window inside it:
    // letters as lower-case ASCII, and the space bar. Key repeat is left
    // out: a held key gives one press and one release.
    struct KeyStroke {
        char key = 0;
        bool down = false;
    };
    // From now on, keys typed into window (a top-level window of the host)
    // and into the plug-in's window inside it are reported by nextKey, except
    // while the plug-in holds the keyboard focus itself for a text entry.
    virtual void watchKeys(void* window) = 0;
    // The next key reported since the last pump; false when there is none.
    bool nextKey(KeyStroke& stroke) {
        if (keys_.empty()) return false;
        stroke = keys_.front();
        keys_.erase(keys_.begin());
        return true;
    }

protected:
    void reportKey(char key, bool down) { keys_.push_back(KeyStroke{key, down}); }

private:
    std::vector<KeyStroke> keys_;
};
