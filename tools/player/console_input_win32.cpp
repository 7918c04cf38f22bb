#include <windows.h>
#include <conio.h>
#include <io.h>

#include <atomic>
#include <cstdio>

#include "tools/player/console_input.h"

namespace {
std::atomic<bool> g_quit{false};
BOOL WINAPI onConsoleEvent(DWORD) {
    g_quit.store(true);
    return TRUE;
}
}  // namespace

struct ConsoleInput::Saved {};

ConsoleInput::ConsoleInput(bool keys) { keys_ = keys && _isatty(_fileno(stdin)) != 0; }
ConsoleInput::~ConsoleInput() = default;

char ConsoleInput::nextKey() {
    if (!keys_ || _kbhit() == 0) return 0;
    const int key = _getch();
    return key > 0 && key < 128 ? static_cast<char>(key) : 0;
}

void ConsoleInput::watchQuitSignals() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
bool ConsoleInput::quitRequested() { return g_quit.load(); }
void ConsoleInput::requestQuit() { g_quit.store(true); }
