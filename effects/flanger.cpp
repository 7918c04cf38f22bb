#include "effects/flanger.h"

const ModuleInfo EffectFlanger::kInfo{"Flanger (1.31)", "KAVO flanger", vstFourCC('1', '2', '8', '3'), 2, 2, false};

namespace {
// Base delay 0.5 ms .. 20 ms.
constexpr SweptDelayLayout kFlangerLayout{40.0, true, "--------"};
}  // namespace

EffectFlanger::EffectFlanger(audioMasterCallback audioMaster)
    : SweptDelayModule(audioMaster, kNumPrograms, kInfo, kFlangerLayout) {}
