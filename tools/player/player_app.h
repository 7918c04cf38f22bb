// The player application: loads the instrument, opens the stored (or
// given) audio and MIDI devices, shows the editor in a window of its own
// and runs the user-interface loop until the window closes or a quit
// signal comes. The loop carries out the Settings menu's choices by
// reopening the stream, and writes what happens to the log, one line each.
#pragma once

#include <cstdio>
#include <string>

#include "tools/player/player_options.h"

enum PlayerExit { kPlayerOk = 0, kPlayerBadCommandLine = 2, kPlayerPluginFailed = 3, kPlayerNoAudio = 4 };

int runPlayer(const PlayerOptions& options, std::FILE* log);

// Where the plug-in installed beside the player is looked for.
std::string defaultPluginPath();
