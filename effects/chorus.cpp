#include "effects/chorus.h"

const ModuleInfo EffectChorus::kInfo{"Chorus (1.31)", "KAVO chorus", vstFourCC('7', 'v', '6', '0'), 2, 2, false};

namespace {
// Base delay 0.5 ms .. 300 ms.
constexpr SweptDelayLayout kChorusLayout{600.0, false, "-"};
}  // namespace

EffectChorus::EffectChorus(audioMasterCallback audioMaster)
    : SweptDelayModule(audioMaster, kNumPrograms, kInfo, kChorusLayout) {}
