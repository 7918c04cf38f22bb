// The right-hand panel's pages in known states, made the same way by the
// native snapshot test and by the Windows builds' check under wine, and its
// picture cut out of the whole window.
#pragma once

#include <string>

#include "gui/bitmap.h"

class Editor;
class Effect;
struct SoundBall;

namespace right_panel_states {

// The first satellite of a track, as the pad numbers them across the
// project; -1 when it has none.
int firstSatelliteOf(Effect& effect, int track);
// The ball behind a satellite number, or null.
SoundBall* ballOf(Effect& effect, int satellite);

int count();
// Brings the open (offscreen) editor of the plug-in's first project into
// state i and returns the name of its reference picture.
std::string make(Editor& editor, Effect& effect, int i);
// The panel's area of the window as drawn now.
gui::Bitmap picture(Editor& editor);
// A click through the window's frame, as the window would deliver it.
void click(Editor& editor, int x, int y);

}  // namespace right_panel_states
