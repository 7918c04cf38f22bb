// MIDI note names as the editor writes them: pitch class and octave, with
// note 60 as "C3".
#pragma once

#include <string>

// "C3" for 60, "C#3" for 61, "C-2" for 0, "G8" for 127; empty outside 0..127.
std::string noteName(int note);
