#include "effects/overdrive.h"

#include <cmath>
#include <cstring>

#include "common/portable_math.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"
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
    setParameterDefaults(kNewRecord);
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kNewRecord, kNewRecordName);
    std::memcpy(live_.data(), kNewRecord, sizeof(kNewRecord));
    levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
    updateDrive();
    // Gains and coefficients stay 0 until the host sets the sample rate or a
    // program, which runs the first control step.
}

void EffectOverdrive::updateDrive() {
    const double g = portable::pow(kMaxDrive, static_cast<double>(live_[kDrive]));
    driveGain_ = static_cast<float>(g);
    driveCompensation_ = static_cast<float>(1.0 / std::sqrt(g));
}

void EffectOverdrive::parameterChanged(VstInt32 index) {
    settled_ = false;
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

void EffectOverdrive::resume() {
    filter_ = fxdsp::OverdriveHistory{};
    controlClock_.reset();
    recomputeAll();
}

void EffectOverdrive::recomputeAll() {
    levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
    updateDrive();
    controlStep(false);
}

void EffectOverdrive::controlStep(bool smoothing) {
    const float factor = smoothing ? fxdsp::kControlGlideFactor : fxdsp::kJumpFactor;
    const float before[] = {dry_, wet_, levelLeft_, levelRight_, cutoff_, q_};
    const fxdsp::MixGains mix = fxdsp::mixGains(live_[kMix]);
    fxdsp::glide(dry_, mix.dry, factor);
    fxdsp::glide(wet_, mix.wet, factor);
    fxdsp::glide(levelLeft_, levelTarget_, factor);
    fxdsp::glide(levelRight_, levelTarget_, factor);
    const float cutoffFactor = smoothing ? kCutoffGlideFactor : fxdsp::kJumpFactor;
    fxdsp::glide(cutoff_, live_[kFilterFrequency], cutoffFactor);
    fxdsp::glide(q_, live_[kFilterQ], cutoffFactor);
    const float after[] = {dry_, wet_, levelLeft_, levelRight_, cutoff_, q_};
    // A gliding step that changed nothing changes nothing again until a
    // parameter or the program changes.
    settled_ = smoothing && std::memcmp(before, after, sizeof(before)) == 0;
    const int k = dsp::cutoffTableIndex(cutoff_ * kCutoffSemitonesPerUnit);
    const int h = dsp::qTableIndex(q_);
    const dsp::FilterMode mode = filterModeFor(live_[kFilterType]);
    // Once the glides have landed the indices stay put: skip the two
    // divisions of the design, which would otherwise hold up the filter.
    if (k == designedCutoffIndex_ && h == designedQIndex_ && mode == designedMode_) return;
    settled_ = false;
    coefficients_ = fxdsp::blockBiquad(dsp::designBiquad(tables_, k, h, mode));
    designedCutoffIndex_ = k;
    designedQIndex_ = h;
    designedMode_ = mode;
}

fxdsp::OverdriveRun EffectOverdrive::runSettings() const {
    return {coefficients_, driveGain_, driveCompensation_, dry_, wet_, levelLeft_, levelRight_};
}

// Once the glides have landed, the control steps change nothing: the runs
// between them are then gathered into one render, so the filter's
// recursion runs on without being stored and started again every 16 frames.
// Rendering later changes nothing either: what happens between the runs
// (control steps, MIDI) reads neither the audio nor the filter.
void EffectOverdrive::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    if (inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr) return;
    if (settled_ && midiIdle()) {
        // Every control step of the block would be skipped and every run
        // gathered into one: the block is that one run.
        controlClock_.advance(sampleFrames);
        render(runSettings(), inL, inR, outL, outR, sampleFrames);
        return;
    }
    fxdsp::OverdriveRun gathered{};
    int start = 0, count = 0;
    const auto flush = [&] {
        if (count > 0) render(gathered, inL + start, inR + start, outL + start, outR + start, count);
    };
    fxdsp::runControlledBlock(
        controlClock_, sampleFrames, [this] { return !midiIdle(); },
        [this] {
            if (!settled_) controlStep(true);
        },
        [this] { drainEffectMidiFrame(); },
        [&](int offset, int frames) {
            const fxdsp::OverdriveRun settings = runSettings();
            if (count > 0 && std::memcmp(&settings, &gathered, sizeof(settings)) == 0) {
                count += frames;
                return;
            }
            flush();
            gathered = settings;
            start = offset;
            count = frames;
        });
    flush();
}

void EffectOverdrive::render(const fxdsp::OverdriveRun& run, const float* inL, const float* inR, float* outL,
                             float* outR, int frames) {
    if (wide_)
        fxdsp::renderOverdriveWide(run, filter_, inL, inR, outL, outR, frames);
    else
        fxdsp::renderOverdriveNarrow(run, filter_, inL, inR, outL, outR, frames);
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
