// The track's sequencer hooks, called by the render engine on the audio
// thread and by the module host for the drum machine's pattern edits.
#include "track/instrument.h"

void CInstrument::onTransportStart() {}
void CInstrument::lockToStep(int /*step*/) {}
void CInstrument::stepTick(int /*frameOffset*/) {}
void CInstrument::selectPattern(int /*pattern*/) {}
void CInstrument::drumPatternEdit(int /*step*/, int /*key*/, bool /*setVelocity*/, float /*command*/) {}
