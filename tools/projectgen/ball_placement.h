// Puts every sound ball where its targets already are: the position whose
// mapping gives the first target of each axis the value the project sets
// for it. The plug-in sends a ball's position to its targets when the
// project loads and when a user program is applied, so a ball anywhere
// else would change the sound the moment the project is loaded or stored
// and restored.
#pragma once

#include <string>
#include <vector>

#include "tools/projectgen/project_description.h"

namespace projectgen {

// Moves the balls of every track, and sets every further target of an axis
// to the value the position gives it. Returns one line per axis whose
// project value lay outside its ball's range (the ball then sits at the
// edge and the value follows it).
std::vector<std::string> placeBalls(ProjectSpec& project);

// Whether placeBalls can read the target's value (a module parameter that
// exists, or a mix level, pan, send level or band gain).
bool placeable(TrackSpec& track, const BallTarget& target);

}  // namespace projectgen
