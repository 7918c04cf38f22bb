// What the tests that drive the plug-in's editor in a real window share:
// a child process with its output in files, the window ids its host writes,
// pointer moves and clicks through xdotool, and where the drawn main menu
// puts its items.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "editor/main_menu.h"
#include "gui/geometry.h"

namespace editor_x11 {

std::string readText(const std::string& path);
// A new folder under /tmp named after title.
std::string makeFolder(const char* title);

// A process of the test, its standard output going to a file (and its
// error output to another, or to the same file when errorPath is empty).
// Killed on destruction unless it has ended.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> arguments, const std::string& outputPath, const std::string& errorPath = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    std::string output() const { return readText(outputPath_); }
    bool waitForOutput(const std::string& text, int timeoutMs = 20000) const;
    // The exit status (128 + signal when a signal ended it), or -1 when it
    // has not ended within timeoutMs.
    int waitForExit(int timeoutMs);

private:
    std::string outputPath_;
    pid_t pid_ = -1;
};

// The value after `key` ("frame", "editor") in a host's --editor-info file,
// once it holds one; 0 after timeoutMs.
unsigned long waitForWindowId(const std::string& infoPath, const char* key, int timeoutMs = 6000);

// The pointer over the editor's window.
class EditorPointer {
public:
    explicit EditorPointer(unsigned long editor, int settleMs = 200);
    // Moves to p in window coordinates, then runs the xdotool words in
    // `then` (" click 1", " mousedown 1", ...) and lets the editor idle.
    void moveTo(gui::Point p, const char* then = "");
    void click(gui::Point p) { moveTo(p, " click 1"); }
    // Opens the main menu and follows a path found by drawnMenuPath, the
    // sub-menus opening on hover, clicking the last item.
    void choose(const std::vector<gui::Point>& path);

private:
    std::string id_;
    int settleMs_;
};

// The centres of the drawn main menu's items along a path of texts, laid out
// by the menu's own code for the state the editor shows, each sub-menu
// opened where the pointer finds it. Empty when an item is missing.
std::vector<gui::Point> drawnMenuPath(const main_menu::State& state, const std::vector<std::string>& path);

// What a fresh instance of the plug-in lists, its settings in a new folder
// below folder (XDG_CONFIG_HOME is restored): the built-in projects in the order its tabs show
// them, and the user programs' names. The tests take names and numbers from
// here, so the library may grow and change its order.
struct PluginLists {
    std::vector<std::string> projects;
    std::vector<std::string> programs;
    // The number of the user program named name, or -1.
    int program(const std::string& name) const;
};
PluginLists readPluginLists(const std::string& folder);

}  // namespace editor_x11
