// EffectReverb: a stereo comb-and-all-pass room with pre-delay, input low
// cut, early-reflection balance, dry/wet crossfade and output level.
#pragma once

#include "effects/dsp/control_clock.h"
#include "effects/reverb_engine.h"
#include "modules/effect_module.h"

class EffectReverb : public KavoEffectModule {
public:
    static constexpr VstInt32 kNumPrograms = 48;
    static constexpr VstInt32 kNumParams = 8;
    static const ModuleInfo kInfo;

    enum Param { kPreDelay, kSize, kDamp, kLowCut, kEarlyRef, kMix, kLevel, kMono };

    explicit EffectReverb(audioMasterCallback audioMaster);

    void setSampleRate(float rate) override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

protected:
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    ReverbTargets targets_;
    ReverbEngine engine_;
    fxdsp::ControlClock clock_;
};
