// EffectOverdrive: a stereo distortion ("KavoOverdrive"). A gain stage of up
// to 60 dB feeds a square-root soft clipper, the level is brought back by the
// square root of the gain, and the result passes the resonant four-pole
// filter before the dry/wet crossfade and the output level.
#pragma once

#include "effects/dsp/control_clock.h"
#include "effects/overdrive_lanes.h"
#include "modules/effect_module.h"
#include "modules/synth_filter.h"

class EffectOverdrive : public KavoEffectModule {
public:
    enum Parameter : VstInt32 { kDrive = 0, kFilterType, kFilterFrequency, kFilterQ, kMix, kLevel, kNumParameters };
    static constexpr VstInt32 kNumPrograms = 16;

    explicit EffectOverdrive(audioMasterCallback audioMaster);

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void resume() override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

    // Both channels run through eight lanes where the processor has them
    // (x86_64 with AVX2), each channel through four lanes otherwise; the
    // output is the same to the bit. false keeps the four-lane path (tests
    // compare the two).
    void allowWideLanes(bool allowed) { wide_ = allowed && fxdsp::overdriveWideLanesAvailable(); }

protected:
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    fxdsp::OverdriveRun runSettings() const;
    void controlStep(bool smoothing);
    void updateDrive();
    void render(const fxdsp::OverdriveRun& run, const float* inL, const float* inR, float* outL, float* outR,
                int frames);

    const dsp::DspTables& tables_;
    fxdsp::ControlClock controlClock_;
    // Set by the control step: the biquad of both channels' filters (in
    // block form), the smoothed cutoff value and q it is designed from, the
    // dry/wet crossfade and the output gains.
    fxdsp::BlockBiquad coefficients_;
    // Table indices and mode coefficients_ was designed for (-1: none yet).
    int designedCutoffIndex_ = -1;
    int designedQIndex_ = -1;
    dsp::FilterMode designedMode_ = dsp::FilterMode::LowPass;
    float cutoff_ = 0.0f;
    float q_ = 0.0f;
    float dry_ = 0.0f;
    float wet_ = 0.0f;
    float levelLeft_ = 0.0f;
    float levelRight_ = 0.0f;
    fxdsp::OverdriveHistory filter_;
    bool wide_ = fxdsp::overdriveWideLanesAvailable();
    float levelTarget_ = 0.0f;
    // True after a gliding control step that changed nothing: the next ones
    // are skipped until a parameter or the program changes.
    bool settled_ = false;
    // 1000^OverDrive and its square root, from the live value.
    float driveGain_ = 1.0f;
    float driveCompensation_ = 1.0f;  // 1 / sqrt(driveGain_)
};
