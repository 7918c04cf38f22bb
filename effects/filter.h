// EffectFilter: a stereo resonant filter ("KavoFilter") with an envelope
// restarted in time with the song and an LFO that sweeps the cutoff or the
// output level. The four-pole section and its tables are the synthesizer's.
//
// EnvStep is kept as its step number 0..5 in the live value, the program
// records and both chunk forms; getParameter answers step / 5.
#pragma once

#include "effects/dsp/control_clock.h"
#include "effects/filter_modulation.h"
#include "effects/filter_stage.h"
#include "effects/filter_triggers.h"
#include "modules/effect_module.h"

class EffectFilter : public KavoEffectModule {
public:
    enum Parameter : VstInt32 {
        kFilterType = 0,
        kFilterFrequency,
        kFilterQ,
        kLfoFrequency,
        kLfoQ,
        kEnvAttack,
        kEnvRelease,
        kEnvDepth,
        kEnvStep,
        kLfoWave,
        kLfoRate,
        kLfoDepth,
        kLfoSync,
        kMix,
        kLevel,
        kLfoLevel,
        kNumParameters
    };
    static constexpr VstInt32 kNumPrograms = 16;
    static constexpr int kPresetBytes = 4 * kNumParameters;  // 64

    explicit EffectFilter(audioMasterCallback audioMaster);

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void resume() override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    // true renders one frame at a time, with the control step, trigger and
    // MIDI checks on every frame and the sections one channel at a time: the
    // algorithm the runs replaced, kept so that tests can hold the runs to
    // it bit for bit.
    void renderFrameByFrame(bool on) { frameByFrame_ = on; }

protected:
    bool rest(int frames) override;
    float repairedStoredValue(VstInt32 index, float value) override;
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    template <bool kAudio>
    void runFrames(const float* inL, const float* inR, float* outL, float* outR, VstInt32 sampleFrames);
    template <bool kAudio>
    void runFrameByFrame(const float* inL, const float* inR, float* outL, float* outR, VstInt32 sampleFrames);
    void updateLevelTarget();
    void updateEnvelopeRates();
    void updateLfoRate();
    void updateLfoDepth();
    void controlStep(bool smoothing);
    void fireTrigger();
    int envStep() const;

    const dsp::DspTables& tables_;
    StereoFilterStage stage_;
    FilterEnvelope envelope_;
    FilterLfo lfo_;
    FilterTriggers triggers_;
    dsp::Random15 random_;
    fxdsp::ControlClock controlClock_;
    float levelTarget_ = 0.0f;
    float attackIncrement_ = 0.0f;
    float releaseFactor_ = 0.0f;
    bool frameByFrame_ = false;
};
