// EffectLimiter: a peak limiter with a fixed 2.5 ms look-ahead that keeps
// each channel below full scale ("KavoLimiter").
//
// Quirks that stored projects rely on:
// - 24 program records are held and selectable, but hosts are told of 16
//   and the bank chunk covers the first 16 only.
// - The look-ahead is fixed: the live Lookahead value reads 0.5 after every
//   change, while the program record keeps what was set.
// - Attack, Level and Stereo are stored, shown and saved but do not act.
// - MIDI is accepted and ignored (no program changes over MIDI).
#pragma once

#include "effects/limiter_core.h"
#include "modules/effect_module.h"

class EffectLimiter : public KavoEffectModule {
public:
    enum Parameter : VstInt32 { kThreshold = 0, kLookahead, kAttack, kRelease, kLevel, kStereo, kNumParameters };
    static constexpr VstInt32 kReportedPrograms = 16;
    static constexpr VstInt32 kHeldPrograms = 24;

    explicit EffectLimiter(audioMasterCallback audioMaster);

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void resume() override;
    VstInt32 processEvents(VstEvents* events) override;
    void setProgram(VstInt32 program) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

protected:
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    LimiterCore core_;
};
