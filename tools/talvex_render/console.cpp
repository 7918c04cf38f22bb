#include "tools/talvex_render/console.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

namespace console {

#if defined(_WIN32)
bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void pumpThreadMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
#else
bool stderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

void pumpThreadMessages() {}
#endif

}  // namespace console
