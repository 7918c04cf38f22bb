// The sampler's melodic instruments, each rendered at a given root note:
// an FM electric piano, a Karplus-Strong plucked string, a filtered analogue
// bass, a detuned stereo pad and a modal bell. The sustaining ones settle
// into a steady state built from partials on the loop's frequency grid, so
// their loops repeat bit for bit and close without a click.
#pragma once

#include "tools/samplegen/sample_catalogue.h"

namespace samplegen {

RenderedSample renderElectricPiano(int rootNote);
RenderedSample renderPluck(int rootNote);
RenderedSample renderBass(int rootNote);
RenderedSample renderPad(int rootNote);
RenderedSample renderBell(int rootNote);

}  // namespace samplegen
