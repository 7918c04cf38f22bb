// talvex-render: a command-line VST 2.4 host that plays MIDI into an
// instrument and writes what it renders to a WAV file.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/talvex_render/render_options.h"
#include "tools/talvex_render/renderer.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    RenderOptions options;
    bool help = false;
    std::string error;
    if (!parseRenderOptions(arguments, options, help, error)) {
        std::fprintf(stderr, "talvex-render: %s\n\n%s", error.c_str(), renderUsage());
        return kRenderBadCommandLine;
    }
    if (help) {
        std::fputs(renderUsage(), stdout);
        return kRenderOk;
    }
    return runRender(options, stdout, stderr);
}
