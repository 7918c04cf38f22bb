// talvex: the Talvex instrument as an application of its own, played with a
// MIDI keyboard (or the computer's) through the system's audio output.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/player/player_app.h"
#include "tools/player/player_options.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    PlayerOptions options;
    std::string error;
    if (!parsePlayerOptions(arguments, options, error)) {
        std::fprintf(stderr, "talvex: %s\n\n%s", error.c_str(), playerUsage());
        return kPlayerBadCommandLine;
    }
    if (options.help) {
        std::fputs(playerUsage(), stdout);
        return kPlayerOk;
    }
    return runPlayer(options, stdout);
}
