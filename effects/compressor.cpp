#include "effects/compressor.h"

#include <cmath>
#include <cstring>

#include "common/portable_math.h"
#include "effects/dsp/param_display.h"
#include "effects/dsp/smoothing.h"
#include "modules/chunk_fields.h"

using chunk_fields::readFloat;
using chunk_fields::writeFloat;

namespace {

constexpr ModuleInfo kCompressorInfo{"Compressor (1.31)", "KAVO compressor", vstFourCC('4', '9', '4', '4'), 2, 2,
                                     false};

// 2^10: make-up beyond +60 units would only amplify the noise floor.
constexpr float kMaxMakeUpGain = 1024.0f;
// Values of a fresh program: everything at 0 except an output level of 0 dB.
constexpr float kNewRecord[EffectCompressor::kNumParameters] = {0, 0, 0, 0, 0, 0, 0.5f};
constexpr const char* kNewRecordName = "--------";
constexpr const char* kParameterNames[EffectCompressor::kNumParameters] = {
    "Threshold", "Lookahead", "Ratio", "Attack", "Release", "Knee", "Level"};

float thresholdUnits(float x) { return 60.0f * x - 60.0f; }
float outputLevelUnits(float x) { return 30.0f * x - 15.0f; }
float kneeUnits(float x) { return 24.0f * x; }
// From 0.99 up the ratio is "infinite": 1000:1 turns the compressor into a
// limiter.
bool ratioIsInfinite(float x) { return x >= 0.99f; }
float ratioFor(float x) { return ratioIsInfinite(x) ? 1000.0f : static_cast<float>(portable::pow(52.0, static_cast<double>(x))); }
double attackSeconds(float x) { return 0.0005 * portable::pow(1000.0, static_cast<double>(x)); }
double releaseSeconds(float x) { return 0.02 * portable::pow(500.0, static_cast<double>(x)); }
float makeUpGainFor(float levelUnits, float threshold) {
    const float m = static_cast<float>(portable::exp2((levelUnits - threshold) / 6.0));
    return m > kMaxMakeUpGain ? kMaxMakeUpGain : m;
}
float onePoleCoefficient(double seconds, double rate) {
    const double samples = seconds * rate;
    if (!(samples > 0.0)) return 0.0f;
    return static_cast<float>(portable::exp(-1.0 / samples));
}

// The first version stored the output level so that the make-up was
// 50 * Level units regardless of the threshold; this gives the same make-up
// on the current scale. The result may leave 0..1 on purpose: clamping it
// would change the sound of old projects.
float levelFromVersion1(float level, float threshold) {
    float converted = (50.0f * level + thresholdUnits(threshold) + 15.0f) / 30.0f;
    if (converted < -15.0f) converted = -15.0f;
    if (converted > 15.0f) converted = 15.0f;
    return converted;
}

}  // namespace

EffectCompressor::EffectCompressor(audioMasterCallback audioMaster)
    : KavoEffectModule(audioMaster, kNumPrograms, kNumParameters, kCompressorInfo) {
    setParameterDefaults(kNewRecord);
    for (VstInt32 p = 0; p < kNumPrograms; ++p) storeProgram(p, kNewRecord, kNewRecordName);
    std::memcpy(live_.data(), kNewRecord, sizeof(kNewRecord));
    recomputeAll();
}

void EffectCompressor::updateCurveTarget() {
    const float t = thresholdUnits(live_[kThreshold]);
    const float r = ratioFor(live_[kRatio]);
    const float e = kneeUnits(live_[kKnee]);
    curveTarget_.thresholdUnits = t;
    curveTarget_.ratio = r;
    curveTarget_.kneeUnits = e;
    curveTarget_.kneeSlope = e > 0.0f ? 0.5f * (2.0f / (1.0f / r + 1.0f) - 1.0f) / e : 0.0f;
    curveTarget_.makeUpGain = makeUpGainFor(outputLevelUnits(live_[kLevel]), t);
    core_.setCurveTarget(curveTarget_);
}

void EffectCompressor::updateEnvelopeCoefficients() {
    core_.setEnvelopeCoefficients(onePoleCoefficient(attackSeconds(live_[kAttack]), sampleRate),
                                  onePoleCoefficient(releaseSeconds(live_[kRelease]), sampleRate));
}

void EffectCompressor::updateLookahead() {
    // trunc(x * rate * 5 ms); the core keeps it inside its ring.
    const double samples = static_cast<double>(live_[kLookahead]) * sampleRate * 0.005;
    int n = 0;
    if (samples > 0.0) n = samples < static_cast<double>(CompressorCore::kRingMask)
                               ? static_cast<int>(samples)
                               : CompressorCore::kRingMask;
    core_.setLookaheadSamples(n);
}

void EffectCompressor::parameterChanged(VstInt32 index) {
    switch (index) {
        case kThreshold:
        case kRatio:
        case kKnee:
        case kLevel:
            updateCurveTarget();  // glides: the core smooths towards it
            break;
        case kLookahead:
            updateLookahead();
            break;
        case kAttack:
        case kRelease:
            updateEnvelopeCoefficients();
            break;
        default:
            break;
    }
}

void EffectCompressor::resume() {
    core_.clearSignal();
    controlClock_.reset();
    recomputeAll();
}

void EffectCompressor::recomputeAll() {
    updateCurveTarget();
    updateEnvelopeCoefficients();
    updateLookahead();
    core_.smoothCurve(fxdsp::kJumpFactor);
}

void EffectCompressor::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    core_.beginBlock();
    fxdsp::runControlledBlock(
        controlClock_, sampleFrames, [this] { return !midiIdle(); },
        [this] { core_.smoothCurve(fxdsp::kControlGlideFactor); }, [this] { drainEffectMidiFrame(); },
        [&](int offset, int count) { core_.processRun(inL + offset, inR + offset, outL + offset, outR + offset, count); });
}

void EffectCompressor::getParameterName(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    fxdsp::displayText(text, kParameterNames[index]);
}

void EffectCompressor::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParameters) {
        *text = 0;
        return;
    }
    const float x = live_[static_cast<size_t>(index)];
    switch (index) {
        case kThreshold:
            fxdsp::displayFixed(text, thresholdUnits(x), 1, "dB");
            break;
        case kLookahead:
            fxdsp::displayFixed(text, 5.0 * x, 1, "ms");
            break;
        case kRatio:
            if (ratioIsInfinite(x))
                fxdsp::displayText(text, "oo:1");
            else
                fxdsp::displayFixed(text, std::pow(52.0, static_cast<double>(x)), 1, ":1");
            break;
        case kAttack:
            fxdsp::displayFixed(text, 1000.0 * attackSeconds(x), 1, "ms");
            break;
        case kRelease:
            fxdsp::displayFixed(text, releaseSeconds(x), 2, "s");
            break;
        case kKnee:
            fxdsp::displayFixed(text, kneeUnits(x), 1, "dB");
            break;
        case kLevel:
            fxdsp::displayFixed(text, outputLevelUnits(x), 1, "dB");
            break;
        default:
            *text = 0;
            break;
    }
}

VstInt32 EffectCompressor::getChunk(void** data, bool isPreset) {
    char* out;
    VstInt32 size;
    if (isPreset) {
        size = kPresetBytesV2;
        out = new char[static_cast<size_t>(size)];
        writeFloat(out, 2.0f);
        for (VstInt32 i = 0; i < kNumParameters; ++i) writeFloat(out + 4 + 4 * i, live_[static_cast<size_t>(i)]);
    } else {
        size = kBankBytesV2;
        out = new char[static_cast<size_t>(size)];
        // Only the first byte is ever read back; the rest is zero.
        out[0] = 2;
        out[1] = out[2] = out[3] = 0;
        for (VstInt32 p = 0; p < kNumPrograms; ++p) {
            char* record = out + 4 + kProgramBytes * p;
            std::memcpy(record, programNameField(p), kVstMaxProgNameLen);
            std::memcpy(record + kVstMaxProgNameLen, programValues(p), 4 * kNumParameters);
        }
    }
    *data = out;  // the caller owns the buffer
    return size;
}

VstInt32 EffectCompressor::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr) return 0;
    const auto* bytes = static_cast<const char*>(data);
    if (isPreset) {
        if (byteSize != kPresetBytesV1 && byteSize != kPresetBytesV2) return 0;
        const bool version1 = byteSize == kPresetBytesV1;
        const char* values = version1 ? bytes : bytes + 4;
        float v[kNumParameters];
        for (VstInt32 i = 0; i < kNumParameters; ++i) v[i] = repairedStoredValue(i, readFloat(values + 4 * i));
        for (VstInt32 i = 0; i < kNumParameters; ++i)
            if (i != kLevel) storeValue(i, v[i]);
        // An old level is converted from the repaired values; the result may
        // leave 0..1 on purpose, so it bypasses setParameter's repair.
        storeValue(kLevel, version1 ? levelFromVersion1(v[kLevel], v[kThreshold]) : v[kLevel]);
        return 1;
    }
    if (byteSize != kBankBytesV1 && byteSize != kBankBytesV2) return 0;
    const bool version1 = byteSize == kBankBytesV1;
    const char* records = version1 ? bytes : bytes + 4;
    for (VstInt32 p = 0; p < kNumPrograms; ++p) {
        const char* record = records + kProgramBytes * p;
        char* name = programNameField(p);
        std::memcpy(name, record, kVstMaxProgNameLen);
        name[kVstMaxProgNameLen - 1] = 0;
        float* values = programValues(p);
        for (VstInt32 i = 0; i < kNumParameters; ++i)
            values[i] = repairedStoredValue(i, readFloat(record + kVstMaxProgNameLen + 4 * i));
        if (version1) values[kLevel] = levelFromVersion1(values[kLevel], values[kThreshold]);
    }
    return 1;
}
