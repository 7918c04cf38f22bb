// The few services of the renderer's own process that differ between
// Windows and POSIX.
#pragma once

namespace console {

// True when standard error is an interactive terminal.
bool stderrIsTerminal();

// Windows: dispatches the messages queued for this thread. A plug-in's
// windowless SetTimer callback runs only from the message loop of the
// thread that created it, which in this host is the render thread.
// Elsewhere: nothing.
void pumpThreadMessages();

}  // namespace console
