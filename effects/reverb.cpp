#include "effects/reverb.h"

#include <cmath>

#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"

using namespace reverb_tuning;

const ModuleInfo EffectReverb::kInfo{"Reverb (1.31)", "KAVO reverb", vstFourCC('6', 'x', '3', '1'), 2, 2, false};

namespace {

constexpr float kDefaults[EffectReverb::kNumParams] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.5f, 0.0f};

const char* const kNames[EffectReverb::kNumParams] = {"PreDelay", "Size", "Damp",  "LowCut",
                                                      "EarlyRef", "Mix",  "Level", "Mono"};

}  // namespace

EffectReverb::EffectReverb(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParams, kInfo) {
    setParameterDefaults(kDefaults);
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kDefaults, "-");
    setProgram(0);
}

void EffectReverb::setSampleRate(float rate) {
    if (!(rate > 0.0f)) return;  // keeps the coefficients finite
    KavoEffectModule::setSampleRate(rate);
}

void EffectReverb::parameterChanged(VstInt32 index) {
    const float x = fxdsp::unitParam(live_[static_cast<size_t>(index)]);
    switch (index) {
        case kPreDelay:
            targets_.preDelaySamples = static_cast<double>(x) * kLongestPreDelaySeconds * sampleRate;
            break;
        case kSize:
            targets_.roomFeedback = kRoomFeedbackAtZero + kRoomFeedbackRange * x;
            break;
        case kDamp:
            targets_.damping = x;
            break;
        case kLowCut:
            targets_.lowCut = fxdsp::onePoleLowpass(fxdsp::cutoffHz(x), sampleRate);
            break;
        case kEarlyRef:
            targets_.earlyGain = kEarlyGainRange * x;
            break;
        case kMix:
        case kLevel:
            targets_.mix = fxdsp::unitParam(live_[kMix]);
            targets_.level = fxdsp::levelGain(live_[kLevel]);
            break;
        default:  // Mono acts in the audio loop
            break;
    }
}

void EffectReverb::resume() {
    engine_.clearSignal();
    clock_.reset();
    recomputeAll();
}

void EffectReverb::recomputeAll() {
    for (VstInt32 i = 0; i < kNumParams; ++i) parameterChanged(i);
    engine_.smooth(targets_, fxdsp::kJumpFactor);
}

void EffectReverb::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    if (inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr) return;

    engine_.beginBlock();
    fxdsp::runControlledBlock(
        clock_, frames, [this] { return !midiIdle(); },
        [this] { engine_.smooth(targets_, fxdsp::kControlGlideFactor); }, [this] { drainEffectMidiFrame(); },
        [&](int offset, int count) {
            engine_.queue(inL + offset, inR + offset, outL + offset, outR + offset, count,
                          fxdsp::switchOn(live_[kMono]));
        });
    engine_.flush();
}

void EffectReverb::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParams) {
        text[0] = 0;
        return;
    }
    fxdsp::displayText(text, kNames[index]);
}

void EffectReverb::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParams) {
        text[0] = 0;
        return;
    }
    const float x = live_[static_cast<size_t>(index)];
    switch (index) {
        case kPreDelay:
            fxdsp::displayTruncated(text, kLongestPreDelayMs * x, "ms");
            break;
        case kSize:
            fxdsp::displayFixed(text, fxdsp::expCurve(1.0, kRoomAreaRange, x), 1, "m2");
            break;
        case kDamp:
        case kEarlyRef:
            fxdsp::displayFixed(text, x, 2);
            break;
        case kLowCut:
            fxdsp::displayTruncated(text, fxdsp::expCurve(10.0, 2000.0, x), "Hz");
            break;
        case kMix:
            fxdsp::displayFixed(text, 2.0 * x - 1.0, 2);
            break;
        case kLevel:
            fxdsp::displayFixed(text, fxdsp::levelDisplayDb(x), 1, "dB");
            break;
        case kMono:
            fxdsp::displayOnOff(text, fxdsp::switchDisplaysOn(x));
            break;
        default:
            text[0] = 0;
            break;
    }
}
