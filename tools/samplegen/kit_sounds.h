// Three further drum sets for the library: a room kit that sounds played
// (kick, snare, side stick, hats), a second electronic set (a long tuned
// boom, a snap, a ticking hat, a falling zap) and hand percussion (two
// congas, shaker, clave, cowbell).
#pragma once

#include "tools/samplegen/sample_catalogue.h"

namespace samplegen {

RenderedSample renderRoomKick();
RenderedSample renderRoomSnare();
RenderedSample renderSideStick();
RenderedSample renderRoomHat();

RenderedSample renderBoomKick();
RenderedSample renderSnap();
RenderedSample renderTickHat();
RenderedSample renderZap();

RenderedSample renderCongaHigh();
RenderedSample renderCongaLow();
RenderedSample renderShaker();
RenderedSample renderClave();
RenderedSample renderCowbell();

}  // namespace samplegen
