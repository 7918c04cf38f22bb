#include "effects/filter.h"

#include <cmath>
#include <cstring>

#include "common/portable_math.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"
#include "effects/dsp/signal_floor.h"

namespace {

constexpr ModuleInfo kFilterInfo{"Filter (1.2)", "KAVO Filter", vstFourCC('9', '6', 'r', '5'), 2, 2, false};

constexpr float kNewRecord[EffectFilter::kNumParameters] = {
    0.0f,  // FilterType: low pass
    0.5f,  // FilterFrequency
    0.5f,  // FilterQ
    0.0f, 0.0f, 0.0f, 0.0f,
    0.5f,  // EnvDepth: no envelope
    0.0f,  // EnvStep 0
    0.0f,
    0.5f,  // LfoRate
    0.0f, 0.0f,
    0.5f,  // Mix
    0.5f,  // Level: unity
    0.0f};
constexpr const char* kNewRecordName = "-";
constexpr const char* kParameterNames[EffectFilter::kNumParameters] = {
    "FilterType", "FilterFrequency", "FilterQ", "LfoFrequency", "LfoQ",     "EnvAttack", "EnvRelease", "EnvDepth",
    "EnvStep",    "LfoWave",         "LfoRate", "LfoDepth",     "LfoSync",  "Mix",       "Level",      "LfoLevel"};

// EnvStep: trunc(5.2x) gives six steps over 0..1 so that 1.0 lands on 5.
constexpr int kMaxEnvStep = 5;
constexpr float kEnvStepScale = 5.2f;
// Sixteenth-number masks by step: every sixteenth, every 2nd, 4th, 8th,
// 16th, and step 5 again every sixteenth.
constexpr int64_t kEnvStepMask[kMaxEnvStep + 1] = {0, 1, 3, 7, 15, 0};
constexpr const char* kEnvStepText[kMaxEnvStep + 1] = {"1/1", "1/2", "1/4", "1/8", "1/16", "1/16"};

// LFO frequency 500^x / 25 Hz: 0.04 .. 20 Hz.
constexpr double kLfoRateBase = 500.0;
constexpr double kLfoRateDivisor = 25.0;
// LFO depth 400^x / 200 (up to 2), off at the bottom of the range.
constexpr double kLfoDepthBase = 400.0;
constexpr double kLfoDepthDivisor = 200.0;
constexpr float kLfoDepthOffBelow = 0.01f;
// The LFO sweeps the cutoff by up to 8^depth.
constexpr double kLfoCutoffBase = 8.0;

int stepNumberFor(float value) {
    const float s = kEnvStepScale * value;
    if (!(s > 0.0f)) return 0;
    if (s >= static_cast<float>(kMaxEnvStep)) return kMaxEnvStep;
    return static_cast<int>(s);
}

// A stored step number from a chunk or record, made safe to index with.
int storedStepNumber(float stored) {
    if (!(stored > 0.0f)) return 0;
    if (stored >= static_cast<float>(kMaxEnvStep)) return kMaxEnvStep;
    return static_cast<int>(stored);
}

}  // namespace

EffectFilter::EffectFilter(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParameters, kFilterInfo),
      tables_(dsp::dspTables()),
      stage_(tables_) {
    setParameterDefaults(kNewRecord);
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kNewRecord, kNewRecordName);
    std::memcpy(live_.data(), kNewRecord, sizeof(kNewRecord));
    recomputeAll();
}

int EffectFilter::envStep() const { return storedStepNumber(live_[kEnvStep]); }

void EffectFilter::setParameter(VstInt32 index, float value) {
    if (index != kEnvStep) return KavoEffectModule::setParameter(index, value);
    // The store holds the step number, not the 0..1 value.
    storeValue(kEnvStep, static_cast<float>(stepNumberFor(repairedUnitValue(value, 0.0f))));
}

float EffectFilter::repairedStoredValue(VstInt32 index, float value) {
    if (index == kEnvStep) return static_cast<float>(storedStepNumber(value));
    return KavoEffectModule::repairedStoredValue(index, value);
}

float EffectFilter::getParameter(VstInt32 index) {
    if (index == kEnvStep) return live_[kEnvStep] / static_cast<float>(kMaxEnvStep);
    return KavoEffectModule::getParameter(index);
}

void EffectFilter::updateLevelTarget() { levelTarget_ = static_cast<float>(fxdsp::levelGain(live_[kLevel])); }

void EffectFilter::updateEnvelopeRates() {
    const double rate = sampleRate;
    // Both are per control step: the attack rises by 1 / (1000^x * 0.0001 *
    // rate), the release falls to 1 % in 1000^x * 0.001 * rate steps.
    const double attackSteps = portable::pow(1000.0, static_cast<double>(fxdsp::unitParam(live_[kEnvAttack]))) * 0.0001 * rate;
    const double releaseSteps =
        portable::pow(1000.0, static_cast<double>(fxdsp::unitParam(live_[kEnvRelease]))) * 0.001 * rate;
    attackIncrement_ = attackSteps > 0.0 ? static_cast<float>(1.0 / attackSteps) : 1.0f;
    releaseFactor_ = releaseSteps > 0.0 ? static_cast<float>(portable::exp(portable::log(0.01) / releaseSteps)) : 0.0f;
}

void EffectFilter::updateLfoRate() {
    const double rate = sampleRate;
    const double hz = portable::pow(kLfoRateBase, static_cast<double>(fxdsp::unitParam(live_[kLfoRate]))) / kLfoRateDivisor;
    // Table steps per control step (16 samples).
    const double increment = rate > 0.0 ? hz * dsp::kTableSize / rate * fxdsp::kControlPeriodSamples : 0.0;
    lfo_.setIncrement(static_cast<float>(increment));
}

void EffectFilter::updateLfoDepth() {
    const float x = live_[kLfoDepth];
    lfo_.setDepth(x > kLfoDepthOffBelow
                      ? static_cast<float>(portable::pow(kLfoDepthBase, static_cast<double>(fxdsp::unitParam(x))) /
                                           kLfoDepthDivisor)
                      : 0.0f);
}

void EffectFilter::parameterChanged(VstInt32 index) {
    switch (index) {
        case kEnvAttack:
        case kEnvRelease:
        case kEnvDepth:
            updateEnvelopeRates();
            break;
        case kLfoRate:
            updateLfoRate();
            break;
        case kLfoDepth:
            updateLfoDepth();
            break;
        case kMix:
        case kLevel:
            updateLevelTarget();
            break;
        default:
            break;  // the control step reads the rest
    }
}

void EffectFilter::resume() {
    stage_.clearSignal();
    envelope_ = FilterEnvelope{};
    lfo_.clearPhase();
    random_ = dsp::Random15{};
    controlClock_.reset();
    recomputeAll();
}

void EffectFilter::recomputeAll() {
    live_[kEnvStep] = static_cast<float>(envStep());
    updateLevelTarget();
    updateEnvelopeRates();
    updateLfoDepth();
    updateLfoRate();
    controlStep(false);
}

void EffectFilter::controlStep(bool smoothing) {
    const float factor = smoothing ? fxdsp::kControlGlideFactor : fxdsp::kJumpFactor;
    // The level follows the LFO of the previous step.
    float level = levelTarget_;
    if (live_[kLfoLevel] == 1.0f) level = levelTarget_ * (1.0f - (lfo_.output() + 1.0f) * 0.5f);
    stage_.glideGains(live_[kMix], level, level, factor);

    lfo_.step(FilterLfo::waveFor(live_[kLfoWave]), live_[kLfoSync] != 1.0f, tables_, random_);

    float cutoff = live_[kFilterFrequency];
    if (live_[kLfoFrequency] == 1.0f)
        cutoff *= static_cast<float>(portable::pow(kLfoCutoffBase, static_cast<double>(lfo_.output())));
    stage_.glideCutoff(cutoff, live_[kFilterQ], smoothing);
    const float envelopeAmount = 2.0f * live_[kEnvDepth] - 1.0f;
    stage_.design(envelopeAmount * envelope_.level(), filterModeFor(live_[kFilterType]));

    envelope_.step(attackIncrement_, releaseFactor_);
}

void EffectFilter::fireTrigger() {
    envelope_.trigger();
    if (fxdsp::switchOn(live_[kLfoSync])) lfo_.restart(live_[kLfoWave] == 1.0f, random_);
}

// The block in runs of frames between events: a run starts where a trigger
// fires, a control step is due or MIDI is waiting (then it is one frame
// long), and the frames of a run share coefficients and gains. The events of
// a run's first frame come in the per-frame order: triggers, control step,
// MIDI. None of them touches the sections' histories, which stay in
// registers for the whole block.
template <bool kAudio>
void EffectFilter::runFrames(const float* inL, const float* inR, float* outL, float* outR, VstInt32 sampleFrames) {
    if (frameByFrame_) return runFrameByFrame<kAudio>(inL, inR, outL, outR, sampleFrames);
    triggers_.build(getTimeInfo(kVstTempoValid | kVstPpqPosValid), sampleFrames, kEnvStepMask[envStep()]);
    StereoFourPoleLanes histories{};
    if constexpr (kAudio) histories = stage_.loadHistories();
    int nextTrigger = 0;
    VstInt32 i = 0;
    while (i < sampleFrames) {
        while (nextTrigger < triggers_.count() && triggers_.fireFrame(nextTrigger) <= i) {
            fireTrigger();
            ++nextTrigger;
        }
        if (controlClock_.tick()) controlStep(true);
        VstInt32 count = 1;
        if (!midiIdle()) {
            drainEffectMidiFrame();
        } else {
            VstInt32 end = sampleFrames;
            const VstInt32 periodEnd = i + 1 + controlClock_.samplesLeftInPeriod();
            if (periodEnd < end) end = periodEnd;
            if (nextTrigger < triggers_.count() && triggers_.fireFrame(nextTrigger) < end)
                end = triggers_.fireFrame(nextTrigger);
            count = end - i;
            controlClock_.skip(count - 1);
        }
        if constexpr (kAudio) stage_.processRun(histories, inL + i, inR + i, outL + i, outR + i, count);
        i += count;
    }
    if constexpr (kAudio) stage_.storeHistories(histories);
}

template <bool kAudio>
void EffectFilter::runFrameByFrame(const float* inL, const float* inR, float* outL, float* outR,
                                   VstInt32 sampleFrames) {
    triggers_.build(getTimeInfo(kVstTempoValid | kVstPpqPosValid), sampleFrames, kEnvStepMask[envStep()]);
    int nextTrigger = 0;
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        while (nextTrigger < triggers_.count() && triggers_.fireFrame(nextTrigger) <= i) {
            fireTrigger();
            ++nextTrigger;
        }
        if (controlClock_.tick()) controlStep(true);
        drainEffectMidiFrame();
        if constexpr (kAudio) {
            // The filter's recursion takes only finite, bounded samples.
            const float l = fxdsp::fedSample(inL[i]);
            const float r = fxdsp::fedSample(inR[i]);
            stage_.process(l, r, l, r, outL[i], outR[i]);
        }
    }
}

void EffectFilter::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    runFrames<true>(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

// Envelope triggers, control steps (envelope, LFO, the filter's design) and
// program changes run on; the filter's sections keep their (silent) state.
bool EffectFilter::rest(int frames) {
    runFrames<false>(nullptr, nullptr, nullptr, nullptr, frames);
    return true;
}

void EffectFilter::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    fxdsp::displayText(text, kParameterNames[index]);
}

void EffectFilter::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    const float x = live_[static_cast<size_t>(index)];
    const double xd = x;
    switch (index) {
        case kFilterType:
            fxdsp::displayText(text, filterModeText(x));
            break;
        case kFilterFrequency:
            fxdsp::displayTruncated(text, 10.0 * std::pow(1600.0, xd), "Hz");
            break;
        case kFilterQ:
        case kLfoDepth:
            fxdsp::displayFixed(text, xd, 2);
            break;
        case kLfoFrequency:
        case kLfoQ:
        case kLfoSync:
        case kLfoLevel:
            fxdsp::displayOnOff(text, fxdsp::switchDisplaysOn(x));
            break;
        case kEnvAttack:
            fxdsp::displayTruncated(text, 2.0 * std::pow(1000.0, xd), "ms");
            break;
        case kEnvRelease:
            fxdsp::displayTruncated(text, 10.0 * std::pow(1000.0, xd), "ms");
            break;
        case kEnvDepth:
        case kMix:
            fxdsp::displayFixed(text, 2.0 * xd - 1.0, 2);
            break;
        case kEnvStep:
            fxdsp::displayText(text, kEnvStepText[envStep()]);
            break;
        case kLfoWave:
            fxdsp::displayText(text, x < 0.2f   ? "Sin"
                                     : x < 0.4f ? "Square"
                                     : x < 0.6f ? "Saw Down"
                                     : x < 0.8f ? "Saw Up"
                                                : "S/H");
            break;
        case kLfoRate:
            fxdsp::displayFixed(text, kLfoRateDivisor / std::pow(kLfoRateBase, xd), 2, "s");
            break;
        case kLevel:
            fxdsp::displayFixed(text, fxdsp::levelDisplayDb(x), 1, "dB");
            break;
        default:
            *text = 0;
            break;
    }
}

VstInt32 EffectFilter::getChunk(void** data, bool isPreset) {
    if (!isPreset) return KavoEffectModule::getChunk(data, isPreset);  // records hold step numbers already
    char* out = new char[kPresetBytes];
    std::memcpy(out, live_.data(), kPresetBytes);  // EnvStep as its step number
    *data = out;                                   // the caller owns the buffer
    return kPresetBytes;
}

VstInt32 EffectFilter::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!isPreset) return KavoEffectModule::setChunk(data, byteSize, isPreset);
    if (data == nullptr || byteSize != kPresetBytes) return 0;
    const auto* bytes = static_cast<const char*>(data);
    for (VstInt32 i = 0; i < kNumParameters; ++i) {
        float v;
        std::memcpy(&v, bytes + 4 * i, sizeof(v));
        if (i == kEnvStep) {
            // The step number itself, not a 0..1 value.
            storeValue(kEnvStep, repairedStoredValue(kEnvStep, v));
        } else {
            setParameter(i, v);
        }
    }
    return 1;
}
