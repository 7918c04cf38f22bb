// The track's side of its sound balls: where their targets land and the
// hooks through which the render engine and the sequencer move them.
#include "modulehost/cplugin.h"
#include "track/instrument.h"

PadState padStateOf(const TrackOwner& owner) {
    PadState pad;
    pad.x = owner.padPositionX();
    pad.y = owner.padPositionY();
    // The owner keeps the pad unrotated.
    pad.rotation = false;
    pad.roundPad = owner.padIsRound();
    return pad;
}

PadState CInstrument::padState() const { return padStateOf(owner_); }

void CInstrument::setBallModuleParameter(int kind, int index, float value) {
    CPlugin* slot = kind == kParameterKindMainModule ? mainSlot_.get()
                    : kind == kParameterKindInsert1  ? insertSlots_[0].get()
                    : kind == kParameterKindInsert2  ? insertSlots_[1].get()
                                                     : nullptr;
    if (slot == nullptr || !slot->loaded() || slot->effect() == nullptr) return;
    // Target indices come from project data; a module is only asked about
    // parameters it has.
    if (index < 0 || index >= slot->effect()->numParams) return;
    slot->setParameter(index, value);
}

void CInstrument::setBallMixParameter(int index, float fraction) { setMixParameter(index, fraction); }

void CInstrument::resetBallMovement() { balls.takeOver(); }

void CInstrument::applyBallController(int channelCode, int controller, int value) {
    balls.applyController(channelCode, controller, value);
}

void CInstrument::randomBallJumps(int stepPosition) {
    const bool synchronised = synchro.load() != 0.0f || owner_.synchroOn();
    if (balls.randomJumps(stepPosition, synchronised, owner_.currentStep(), *this, padState())) changed = true;
}
