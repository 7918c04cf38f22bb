// talvex-render as an editor host on a private Xvfb, with the window probe
// plug-in: what the screen shows, input driven through xdotool, the
// automation the host records, the threads and order of the editor calls in
// the LMMS and Ardour manners, and many open/close cycles while rendering.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/gui_window/fixture/window_probe_pattern.h"
#include "tests/gui_window/x11_test_support.h"

extern char** environ;

namespace {

std::string tempPath(const std::string& name) {
    static const std::string folder = [] {
        char pattern[] = "/tmp/talvex-editor-host-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder + "/" + name;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
}

size_t lineIndex(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    size_t index = 0;
    for (std::string current; std::getline(in, current); ++index)
        if (current == line) return index;
    return std::string::npos;
}

// talvex-render running in the background with the window probe.
class HostRun {
public:
    explicit HostRun(const std::string& name, std::vector<std::string> extra) : name_(name) {
        logPath = tempPath(name + ".probe.log");
        infoPath = tempPath(name + ".info");
        automationPath = tempPath(name + ".automation");
        std::remove(logPath.c_str());
        std::remove(infoPath.c_str());
        std::vector<std::string> arguments = {TALVEX_RENDER_EXE, WINDOW_PROBE_PATH, "-o", tempPath(name + ".wav"),
                                              "--no-progress", "--editor-info", infoPath, "--automation-log",
                                              automationPath};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        setenv("TALVEX_WINDOW_PROBE_LOG", logPath.c_str(), 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string output = tempPath(name + ".out");
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~HostRun() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The ids the host wrote once the editor was up.
    bool waitForEditor(unsigned long& frame, unsigned long& parent, unsigned long& editor) {
        for (int i = 0; i < 300; ++i) {
            std::string info = readText(infoPath);
            if (std::sscanf(info.c_str(), "frame %lx parent %lx editor %lx", &frame, &parent, &editor) == 3)
                return editor != 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    int finish() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string output() const { return readText(tempPath(name_ + ".out")); }
    std::string probeLog() const { return readText(logPath); }

    std::string logPath, infoPath, automationPath;

private:
    std::string name_;
    pid_t pid_ = -1;
};

// The screen through ImageMagick's import, as 0x00RRGGBB.
std::vector<uint32_t> importWindow(unsigned long window, const std::string& name) {
    const std::string path = tempPath(name + ".rgb");
    char command[300];
    std::snprintf(command, sizeof(command), "import -window 0x%lx -depth 8 rgb:%s", window, path.c_str());
    if (std::system(command) != 0) return {};
    std::string bytes = readText(path);
    std::vector<uint32_t> pixels(bytes.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (static_cast<uint32_t>(static_cast<uint8_t>(bytes[3 * i])) << 16) |
                    (static_cast<uint32_t>(static_cast<uint8_t>(bytes[3 * i + 1])) << 8) |
                    static_cast<uint8_t>(bytes[3 * i + 2]);
    return pixels;
}

size_t patternDifferences(const std::vector<uint32_t>& screen) {
    if (screen.size() != static_cast<size_t>(window_probe::kWidth) * window_probe::kHeight) return screen.size() + 1;
    size_t differences = 0;
    for (int y = 0; y < window_probe::kHeight; ++y)
        for (int x = 0; x < window_probe::kWidth; ++x)
            differences += screen[static_cast<size_t>(y) * window_probe::kWidth + x] !=
                           (window_probe::patternPixel(x, y) & 0xffffffu);
    return differences;
}

TEST(EditorHost, LmmsOrderShowsThePictureAndReportsClicksAndAutomation) {
    HostRun run("lmms", {"--show-editor", "3", "--editor-order", "lmms"});
    unsigned long frame = 0, parent = 0, editor = 0;
    ASSERT_TRUE(run.waitForEditor(frame, parent, editor)) << run.output();
    EXPECT_EQ(frame, parent);  // LMMS opens straight into its own window
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(patternDifferences(importWindow(editor, "lmms-before")), 0u);

    const std::string id = std::to_string(editor);
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 100 50 mousedown 1 mousemove --window " + id +
                        " 200 55 mousemove --window " + id + " 300 60 mouseup 1"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 700 400 click 3"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 600 100 click --repeat 2 --delay 60 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<uint32_t> after = importWindow(editor, "lmms-after");
    ASSERT_EQ(after.size(), static_cast<size_t>(window_probe::kWidth) * window_probe::kHeight);
    EXPECT_EQ(after[50 * window_probe::kWidth + 100], window_probe::kMarkerLeft & 0xffffffu);
    EXPECT_EQ(after[400 * window_probe::kWidth + 700], window_probe::kMarkerRight & 0xffffffu);
    EXPECT_EQ(after[300 * window_probe::kWidth + 100], window_probe::patternPixel(100, 300) & 0xffffffu);
    ASSERT_EQ(run.finish(), 0) << run.output();

    const std::string log = run.probeLog();
    EXPECT_EQ(linesStartingWith(log, "wrong-thread").size(), 0u) << log;
    ASSERT_EQ(linesStartingWith(log, "open ").size(), 1u) << log;
    EXPECT_NE(linesStartingWith(log, "open ")[0].find("creator-thread=1"), std::string::npos);
    // effEditOpen (14) comes before effEditGetRect (13), as LMMS sends them.
    EXPECT_LT(lineIndex(log, "dispatch 14 0"), lineIndex(log, "dispatch 13 0")) << log;
    const std::vector<std::string> downs = linesStartingWith(log, "down ");
    ASSERT_EQ(downs.size(), 4u) << log;
    EXPECT_EQ(downs[0], "down 100 50 1 0 0");
    EXPECT_EQ(downs[1], "down 700 400 4 0 0");
    EXPECT_EQ(downs[2], "down 600 100 1 0 0");
    EXPECT_EQ(downs[3], "down 600 100 1 0 1");
    EXPECT_EQ(linesStartingWith(log, "up 300 60 1").size(), 1u) << log;
    EXPECT_EQ(linesStartingWith(log, "close errors=0").size(), 1u) << log;

    // The drag is one gesture: begin, values along the way, end.
    std::vector<std::string> automation;
    std::istringstream in(readText(run.automationPath));
    for (std::string line; std::getline(in, line);)
        if (line[0] != '#') automation.push_back(line.substr(line.find(' ') + 1));
    ASSERT_GE(automation.size(), 4u);
    EXPECT_EQ(automation[0], "begin 0");
    char first[40], last[40];
    std::snprintf(first, sizeof(first), "0 %.9g", static_cast<double>(100.0f / 999.0f));
    std::snprintf(last, sizeof(last), "0 %.9g", static_cast<double>(300.0f / 999.0f));
    EXPECT_EQ(automation[1], first);
    const size_t end = std::find(automation.begin(), automation.end(), "end 0") - automation.begin();
    ASSERT_LT(end, automation.size());
    EXPECT_EQ(automation[end - 1], last);
    EXPECT_EQ(std::count(automation.begin(), automation.end(), "begin 0"), 3);  // the drag and the double click
    EXPECT_EQ(std::count(automation.begin(), automation.end(), "end 0"), 3);
}

TEST(EditorHost, ArdourOrderOpensOnItsOwnThreadReparentsAndIdlesWhileHidden) {
    HostRun run("ardour", {"--show-editor", "2.5", "--editor-order", "ardour", "--editor-hide-after", "1.2"});
    unsigned long frame = 0, parent = 0, editor = 0;
    ASSERT_TRUE(run.waitForEditor(frame, parent, editor)) << run.output();
    EXPECT_NE(frame, parent);

    // The 1 x 1 stand-in now sits in the frame, at the editor's size, with
    // the editor inside.
    TestDisplay display;
    ASSERT_TRUE(display.ok());
    auto parentOf = [&](unsigned long window) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(
            display.connection(), xcb_query_tree(display.connection(), static_cast<xcb_window_t>(window)), nullptr);
        unsigned long result = tree != nullptr ? tree->parent : 0;
        std::free(tree);
        return result;
    };
    EXPECT_EQ(parentOf(editor), parent);
    EXPECT_EQ(parentOf(parent), frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(patternDifferences(importWindow(editor, "ardour")), 0u);
    const std::string id = std::to_string(editor);
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 321 123 click 1"));
    ASSERT_EQ(run.finish(), 0) << run.output();

    const std::string log = run.probeLog();
    EXPECT_EQ(linesStartingWith(log, "wrong-thread").size(), 0u) << log;
    ASSERT_EQ(linesStartingWith(log, "open ").size(), 1u) << log;
    EXPECT_NE(linesStartingWith(log, "open ")[0].find("creator-thread=0"), std::string::npos) << log;
    EXPECT_EQ(linesStartingWith(log, "down 321 123 1 0 0").size(), 1u) << log;
    // Idle every 40 ms for 2.4 s, hidden for half of it: at least 50 calls.
    const std::vector<std::string> closes = linesStartingWith(log, "close errors=0 idles=");
    ASSERT_EQ(closes.size(), 1u) << log;
    EXPECT_GE(std::stoi(closes[0].substr(std::string("close errors=0 idles=").size())), 50);
    // effEditClose, then effMainsChanged(0), then effClose.
    EXPECT_LT(lineIndex(log, "dispatch 15 0"), lineIndex(log, "dispatch 12 0"));
    EXPECT_LT(lineIndex(log, "dispatch 12 0"), lineIndex(log, "dispatch 1 0"));
}

TEST(EditorHost, OpenAndCloseTwoHundredTimesWhileRendering) {
    for (const char* order : {"lmms", "ardour"}) {
        // Ardour's stand-in waits 100 ms for the rect: its cycles are longer.
        const char* seconds = std::string(order) == "lmms" ? "12" : "30";
        HostRun run(std::string("cycles-") + order,
                    {"--show-editor", seconds, "--editor-order", order, "--editor-cycles", "200"});
        ASSERT_EQ(run.finish(), 0) << run.output();
        const std::string log = run.probeLog();
        EXPECT_EQ(linesStartingWith(log, "open ").size(), 200u) << order;
        EXPECT_EQ(linesStartingWith(log, "close errors=0").size(), 200u) << order;
        EXPECT_EQ(linesStartingWith(log, "dispatch 15").size(), 200u) << order;
        EXPECT_EQ(linesStartingWith(log, "wrong-thread").size(), 0u) << order;
        EXPECT_EQ(linesStartingWith(log, "destroyed").size(), 1u) << order;
    }
}

TEST(EditorHost, ClosingTwiceAndAParentThatWentFirstAreHarmless) {
    for (const char* order : {"lmms", "ardour"}) {
        HostRun run(std::string("rude-") + order, {"--show-editor", "1", "--editor-order", order, "--editor-cycles",
                                                   "3", "--editor-close-twice", "--editor-destroy-parent-first"});
        ASSERT_EQ(run.finish(), 0) << run.output();
        const std::string log = run.probeLog();
        EXPECT_EQ(linesStartingWith(log, "open ").size(), 3u) << order << "\n" << log;
        EXPECT_EQ(linesStartingWith(log, "close ").size(), 3u) << order << "\n" << log;  // the second close is a no-op
        EXPECT_EQ(linesStartingWith(log, "dispatch 15").size(), 6u) << order;
        EXPECT_EQ(linesStartingWith(log, "destroyed").size(), 1u) << order;
    }
}

TEST(EditorHost, APlugInWithoutAnEditorIsReported) {
    std::string command = std::string(TALVEX_RENDER_EXE) + " " + RENDER_PROBE_PATH + " -o " + tempPath("none.wav") +
                          " --show-editor 1 --no-progress > " + tempPath("none.out") + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_NE(readText(tempPath("none.out")).find("the plug-in has no editor"), std::string::npos);
}

}  // namespace
