#include "editor/note_names.h"

#include <cstdio>

std::string noteName(int note) {
    if (note < 0 || note > 127) return {};
    static const char* const kClasses[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const char* pitchClass = kClasses[note % 12];
    const int octave = note / 12 - 2;
    char text[8];
    if (pitchClass[1] == '#')
        std::snprintf(text, sizeof(text), "%c%c%i", pitchClass[0], pitchClass[1], octave);
    else
        std::snprintf(text, sizeof(text), "%c%i", pitchClass[0], octave);
    return text;
}
