#include "effects/overdrive.h"

#include <cmath>
#include <cstring>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"
#include "effects/dsp/smoothing.h"
#include "effects/dsp/stereo_four_pole.h"
#include "effects/filter_stage.h"

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

}  // namespace

EffectOverdrive::EffectOverdrive(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParameters, kOverdriveInfo), tables_(dsp::dspTables()) {
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
    const fxdsp::MixGains mix = fxdsp::mixGains(live_[kMix]);
    fxdsp::glide(dry_, mix.dry, factor);
    fxdsp::glide(wet_, mix.wet, factor);
    fxdsp::glide(levelLeft_, levelTarget_, factor);
    fxdsp::glide(levelRight_, levelTarget_, factor);
    const float cutoffFactor = smoothing ? kCutoffGlideFactor : fxdsp::kJumpFactor;
    fxdsp::glide(cutoff_, live_[kFilterFrequency], cutoffFactor);
    fxdsp::glide(q_, live_[kFilterQ], cutoffFactor);
    const int k = dsp::cutoffTableIndex(cutoff_ * kCutoffSemitonesPerUnit);
    const int h = dsp::qTableIndex(q_);
    coefficients_ = dsp::designBiquad(tables_, k, h, filterModeFor(live_[kFilterType]));
}

void EffectOverdrive::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    if (inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr) return;
    fxdsp::runControlledBlock(
        controlClock_, sampleFrames, [this] { return !midiIdle(); }, [this] { controlStep(true); },
        [this] { drainEffectMidiFrame(); },
        [&](int offset, int count) { render(inL + offset, inR + offset, outL + offset, outR + offset, count); });
}

// Both channels side by side in SSE lanes, branch-free. Inputs of a frame
// are read before its outputs are written, so the module may run in place.
void EffectOverdrive::render(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    const __m128 gain = _mm_set1_ps(driveGain_);
    const __m128 compensation = _mm_set1_ps(driveCompensation_);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 dry = _mm_set1_ps(dry_);
    const __m128 wet = _mm_set1_ps(wet_);
    const __m128 level = fxdsp::stereoPair(levelLeft_, levelRight_);
    fxdsp::StereoFourPoleLanes filter(coefficients_, filterLeft_, filterRight_);
    for (int n = 0; n < frames; ++n) {
        const __m128 in = fxdsp::loadStereo(inL + n, inR + n);
        // Square-root soft clip above full scale: continuous, with the slope
        // halved at +-1. sqrt(|y|) with the sign of y is -sqrt(-y) below -1.
        const __m128 driven = _mm_mul_ps(in, gain);
        const __m128 magnitude = fxdsp::absLanes(driven);
        const __m128 bent = _mm_or_ps(_mm_sqrt_ps(magnitude), fxdsp::signLanes(driven));
        const __m128 clipped = fxdsp::selectLanes(_mm_cmpgt_ps(magnitude, one), bent, driven);
        const __m128 filtered = filter.process(_mm_mul_ps(clipped, compensation));
        const __m128 out = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(in, dry), _mm_mul_ps(filtered, wet)), level);
        fxdsp::storeStereo(out, outL + n, outR + n);
    }
    filter.store(filterLeft_, filterRight_);
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
