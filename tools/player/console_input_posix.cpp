#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "tools/player/console_input.h"

namespace {
volatile sig_atomic_t g_quit = 0;
void onQuitSignal(int) { g_quit = 1; }
}  // namespace

struct ConsoleInput::Saved {
    termios attributes;
};

ConsoleInput::ConsoleInput(bool keys) {
    if (!keys || isatty(STDIN_FILENO) == 0) return;
    termios attributes{};
    if (tcgetattr(STDIN_FILENO, &attributes) != 0) return;
    saved_ = new Saved{attributes};
    attributes.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &attributes) != 0) return;
    keys_ = true;
}

ConsoleInput::~ConsoleInput() {
    if (saved_ != nullptr) tcsetattr(STDIN_FILENO, TCSANOW, &saved_->attributes);
    delete saved_;
}

char ConsoleInput::nextKey() {
    if (!keys_) return 0;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return 0;
    char key = 0;
    return read(STDIN_FILENO, &key, 1) == 1 ? key : 0;
}

void ConsoleInput::watchQuitSignals() {
    struct sigaction action{};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool ConsoleInput::quitRequested() { return g_quit != 0; }
void ConsoleInput::requestQuit() { g_quit = 1; }
