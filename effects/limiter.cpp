#include "effects/limiter.h"

#include <cmath>
#include <cstring>

#include "common/portable_math.h"
#include "effects/dsp/param_display.h"

namespace {

constexpr ModuleInfo kLimiterInfo{"Limiter (1.1)", "KAVO Limiter", vstFourCC('z', '3', 't', '0'), 2, 2, false};

constexpr float kNewRecord[EffectLimiter::kNumParameters] = {1.0f, 1.0f, 0.5f, 1.0f, 0.5f, 0.0f};
constexpr const char* kNewRecordName = "-";
// Before the first program change the module runs with these.
constexpr float kInitialLive[EffectLimiter::kNumParameters] = {0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f};
constexpr const char* kParameterNames[EffectLimiter::kNumParameters] = {"Threshold", "Lookahead", "Attack",
                                                                         "Release",   "Level",     "Stereo"};
// What the live Lookahead always reads: 0.5 of 5 ms.
constexpr float kFixedLookahead = 0.5f;
constexpr double kLookaheadSeconds = 0.005;

double sixUnitsPerDoubling(double linear) { return 6.0 * std::log2(linear); }

}  // namespace

EffectLimiter::EffectLimiter(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kReportedPrograms, kNumParameters, kLimiterInfo) {
    setParameterDefaults(kNewRecord);
    // The store holds more records than the host is told of.
    programValues_.assign(static_cast<size_t>(kHeldPrograms) * kNumParameters, 0.0f);
    programNames_.assign(static_cast<size_t>(kHeldPrograms) * kVstMaxProgNameLen, 0);
    for (VstInt32 p = 0; p < kHeldPrograms; ++p) {
        std::memcpy(programValues(p), kNewRecord, sizeof(kNewRecord));
        copyProgramName(programNameField(p), kNewRecordName);
    }
    std::memcpy(live_.data(), kInitialLive, sizeof(kInitialLive));
    recomputeAll();
}

void EffectLimiter::resume() {
    core_.clearSignal();
    recomputeAll();
}

void EffectLimiter::recomputeAll() {
    live_[kLookahead] = kFixedLookahead;
    const double rate = sampleRate;
    const double lookahead = rate * kFixedLookahead * kLookaheadSeconds;
    int lookaheadSamples = 0;
    if (lookahead > 0.0) lookaheadSamples = lookahead < LimiterCore::kRingMask ? static_cast<int>(lookahead)
                                                                               : LimiterCore::kRingMask;
    core_.setLookaheadSamples(lookaheadSamples);
    core_.setDrive(static_cast<float>(portable::pow(10.0, 1.0 - live_[kThreshold])));
    // The follower falls to 1 % within 20 ms .. 2 s.
    const double releaseSamples = 20.0 * portable::pow(100.0, static_cast<double>(live_[kRelease])) * rate * 0.001;
    core_.setReleaseCoefficient(releaseSamples > 0.0 ? static_cast<float>(portable::pow(0.01, 1.0 / releaseSamples))
                                                     : 0.0f);
}

void EffectLimiter::parameterChanged(VstInt32 /*index*/) { recomputeAll(); }

void EffectLimiter::setProgram(VstInt32 program) {
    if (program < 0 || program >= kHeldPrograms) return;
    curProgram = program;
    std::memcpy(live_.data(), programValues(program), sizeof(float) * kNumParameters);
    recomputeAll();
}

bool EffectLimiter::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (index < 0 || index >= kHeldPrograms) return false;
    copyProgramName(text, programNameField(index));
    return true;
}

bool EffectLimiter::copyProgram(VstInt32 destination) {
    if (destination < 0 || destination >= kHeldPrograms) return false;
    if (destination == curProgram) return true;
    std::memcpy(programValues(destination), programValues(curProgram), sizeof(float) * kNumParameters);
    std::memcpy(programNameField(destination), programNameField(curProgram), kVstMaxProgNameLen);
    return true;
}

VstInt32 EffectLimiter::processEvents(VstEvents* /*events*/) { return 1; }

void EffectLimiter::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    core_.processRun(inL, inR, outL, outR, sampleFrames);
}

void EffectLimiter::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    fxdsp::displayText(text, kParameterNames[index]);
}

void EffectLimiter::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    const double x = live_[static_cast<size_t>(index)];
    switch (index) {
        case kThreshold:
            fxdsp::displayFixed(text, sixUnitsPerDoubling(std::pow(10.0, 2.0 * x - 2.0)), 1, "dB");
            break;
        case kLookahead:
            fxdsp::displayFixed(text, 5.0 * x, 1, "ms");
            break;
        case kAttack:
            fxdsp::displayFixed(text, std::pow(10.0, 2.0 * x) / 44.1, 2, "ms");
            break;
        case kRelease:
            fxdsp::displayFixed(text, std::pow(10.0, 2.0 + 3.0 * x) / 44100.0, 3, "s");
            break;
        case kLevel:
            fxdsp::displayFixed(text, sixUnitsPerDoubling(std::pow(10.0, 2.0 * x - 1.0)) + 0.000001, 1, "dB");
            break;
        default:
            *text = 0;  // Stereo has no text
            break;
    }
}
