// Parameter numbers, names, display texts and the default program of the
// synthesizer. One part has 67 parameters; the single-part flavour adds the
// mono switch as number 67.
#pragma once

#include <cstddef>

namespace synth {

enum Param : int {
    kDco1Wave = 0,
    kDco1Pulse,
    kDco1LfoPulse,
    kDco1Coarse,
    kDco1LfoFrequency,
    kDco1Fine,
    kDco1PitchBend,
    kDco1Sync,
    kDco1Glissando,
    kDco1Keyboard,
    kDco1OverDrive,
    kDco1OutputEnv,
    kDco1EnvFreq,
    kDco2Wave,  // 13
    kDco2Pulse,
    kDco2LfoPulse,
    kDco2Coarse,
    kDco2LfoFrequency,
    kDco2Fine,
    kDco2PitchBend,
    kDco2Sync,
    kDco2Glissando,
    kDco2Keyboard,
    kDco2OverDrive,
    kDco2OutputEnv,
    kDco2EnvFreq,
    kDcoSynchro,  // 26
    kDcoMix,
    kDcoEnvAttack,
    kDcoEnvDecay,
    kDcoEnvSustain,
    kDcoEnvRelease,
    kFilterDco1,  // 32
    kFilterDco2,
    kFilterKeyboard,
    kFilterType,
    kFilterPente,
    kFilterFrequency,
    kFilterQ,
    kFilterEnvelop,
    kFilterLfoFrequency,
    kFilterLfoQ,
    kFilterEnvAttack,
    kFilterEnvDecay,
    kFilterEnvSustain,
    kFilterEnvRelease,
    kLfo1Wave,  // 46
    kLfo1Delay,
    kLfo1Rate,
    kLfo1Depth,
    kLfo1Sync,
    kLfo1ModWheel,
    kLfo2Wave,  // 52
    kLfo2Delay,
    kLfo2Rate,
    kLfo2Depth,
    kLfo2Sync,
    kLfo2ModWheel,
    kOutEnvAttack,  // 58
    kOutEnvDecay,
    kOutEnvSustain,
    kOutEnvRelease,
    kOutVelocity,
    kOutLevel,
    kOutBalance,
    kOutLfoLevel,
    kOutLfoBalance,
    kPartParams,  // 67 parameters per part
    kMonoMode = kPartParams,  // single-part flavour only
};

constexpr int kMaxParts = 16;
constexpr int kValueSlots = kPartParams * kMaxParts;  // 1072 floats, p * 16 + part

// Offset of the second oscillator's parameters from the first's.
constexpr int kDco2Offset = kDco2Wave - kDco1Wave;

// Name and value texts are written into host buffers that are in practice
// at least 32 bytes (the SDK's 8-byte constant is far too small for these
// names, which the module host shows in full).
constexpr size_t kNameBytes = 32;
constexpr size_t kDisplayBytes = 24;

// The selectors of four states, stored as trunc(value * 3.2): 1 = LFO1,
// 2 = LFO2, 0 and 3 = none.
bool isSelector(int param);
constexpr int kSelectors[8] = {kDco1LfoPulse,       kDco1LfoFrequency, kDco2LfoPulse,  kDco2LfoFrequency,
                               kFilterLfoFrequency, kFilterLfoQ,       kOutLfoLevel,   kOutLfoBalance};
// Value as stored for a value received from the host (quantised selectors).
float storedValue(int param, float value);
// Value as the host sees it for a stored value.
float hostValue(int param, float stored);

// Values of one part of the default program (67 floats).
void defaultPartValues(float* values);

// "DCO1 Wave" and so on.
const char* paramName(int param);
// Display text of a stored value (selectors in stored form).
void formatDisplay(int param, float stored, char* text, size_t capacity);

}  // namespace synth
