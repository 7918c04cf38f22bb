// The player's console: keys typed into the terminal without waiting for
// Return (and without echo) while the player runs, and the request to quit
// (SIGTERM, SIGINT; on Windows Ctrl+C and closing the console).
#pragma once

class ConsoleInput {
public:
    // Raw keys only when standard input is a terminal and keys are wanted.
    explicit ConsoleInput(bool keys);
    ~ConsoleInput();  // restores the terminal
    ConsoleInput(const ConsoleInput&) = delete;
    ConsoleInput& operator=(const ConsoleInput&) = delete;

    bool readsKeys() const { return keys_; }
    // The next typed key, or 0 when none waits. Never blocks.
    char nextKey();

    // Installs the handlers; quitRequested turns true once one arrived.
    static void watchQuitSignals();
    static bool quitRequested();
    static void requestQuit();

private:
    bool keys_ = false;
    struct Saved;
    Saved* saved_ = nullptr;
};
