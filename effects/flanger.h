// EffectFlanger: short swept delays (0.5 ms to 20 ms) with feedback.
#pragma once

#include "effects/chorus_flanger_module.h"

// 2^13 floats per channel: the longest read, 20 ms doubled by full depth, is
// 7,680 samples at 192 kHz.
constexpr int kFlangerRingBits = 13;

class EffectFlanger : public SweptDelayModule<kFlangerRingBits> {
public:
    static constexpr VstInt32 kNumPrograms = 16;
    static constexpr VstInt32 kNumParams = 6;
    static const ModuleInfo kInfo;

    explicit EffectFlanger(audioMasterCallback audioMaster);
};
