// The planet pad in known states, made the same way by the native pad tests
// and by the Windows builds' check under wine, and its picture cut out of
// the whole window.
#pragma once

#include "gui/bitmap.h"
#include "gui/geometry.h"

class Editor;
class Effect;

namespace pad_states {

// Replaces the project by n probe planets, each with three satellites (a
// fourth ball has no targets), spread over the pad.
void makeProbePlanets(Effect& effect, int n);
// Loads the first built-in project with a single planet and at least two
// satellites; false when the library has none.
bool loadSinglePlanetProject(Effect& effect);
// Renders one block of the probe planets at a known level, so that the
// meters set each planet's glow. Needs the test host's time information.
void glowProbePlanets(Effect& effect);
// The window pixel of track t's planet centre, in the open editor's mode.
gui::Point planetCentre(Editor& editor, Effect& effect, int t);
// The pad and its porthole as drawn now: the panels beside it do not take
// part.
gui::Bitmap padPicture(Editor& editor);

}  // namespace pad_states
