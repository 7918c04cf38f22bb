// EffectDelay: stereo echo with a free delay time or one locked to the host
// tempo in sixteenth-note steps, feedback, ping-pong, an echo filter, dry/wet
// crossfade, balance and output level.
#pragma once

#include "effects/delay_engine.h"
#include "effects/dsp/control_clock.h"
#include "modules/effect_module.h"

class EffectDelay : public KavoEffectModule {
public:
    static constexpr VstInt32 kNumPrograms = 48;
    static constexpr VstInt32 kNumParams = 12;
    static const ModuleInfo kInfo;

    enum Param {
        kTime,
        kStep,
        kTempoLock,  // named "Step" as well
        kFeedback,
        kPingPong,
        kFilter,
        kLowCut,
        kHiCut,
        kMix,
        kPan,
        kMono,
        kLevel
    };

    explicit EffectDelay(audioMasterCallback audioMaster);

    void setSampleRate(float rate) override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

    // Target and present delay in samples, and the tempo in use (tests, meters).
    double targetDelaySamples() const { return targets_.delaySamples; }
    double smoothedDelaySamples() const { return engine_.smoothedDelay(); }
    double storedTempoBpm() const { return storedTempo_; }

protected:
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    double computeTargetDelay(const VstTimeInfo* timeInfo);
    EchoSwitches currentSwitches() const;

    EchoTargets targets_;
    EchoEngine engine_;
    fxdsp::ControlClock clock_;
    double storedTempo_ = 120.0;
};
