#include "tests/plugin_window/editor_x11_support.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "gui/menu.h"
#include "host/effect.h"
#include "tests/gui_window/x11_test_support.h"

extern char** environ;

namespace editor_x11 {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string makeFolder(const char* title) {
    std::string pattern = std::string("/tmp/") + title + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    return made != nullptr ? made : "/tmp";
}

ChildProcess::ChildProcess(std::vector<std::string> arguments, const std::string& outputPath,
                           const std::string& errorPath)
    : outputPath_(outputPath) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorPath.empty())
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::waitForOutput(const std::string& text, int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int ChildProcess::waitForExit(int timeoutMs) {
    int status = 0;
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

unsigned long waitForWindowId(const std::string& infoPath, const char* key, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        std::istringstream words(readText(infoPath));
        std::string word, value;
        while (words >> word >> value) {
            if (word != key) continue;
            const unsigned long id = std::strtoul(value.c_str(), nullptr, 16);
            if (id != 0) return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

EditorPointer::EditorPointer(unsigned long editor, int settleMs) : id_(std::to_string(editor)), settleMs_(settleMs) {}

void EditorPointer::moveTo(gui::Point p, const char* then) {
    const bool sent = xdotool("mousemove --window " + id_ + " " + std::to_string(p.x) + " " + std::to_string(p.y) + then);
    if (!sent) ADD_FAILURE() << "xdotool failed at " << p.x << "," << p.y << then;
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs_));
}

void EditorPointer::choose(const std::vector<gui::Point>& path) {
    click(gui::Point{348, 70});  // the main menu button
    for (size_t i = 0; i < path.size(); ++i) moveTo(path[i], i + 1 == path.size() ? " click 1" : "");
}

std::vector<gui::Point> drawnMenuPath(const main_menu::State& state, const std::vector<std::string>& path) {
    gui::PopupMenu menu(gui::Rect::fromSize(0, 0, Editor::kWidth, Editor::kHeight), main_menu::build(state),
                        EditorView::kMainMenuAt, nullptr);
    std::vector<gui::Point> centres;
    for (const std::string& text : path) {
        const gui::PopupMenu::Panel& panel = menu.panels().back();
        size_t i = 0;
        while (i < panel.items->size() && (*panel.items)[i].text != text) ++i;
        if (i == panel.items->size()) return {};
        const gui::Rect& r = panel.itemRects[i];
        centres.push_back(gui::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        gui::MouseEvent hover;
        hover.x = centres.back().x;
        hover.y = centres.back().y;
        menu.onHover(hover);
    }
    return centres;
}

namespace {
VstIntPtr VSTCALLBACK listingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

int PluginLists::program(const std::string& name) const {
    for (size_t i = 0; i < programs.size(); ++i)
        if (programs[i] == name) return static_cast<int>(i);
    return -1;
}

PluginLists readPluginLists(const std::string& folder) {
    const char* given = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = given != nullptr ? given : "";
    const std::string own = folder + "/plugin-lists";
    mkdir(own.c_str(), 0755);
    setenv("XDG_CONFIG_HOME", own.c_str(), 1);
    PluginLists lists;
    auto* fx = new Effect(&listingHost);
    lists.projects = fx->projectNames();
    AEffect* a = fx->getAeffect();
    for (VstInt32 p = 0; p < a->numPrograms; ++p) {
        char name[kVstMaxProgNameLen * 4] = {};
        a->dispatcher(a, effGetProgramNameIndexed, p, 0, name, 0.0f);
        lists.programs.emplace_back(name);
    }
    a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f);
    if (given != nullptr)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    return lists;
}

}  // namespace editor_x11
