// Keyboard and mallet multi-samples: a tonewheel-style drawbar organ whose
// sustain loops exactly, and a marimba bar struck with a soft or a hard
// mallet (two velocity layers of one instrument).
#pragma once

#include "tools/samplegen/sample_catalogue.h"

namespace samplegen {

enum class Mallet { Soft, Hard };

RenderedSample renderDrawbarOrgan(int rootNote);
RenderedSample renderMarimba(int rootNote, Mallet mallet);

}  // namespace samplegen
