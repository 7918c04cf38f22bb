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
    filter_ = fxdsp::StaggeredFourPoleState{};
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
    coefficients_ = dsp::designBiquad(tables_, k, h, mode);
    designedCutoffIndex_ = k;
    designedQIndex_ = h;
    designedMode_ = mode;
}

EffectOverdrive::RunSettings EffectOverdrive::runSettings() const {
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
    RunSettings gathered{};
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
            const RunSettings settings = runSettings();
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

namespace {

// Everything a run multiplies, compares or masks with, in every lane.
struct RunConstants {
    explicit RunConstants(float gain, float compensation, float dry, float wet, float levelLeft, float levelRight)
        : gain(_mm_set1_ps(gain)),
          compensation(_mm_set1_ps(compensation)),
          largest(_mm_set1_ps(fxdsp::kLargestFedSample)),
          lowest(_mm_set1_ps(-fxdsp::kLargestFedSample)),
          dry(_mm_set1_ps(dry)),
          wet(_mm_set1_ps(wet)),
          levelLeft(_mm_set1_ps(levelLeft)),
          levelRight(_mm_set1_ps(levelRight)) {}
    __m128 gain, compensation, largest, lowest, dry, wet, levelLeft, levelRight;
};

// Drive, square-root soft clip above full scale and level compensation, per
// lane. The clip is continuous with the slope halved at +-1: the clipped
// magnitude is min(|y|, sqrt|y|) (sqrt|y| is below |y| exactly where |y|
// exceeds 1, and rounding keeps that order), with the sign of y put back.
__m128 drive(const RunConstants& k, __m128 in) {
    // The filter's recursion takes only finite, bounded samples: NaN enters
    // as 0 (an ordered compare is false only for NaN), infinities as the
    // largest fed sample.
    const __m128 ordered = _mm_and_ps(in, _mm_cmpord_ps(in, in));
    const __m128 held = _mm_min_ps(_mm_max_ps(ordered, k.lowest), k.largest);
    const __m128 driven = _mm_mul_ps(held, k.gain);
    const __m128 magnitude = fxdsp::absLanes(driven);
    const __m128 sign = _mm_xor_ps(driven, magnitude);
    return _mm_mul_ps(_mm_or_ps(_mm_min_ps(magnitude, _mm_sqrt_ps(magnitude)), sign), k.compensation);
}

// (dry in + wet filtered) level
__m128 mix(__m128 in, __m128 filtered, __m128 dry, __m128 wet, __m128 level) {
    return _mm_mul_ps(_mm_add_ps(_mm_mul_ps(in, dry), _mm_mul_ps(filtered, wet)), level);
}

// Frames rendered at once: bounds the buffer of filtered frames.
constexpr int kMaxRun = 256;

}  // namespace

// Four frames at a time: the drive of both channels in lanes, the four
// filter steps, then the crossfade and level of the four frames before in
// lanes again (their filtered values are complete two steps later, the
// second sections running two frames behind). The filter's recursion is a
// dependency chain that leaves most of the processor idle; the drive and
// crossfade are independent work that the processor overlaps with it, which
// it can only do when they sit close to the chain in the instruction stream.
// Every input frame is read before its output is written, so the module may
// run in place.
void EffectOverdrive::render(const RunSettings& settings, const float* inL, const float* inR, float* outL,
                             float* outR, int frames) {
    while (frames > kMaxRun) {
        render(settings, inL, inR, outL, outR, kMaxRun);
        inL += kMaxRun;
        inR += kMaxRun;
        outL += kMaxRun;
        outR += kMaxRun;
        frames -= kMaxRun;
    }
    using Coefficients = fxdsp::FourPoleLaneCoefficients;
    const RunConstants k(settings.driveGain, settings.driveCompensation, settings.dry, settings.wet,
                         settings.levelLeft, settings.levelRight);
    const dsp::BiquadCoefficients& now = settings.coefficients;
    // The second sections' coefficients of frame f (-2 and -1: the two
    // frames the previous run still owed).
    const auto coefficientsAt = [&](int f) -> const dsp::BiquadCoefficients& {
        return f >= 0 ? now : filter_.owed[f + 2];
    };
    const Coefficients steady(now, now);
    const Coefficients firstStep(now, coefficientsAt(-2));
    const Coefficients secondStep(now, coefficientsAt(-1));
    fxdsp::StaggeredFourPole filter(filter_);

    // Filtered frames, interleaved: frame f (from -2 on) at 2 (f + 2).
    alignas(16) float filtered[2 * (kMaxRun + 4)];
    const auto mixFour = [&](int m) {
        const __m128 a = _mm_load_ps(filtered + 2 * m + 4);
        const __m128 b = _mm_load_ps(filtered + 2 * m + 8);
        const __m128 l = _mm_loadu_ps(inL + m);
        const __m128 r = _mm_loadu_ps(inR + m);
        _mm_storeu_ps(outL + m, mix(l, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), k.dry, k.wet, k.levelLeft));
        _mm_storeu_ps(outR + m, mix(r, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)), k.dry, k.wet, k.levelRight));
    };
    const auto group = [&](int n, const Coefficients& first, const Coefficients& second) {
        const __m128 drivenL = drive(k, _mm_loadu_ps(inL + n));
        const __m128 drivenR = drive(k, _mm_loadu_ps(inR + n));
        const __m128 early = _mm_unpacklo_ps(drivenL, drivenR);  // l0 r0 l1 r1
        const __m128 late = _mm_unpackhi_ps(drivenL, drivenR);   // l2 r2 l3 r3
        const __m128 y0 = filter.step(first, early);
        const __m128 y1 = filter.stepHigh(second, early);
        const __m128 y2 = filter.step(steady, late);
        const __m128 y3 = filter.stepHigh(steady, late);
        _mm_store_ps(filtered + 2 * n, _mm_movehl_ps(y1, y0));  // frames n - 2 and n - 1
        _mm_store_ps(filtered + 2 * n + 4, _mm_movehl_ps(y3, y2));
    };
    int n = 0;
    int mixed = 0;
    if (frames >= 4) {
        group(0, firstStep, secondStep);
        n = 4;
    }
    for (; n + 4 <= frames; n += 4) {
        group(n, steady, steady);
        mixFour(n - 4);
        mixed = n;
    }
    for (; n < frames; ++n) {
        const __m128 driven = drive(k, fxdsp::loadStereo(inL + n, inR + n));
        const __m128 y = filter.step(n == 0 ? firstStep : n == 1 ? secondStep : steady, driven);
        _mm_storeh_pi(reinterpret_cast<__m64*>(filtered + 2 * n), y);
    }
    const dsp::BiquadCoefficients older = coefficientsAt(frames - 2);
    const dsp::BiquadCoefficients last = coefficientsAt(frames - 1);
    _mm_storeu_ps(filtered + 2 * frames, filter.owedFrames(Coefficients(now, older), Coefficients(now, last)));
    filter.save(filter_);
    filter_.owed[0] = older;
    filter_.owed[1] = last;

    for (; mixed + 4 <= frames; mixed += 4) mixFour(mixed);
    const __m128 level = fxdsp::stereoPair(settings.levelLeft, settings.levelRight);
    for (; mixed < frames; ++mixed) {
        const __m128 in = fxdsp::loadStereo(inL + mixed, inR + mixed);
        const __m128 pair = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(filtered + 2 * mixed + 4));
        fxdsp::storeStereo(mix(in, pair, k.dry, k.wet, level), outL + mixed, outR + mixed);
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
