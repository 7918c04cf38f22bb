// EffectCompressor: a stereo-linked RMS compressor with look-ahead, soft knee
// and automatic make-up gain ("KavoCompressor").
//
// Chunks come in two versions, told apart by size: version 2 (written) leads
// the preset with the float 2.0 and the bank with a 4-byte header; version 1
// has neither and stored the output level on an older scale, which is
// converted on reading.
#pragma once

#include "effects/compressor_core.h"
#include "effects/dsp/control_clock.h"
#include "modules/effect_module.h"

class EffectCompressor : public KavoEffectModule {
public:
    enum Parameter : VstInt32 {
        kThreshold = 0,
        kLookahead,
        kRatio,
        kAttack,
        kRelease,
        kKnee,
        kLevel,
        kNumParameters
    };
    static constexpr VstInt32 kNumPrograms = 16;
    static constexpr int kPresetBytesV1 = 4 * kNumParameters;           // 28
    static constexpr int kPresetBytesV2 = 4 + kPresetBytesV1;           // 32
    static constexpr int kProgramBytes = kVstMaxProgNameLen + 4 * kNumParameters;  // 52
    static constexpr int kBankBytesV1 = kNumPrograms * kProgramBytes;   // 832
    static constexpr int kBankBytesV2 = 4 + kBankBytesV1;               // 836

    explicit EffectCompressor(audioMasterCallback audioMaster);

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void resume() override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

protected:
    void parameterChanged(VstInt32 index) override;
    void recomputeAll() override;

private:
    void updateCurveTarget();
    void updateEnvelopeCoefficients();
    void updateLookahead();

    CompressorCore core_;
    CompressorCurve curveTarget_;
    fxdsp::ControlClock controlClock_;
};
