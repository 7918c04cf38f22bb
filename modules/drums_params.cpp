#include "modules/drums_params.h"

#include <cmath>
#include <cstdio>

#include "common/portable_math.h"
#include "modules/balance_law.h"

namespace drums {

namespace {

constexpr uint32_t kMessageBase = 0x200000;
constexpr uint32_t kOutgoingBit = 1u << 21;  // our own pattern messages
constexpr uint32_t kBit16 = 1u << 16;
constexpr uint32_t kBit20 = 1u << 20;
constexpr uint32_t kVelocityBit = 1u << 19;
constexpr uint32_t kLow21 = (1u << 21) - 1;
constexpr uint32_t kLengthCommand = 0x100003;
constexpr uint32_t kClearCommand = 0x100004;

const char* const kNames[kParamsPerPad] = {
    "Wave",   "Level", "Pan",  "Effect1",   "Effect2", "Tune",         "LevelVelocity", "TuneVelocity",
    "Decay", "Reverse", "Loop", "WaveBegin", "WaveEnd", "RandomPreset", "Mute",
};

// Level 200^v / 100 is unity at v = ln 100 / ln 200.
constexpr float kUnityLevel = 0.86916465f;

}  // namespace

HostMessage decodeHostMessage(int32_t index) {
    HostMessage message;
    const auto bits = static_cast<uint32_t>(index);
    if (index < 0 || bits < kMessageBase || (bits & kOutgoingBit) != 0) return message;
    if ((bits & kBit16) != 0 && (bits & kBit20) != 0) return message;
    const uint32_t low = bits & kLow21;
    if (low == kLengthCommand) {
        message.kind = HostMessage::kPatternLength;
    } else if (low == kClearCommand) {
        message.kind = HostMessage::kClearGrid;
    } else if ((bits & kBit20) == 0 && (bits & kVelocityBit) == 0) {
        message.kind = HostMessage::kGridStep;
        message.step = static_cast<int>(bits & 0x7F);
        message.note = static_cast<int>((bits >> 7) & 0x7F);
    }
    return message;
}

float storedValue(int param, float value) {
    if (std::isnan(value)) {
        // No value at all: the parameter's default.
        float defaults[kStoredValues];
        defaultStoredValues(defaults);
        return param >= 1 && param < kParamsPerPad ? defaults[param - 1] : 0.0f;
    }
    if (param == kDecay) return value > 0.5f ? 1.0f : 0.0f;
    // A preset number that the module only stores and shows, not a 0..1
    // value: any finite number is kept as projects wrote it.
    if (param == kRandomPreset) return std::isfinite(value) ? value : 0.0f;
    if (value < 0.0f) return 0.0f;
    if (value > 1.0f) return 1.0f;
    return value;
}

const char* paramName(int param) { return param >= 0 && param < kParamsPerPad ? kNames[param] : ""; }

void formatDisplay(int param, float stored, char* text, size_t capacity) {
    switch (param) {
        case kPan:
        case kTune:
            std::snprintf(text, capacity, "%.2f", 2.0 * stored - 1.0);
            break;
        case kRandomPreset:
            std::snprintf(text, capacity, "%i", static_cast<int>(std::fmax(-1.0e9, std::fmin(1.0e9, stored))));
            break;
        case kMute:
            std::snprintf(text, capacity, "%s", stored == 1.0f ? "on" : "off");
            break;
        default:
            std::snprintf(text, capacity, "%.2f", static_cast<double>(stored));
            break;
    }
}

void defaultStoredValues(float* values) {
    float v[kParamsPerPad] = {};
    v[kLevel] = kUnityLevel;
    v[kPan] = 0.5f;
    v[kEffect1] = 0.0f;
    v[kEffect2] = 0.0f;
    v[kTune] = 0.5f;
    // Drums answer the touch: level follows velocity, pitch does not.
    v[kLevelVelocity] = 1.0f;
    v[kTuneVelocity] = 0.0f;
    // One-shot: a hit plays through its window whatever the note length.
    v[kDecay] = 1.0f;
    v[kReverse] = 0.0f;
    v[kLoop] = 0.0f;
    v[kWaveBegin] = 0.0f;
    v[kWaveEnd] = 1.0f;
    v[kRandomPreset] = 0.0f;
    v[kMute] = 0.0f;
    for (int p = 1; p < kParamsPerPad; ++p) values[p - 1] = v[p];
}

float levelGain(float level, bool mute) {
    if (mute || !(level > 0.01f)) return kSilentGain;
    return portable::pow(200.0f, level) / 100.0f;
}

float sendGain(float send) {
    if (!(send > 0.01f)) return kSilentGain;
    return portable::pow(200.0f, send) / 200.0f;
}

float tuneFactor(float tune) { return portable::pow(8.0f, tune - 0.5f); }

StereoGains balance(float pan) {
    float b = pan;
    if (!(b >= 0.0f)) b = 0.0f;
    if (b > 1.0f) b = 1.0f;
    const dsp::BalanceGains gains = dsp::balanceGains(b);
    return {gains.left, gains.right};
}

}  // namespace drums
