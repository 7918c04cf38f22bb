#include "effects/delay.h"

#include <cmath>

#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"

const ModuleInfo EffectDelay::kInfo{"Delay (2.1)", "KAVO delay", vstFourCC('8', '1', '0', '3'), 2, 2, false};

namespace {

// Free delay 0.05 s .. 2.5 s.
constexpr double kShortestFreeSeconds = 0.05;
constexpr double kFreeRangeRatio = 50.0;
// Tempo lock: 1 .. 16 sixteenth notes; a sixteenth lasts 15 / tempo seconds.
constexpr double kStepsAboveOne = 15.0;
constexpr double kSecondsPerStepTimesBpm = 15.0;
// Tempo when the host gives none.
constexpr double kDefaultTempoBpm = 120.0;
// Feedback 0 still lets one echo through at -80 dB per repeat, as the
// original module did; patches rely on hearing the first echo.
constexpr float kLeastFeedback = 0.0001f;

constexpr float kDefaults[EffectDelay::kNumParams] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                                       0.0f, 1.0f, 0.5f, 0.5f, 0.0f, 0.5f};

const char* const kNames[EffectDelay::kNumParams] = {"Time",   "Step",   "Step",    "Feedback", "PingPong", "Filter",
                                                     "LowCut", "HiCut",  "Mix",     "Pan",      "Mono",     "Level"};

double stepCount(float x) { return 1.0 - std::trunc(-kStepsAboveOne * static_cast<double>(x)); }

// The tempo the lock follows: the host's, truncated to whole beats per
// minute, when it reports one; 120 otherwise. A reported tempo below 1 BPM
// (or not a number) is treated as missing: it would make the step infinite.
double lockTempo(const VstTimeInfo* timeInfo) {
    if (timeInfo == nullptr || (timeInfo->flags & kVstTempoValid) == 0) return kDefaultTempoBpm;
    const double whole = std::trunc(timeInfo->tempo);
    if (!(whole >= 1.0) || std::isinf(whole)) return kDefaultTempoBpm;
    return whole;
}

}  // namespace

EffectDelay::EffectDelay(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParams, kInfo) {
    setParameterDefaults(kDefaults);
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kDefaults, "-");
    setProgram(0);
}

void EffectDelay::setSampleRate(float rate) {
    // 0 or a negative rate would make every coefficient meaningless.
    if (!(rate > 0.0f)) return;
    KavoEffectModule::setSampleRate(rate);
}

double EffectDelay::computeTargetDelay(const VstTimeInfo* timeInfo) {
    const double rate = static_cast<double>(sampleRate);
    double d;
    if (!fxdsp::switchOn(live_[kTempoLock])) {
        d = fxdsp::expCurve(kShortestFreeSeconds, kFreeRangeRatio, fxdsp::unitParam(live_[kTime])) * rate;
    } else {
        storedTempo_ = lockTempo(timeInfo);
        const double n = stepCount(fxdsp::unitParam(live_[kStep]));
        d = std::trunc(n * rate * (kSecondsPerStepTimesBpm / storedTempo_));
    }
    // The lines hold 524,288 samples; a longer delay (a slow tempo at a high
    // rate, or 2.5 s above 209 kHz) is held at the longest one rather than
    // wrapping round to a short, unrelated delay.
    if (d > EchoEngine::kLongestDelaySamples) d = EchoEngine::kLongestDelaySamples;
    if (!(d >= EchoEngine::kShortestDelaySamples)) d = EchoEngine::kShortestDelaySamples;
    return d;
}

void EffectDelay::parameterChanged(VstInt32 index) {
    const float x = fxdsp::unitParam(live_[static_cast<size_t>(index)]);
    const double rate = static_cast<double>(sampleRate);
    switch (index) {
        case kTime:
        case kStep:
        case kTempoLock:
            targets_.delaySamples = computeTargetDelay(fxdsp::switchOn(live_[kTempoLock]) ? getTimeInfo(kVstTempoValid)
                                                                                          : nullptr);
            break;
        case kFeedback:
            targets_.feedback = x == 0.0f ? kLeastFeedback : x;
            break;
        case kLowCut:
            targets_.lowCut = fxdsp::onePoleLowpass(fxdsp::cutoffHz(x), rate);
            break;
        case kHiCut:
            targets_.hiCut = fxdsp::onePoleLowpass(fxdsp::cutoffHz(x), rate);
            break;
        case kMix:
        case kPan:
        case kLevel:
            targets_.mix = fxdsp::unitParam(live_[kMix]);
            targets_.pan = fxdsp::unitParam(live_[kPan]);
            targets_.level = fxdsp::levelGain(live_[kLevel]);
            break;
        default:  // the switches act in the audio loop
            break;
    }
}

void EffectDelay::resume() {
    engine_.clearSignal();
    clock_.reset();
    recomputeAll();
}

void EffectDelay::recomputeAll() {
    parameterChanged(kTime);
    parameterChanged(kFeedback);
    parameterChanged(kLowCut);
    parameterChanged(kHiCut);
    parameterChanged(kLevel);
    // Everything but the delay time jumps to its target; the delay glides.
    engine_.smooth(targets_, fxdsp::switchOn(live_[kFilter]), fxdsp::kJumpFactor);
}

EchoSwitches EffectDelay::currentSwitches() const {
    return {fxdsp::switchOn(live_[kMono]), fxdsp::switchOn(live_[kPingPong]), fxdsp::switchOn(live_[kFilter])};
}

void EffectDelay::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    if (inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr) return;

    // Follow the host tempo: a transport change, or a tempo other than the
    // one the lock last used, recomputes the target (a fractional tempo does
    // so every block, harmlessly: the result is the same).
    const VstTimeInfo* timeInfo = getTimeInfo(kVstTempoValid | kVstTransportChanged);
    if (timeInfo != nullptr && ((timeInfo->flags & kVstTransportChanged) != 0 ||
                                ((timeInfo->flags & kVstTempoValid) != 0 && timeInfo->tempo != storedTempo_)))
        targets_.delaySamples = computeTargetDelay(timeInfo);

    fxdsp::runControlledBlock(
        clock_, frames, [this] { return !midiIdle(); },
        [this] { engine_.smooth(targets_, fxdsp::switchOn(live_[kFilter]), fxdsp::kControlGlideFactor); },
        [this] { drainEffectMidiFrame(); },
        [&](int offset, int count) {
            engine_.render(inL + offset, inR + offset, outL + offset, outR + offset, count, targets_.delaySamples,
                           currentSwitches());
        });
}

void EffectDelay::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParams) {
        text[0] = 0;
        return;
    }
    fxdsp::displayText(text, kNames[index]);
}

void EffectDelay::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParams) {
        text[0] = 0;
        return;
    }
    const float x = live_[static_cast<size_t>(index)];
    switch (index) {
        case kTime:
            fxdsp::displayFixed(text, fxdsp::expCurve(kShortestFreeSeconds, kFreeRangeRatio, x), 3, "\"");
            break;
        case kStep:
            fxdsp::displayTruncated(text, stepCount(x));
            break;
        case kTempoLock:
        case kPingPong:
        case kFilter:
        case kMono:
            fxdsp::displayOnOff(text, fxdsp::switchDisplaysOn(x));
            break;
        case kFeedback:
            fxdsp::displayFixed(text, x, 2);
            break;
        case kLowCut:
        case kHiCut:
            fxdsp::displayTruncated(text, fxdsp::expCurve(10.0, 2000.0, x), "Hz");
            break;
        case kMix:
        case kPan:
            fxdsp::displayFixed(text, 2.0 * x - 1.0, 2);
            break;
        case kLevel:
            fxdsp::displayFixed(text, fxdsp::levelDisplayDb(x), 1, "dB");
            break;
        default:
            text[0] = 0;
            break;
    }
}
