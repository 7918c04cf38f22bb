// The drum machine's edits of a track's edit pattern. They run on whatever
// thread the drum module reports from (the audio thread while it renders),
// so they never allocate: notes beyond the room the pattern reserved are
// dropped.
#pragma once

#include "sequencer/pattern.h"

// Without setVelocity: removes the first note of key at step (a position in
// [step, step + 1)), then command 1 inserts a note (step, length 1, key,
// velocity 127) and command 2 one with velocity 0 (stop the key); other
// commands insert nothing. With setVelocity: that first note's velocity
// becomes the command's integer part.
void applyDrumPatternEdit(Pattern& editPattern, int step, int key, bool setVelocity, float command);
