// EffectChorus: a stereo chorus with a long delay ring and no feedback; base
// delays from 0.5 ms to 300 ms, so it also serves as a short stereo delay.
#pragma once

#include "effects/chorus_flanger_module.h"

// 2^17 floats per channel: the longest read, 300 ms doubled by full depth, is
// 115,200 samples at 192 kHz.
constexpr int kChorusRingBits = 17;

class EffectChorus : public SweptDelayModule<kChorusRingBits> {
public:
    static constexpr VstInt32 kNumPrograms = 48;
    static constexpr VstInt32 kNumParams = 5;
    static const ModuleInfo kInfo;

    explicit EffectChorus(audioMasterCallback audioMaster);
};
