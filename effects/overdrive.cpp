#include "effects/overdrive.h"

#include <cmath>
#include <cstring>

#include "common/portable_math.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"
#include "effects/dsp/signal_floor.h"
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
    filter_ = fxdsp::StereoFourPoleState{};
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
    const dsp::FilterMode mode = filterModeFor(live_[kFilterType]);
    // Once the glides have landed the indices stay put: skip the two
    // divisions of the design, which would otherwise hold up the filter.
    if (k == designedCutoffIndex_ && h == designedQIndex_ && mode == designedMode_) return;
    coefficients_ = dsp::designBiquad(tables_, k, h, mode);
    designedCutoffIndex_ = k;
    designedQIndex_ = h;
    designedMode_ = mode;
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

namespace {

// Drive, square-root soft clip above full scale and level compensation, per
// lane. The clip is continuous with the slope halved at +-1; sqrt(|y|) with
// the sign of y is -sqrt(-y) below -1.
struct DriveLanes {
    __m128 gain, compensation, one, largest;
    __m128 operator()(__m128 in) const {
        // The filter's recursion takes only finite, bounded samples: NaN
        // enters as 0 (an ordered compare is false only for NaN), infinities
        // as the largest fed sample.
        const __m128 ordered = _mm_and_ps(in, _mm_cmpord_ps(in, in));
        const __m128 held = _mm_min_ps(_mm_max_ps(ordered, _mm_sub_ps(_mm_setzero_ps(), largest)), largest);
        const __m128 driven = _mm_mul_ps(held, gain);
        const __m128 magnitude = fxdsp::absLanes(driven);
        const __m128 bent = _mm_or_ps(_mm_sqrt_ps(magnitude), fxdsp::signLanes(driven));
        return _mm_mul_ps(fxdsp::selectLanes(_mm_cmpgt_ps(magnitude, one), bent, driven), compensation);
    }
};

}  // namespace

// In three passes over the run: the drive four frames at a time per channel,
// the filter frame by frame with both channels in one register (interleaved),
// the crossfade and level four frames at a time again. The filter's
// recursion is a dependency chain that leaves most of the processor idle;
// the passes around it are independent work that overlaps with it. Every
// input of the run is read before its outputs are written, so the module may
// run in place.
void EffectOverdrive::render(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    constexpr int kMaxRun = fxdsp::kControlPeriodSamples;
    while (frames > kMaxRun) {  // the block runner never asks for more
        render(inL, inR, outL, outR, kMaxRun);
        inL += kMaxRun;
        inR += kMaxRun;
        outL += kMaxRun;
        outR += kMaxRun;
        frames -= kMaxRun;
    }
    alignas(16) float pairs[2 * kMaxRun];
    const DriveLanes drive{_mm_set1_ps(driveGain_), _mm_set1_ps(driveCompensation_), _mm_set1_ps(1.0f),
                           _mm_set1_ps(fxdsp::kLargestFedSample)};
    int n = 0;
    for (; n + 4 <= frames; n += 4) {
        const __m128 l = drive(_mm_loadu_ps(inL + n));
        const __m128 r = drive(_mm_loadu_ps(inR + n));
        _mm_store_ps(pairs + 2 * n, _mm_unpacklo_ps(l, r));
        _mm_store_ps(pairs + 2 * n + 4, _mm_unpackhi_ps(l, r));
    }
    for (; n < frames; ++n)
        _mm_storel_pi(reinterpret_cast<__m64*>(pairs + 2 * n), drive(fxdsp::loadStereo(inL + n, inR + n)));

    fxdsp::fourPoleStereoRun(coefficients_, filter_, pairs, frames);

    const __m128 dry = _mm_set1_ps(dry_);
    const __m128 wet = _mm_set1_ps(wet_);
    const __m128 levelLeft = _mm_set1_ps(levelLeft_);
    const __m128 levelRight = _mm_set1_ps(levelRight_);
    for (n = 0; n + 4 <= frames; n += 4) {
        const __m128 a = _mm_load_ps(pairs + 2 * n);
        const __m128 b = _mm_load_ps(pairs + 2 * n + 4);
        const __m128 filteredL = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 filteredR = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 l = _mm_loadu_ps(inL + n);
        const __m128 r = _mm_loadu_ps(inR + n);
        _mm_storeu_ps(outL + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(l, dry), _mm_mul_ps(filteredL, wet)), levelLeft));
        _mm_storeu_ps(outR + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(r, dry), _mm_mul_ps(filteredR, wet)), levelRight));
    }
    const __m128 level = fxdsp::stereoPair(levelLeft_, levelRight_);
    for (; n < frames; ++n) {
        const __m128 in = fxdsp::loadStereo(inL + n, inR + n);
        const __m128 filtered = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(pairs + 2 * n));
        fxdsp::storeStereo(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(in, dry), _mm_mul_ps(filtered, wet)), level), outL + n,
                           outR + n);
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
