// File dialogs, documents and the (absent) native menus on Linux. The file
// chooser is a zenity or kdialog child process whose answer arrives through
// a non-blocking pipe, so the editor's idle work polls it and never waits.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform/editor_window.h"

extern char** environ;

namespace platform {
namespace {

// A file chooser prints one path and a newline; anything longer is not one.
constexpr size_t kMaxAnswerBytes = 65536;

// Concatenation through append: GCC 12 at -O2 warns falsely (-Wrestrict) on
// operator+ with a literal on the left.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) text.append(part);
    return text;
}

std::string findInPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    const std::string_view folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string_view::npos) end = folders.size();
        std::string_view folder = folders.substr(start, end - start);
        std::string candidate = joined({folder.empty() ? std::string_view(".") : folder, "/", program});
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// Runs argv with its standard output on a pipe whose read end is returned
// non-blocking; standard input reads /dev/null. -1 when it cannot start.
pid_t spawnWithPipe(const std::vector<std::string>& arguments, int& readEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        return -1;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    readEnd = fds[0];
    return pid;
}

class ChildProcessFileDialog final : public FileDialog {
public:
    ChildProcessFileDialog(pid_t pid, int readEnd) : pid_(pid), readEnd_(readEnd) {}
    ~ChildProcessFileDialog() override {
        if (readEnd_ >= 0) close(readEnd_);
        if (pid_ > 0) {
            // The editor closed with the chooser still up: it goes too.
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }

    State poll(std::string& path) override {
        if (state_ != State::kPending) return answer(path);
        char buffer[4096];
        while (readEnd_ >= 0) {
            const ssize_t got = read(readEnd_, buffer, sizeof(buffer));
            if (got > 0) {
                if (text_.size() + static_cast<size_t>(got) <= kMaxAnswerBytes)
                    text_.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && errno == EAGAIN) return State::kPending;
            close(readEnd_);  // end of output
            readEnd_ = -1;
        }
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == 0) return State::kPending;
        pid_ = -1;
        while (!text_.empty() && (text_.back() == '\n' || text_.back() == '\r')) text_.pop_back();
        const bool chosen = done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text_.empty() &&
                            text_.find('\n') == std::string::npos;
        state_ = chosen ? State::kChosen : State::kCancelled;
        return answer(path);
    }

private:
    State answer(std::string& path) const {
        if (state_ == State::kChosen) path = text_;
        return state_;
    }

    pid_t pid_;
    int readEnd_;
    std::string text_;
    State state_ = State::kPending;
};

}  // namespace

std::unique_ptr<FileDialog> FileDialog::start(const Options& options, EditorWindow* /*owner*/) {
    std::vector<std::string> arguments;
    const std::string pattern = options.extension.empty() ? std::string("*") : joined({"*.", options.extension});
    if (std::string zenity = findInPath("zenity"); !zenity.empty()) {
        arguments = {zenity, "--file-selection", joined({"--title=", options.title}),
                     joined({"--file-filter=", options.filterName, " | ", pattern})};
        if (options.save) {
            arguments.push_back("--save");
            arguments.push_back("--confirm-overwrite");
        }
    } else if (std::string kdialog = findInPath("kdialog"); !kdialog.empty()) {
        arguments = {kdialog, "--title", options.title, options.save ? "--getsavefilename" : "--getopenfilename",
                     ".", joined({pattern, "|", options.filterName})};
    } else {
        return nullptr;
    }
    int readEnd = -1;
    const pid_t pid = spawnWithPipe(arguments, readEnd);
    if (pid < 0) return nullptr;
    return std::make_unique<ChildProcessFileDialog>(pid, readEnd);
}

bool openDocument(const std::string& path) {
    const std::string opener = findInPath("xdg-open");
    if (opener.empty() || path.empty()) return false;
    // A shell that starts the viewer in the background and ends at once:
    // reaping it here leaves no zombie, and the viewer outlives nothing of
    // ours.
    std::vector<std::string> arguments = {"/bin/sh", "-c", "\"$0\" \"$1\" >/dev/null 2>&1 &", opener, path};
    int readEnd = -1;
    const pid_t pid = spawnWithPipe(arguments, readEnd);
    if (pid < 0) return false;
    close(readEnd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool hasNativeMenus() { return false; }
int showNativePopupMenu(EditorWindow&, const std::vector<NativeMenuItem>&, int, int) { return -1; }
bool askNativeYesNo(EditorWindow&, const std::string&, const std::string&) { return false; }
void showNativeMessage(EditorWindow&, const std::string&, const std::string&) {}

}  // namespace platform
