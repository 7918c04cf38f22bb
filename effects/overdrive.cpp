#include "effects/overdrive.h"

#include <cmath>
#include <cstring>

#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"

namespace {

constexpr ModuleInfo kOverdriveInfo{"OverDrive (1.1)", "KAVO Overdrive", vstFourCC('3', '1', 'r', '4'), 2, 2,
                                    false};

// Half drive, open low pass (the top of the table, about 20 kHz at 44.1 kHz),
// fully wet, unity level.
constexpr float kNewRecord[EffectOverdrive::kNumParameters] = {0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f};
constexpr const char* kNewRecordName = "-";
constexpr const char* kParameterNames[EffectOverdrive::kNumParameters] = {
    "OverDrive", "FilterType", "FilterFrequency", "FilterQ", "Mix", "Level"};
// 1000^x: up to 60 dB of drive.
constexpr double kMaxDrive = 1000.0;

// Above full scale the square root bends the curve: continuous, with the
// slope halved at +-1.
inline float softClip(float y) {
    if (y > 1.0f) return std::sqrt(y);
    if (y < -1.0f) return -std::sqrt(-y);
    return y;
}

}  // namespace

EffectOverdrive::EffectOverdrive(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParameters, kOverdriveInfo), stage_(dsp::dspTables()) {
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kNewRecord, kNewRecordName);
    std::memcpy(live_.data(), kNewRecord, sizeof(kNewRecord));
    levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
    updateDrive();
    // Gains and coefficients stay 0 until the host sets the sample rate or a
    // program, which runs the first control step.
}

void EffectOverdrive::updateDrive() {
    const double g = std::pow(kMaxDrive, static_cast<double>(live_[kDrive]));
    driveGain_ = static_cast<float>(g);
    driveCompensation_ = static_cast<float>(1.0 / std::sqrt(g));
}

void EffectOverdrive::parameterChanged(VstInt32 index) {
    switch (index) {
        case kDrive:
            updateDrive();
            break;
        case kMix:
        case kLevel:
            levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
            break;
        default:
            break;  // the control step reads the rest
    }
}

void EffectOverdrive::recomputeAll() {
    levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
    updateDrive();
    controlStep(false);
}

void EffectOverdrive::controlStep(bool smoothing) {
    const float factor = smoothing ? fxdsp::kControlGlideFactor : fxdsp::kJumpFactor;
    stage_.glideGains(live_[kMix], levelTarget_, levelTarget_, factor);
    stage_.glideCutoff(live_[kFilterFrequency], live_[kFilterQ], smoothing);
    stage_.design(0.0f, filterModeFor(live_[kFilterType]));
}

void EffectOverdrive::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        if (controlClock_.tick()) controlStep(true);
        drainEffectMidiFrame();
        const float l = inL[i];
        const float r = inR[i];
        const float g = driveGain_;
        const float c = driveCompensation_;
        stage_.process(l, r, softClip(g * l) * c, softClip(g * r) * c, outL[i], outR[i]);
    }
}

void EffectOverdrive::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    fxdsp::displayText(text, kParameterNames[index]);
}

void EffectOverdrive::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    const float x = live_[static_cast<size_t>(index)];
    switch (index) {
        case kDrive:
            fxdsp::displayTruncated(text, 100.0f * x, "%");  // in float: 0.29 reads 29%
            break;
        case kFilterType:
            fxdsp::displayText(text, filterModeText(x));
            break;
        case kFilterFrequency:
            fxdsp::displayTruncated(text, 10.0 * std::pow(1600.0, static_cast<double>(x)), "Hz");
            break;
        case kFilterQ:
            fxdsp::displayFixed(text, x, 2);
            break;
        case kMix:
            fxdsp::displayFixed(text, 2.0 * x - 1.0, 2);
            break;
        case kLevel:
            fxdsp::displayFixed(text, fxdsp::levelDisplayDb(x), 1, "dB");
            break;
        default:
            *text = 0;
            break;
    }
}
