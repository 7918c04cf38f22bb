// The sixteen drum pad sounds: membranes, wood and plates by modal
// synthesis (decaying partials with falling pitch), cymbals and hats by
// inharmonic partial clusters and filtered noise, claps by noise bursts.
#pragma once

#include "tools/samplegen/sample_catalogue.h"

namespace samplegen {

RenderedSample renderKick();
RenderedSample renderKick2();
RenderedSample renderSnare1();
RenderedSample renderSnare2();
RenderedSample renderTom1();
RenderedSample renderTom2();
RenderedSample renderClaps();
RenderedSample renderBongo1();
RenderedSample renderBongo2();
RenderedSample renderBongo3();
RenderedSample renderCrash1();
RenderedSample renderCrash2();
RenderedSample renderRide();
RenderedSample renderHatsOpen();
RenderedSample renderHatsClose();
RenderedSample renderBlock();

}  // namespace samplegen
