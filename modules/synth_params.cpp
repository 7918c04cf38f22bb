#include "modules/synth_params.h"

#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>

namespace synth {
namespace {

const char* const kNames[kPartParams + 1] = {
    "DCO1 Wave",         "DCO1 Pulse",        "DCO1 LfoPulse",     "DCO1 Coarse",       "DCO1 LfoFrequency",
    "DCO1 Fine",         "DCO1 PitchBend",    "DCO1 Sync",         "DCO1 Glissando",    "DCO1 Keyboard",
    "DCO1 OverDrive",    "DCO1 OutputEnv",    "DCO1 EnvFreq",      "DCO2 Wave",         "DCO2 Pulse",
    "DCO2 LfoPulse",     "DCO2 Coarse",       "DCO2 LfoFrequency", "DCO2 Fine",         "DCO2 PitchBend",
    "DCO2 Sync",         "DCO2 Glissando",    "DCO2 Keyboard",     "DCO2 OverDrive",    "DCO2 OutputEnv",
    "DCO2 EnvFreq",      "DCO Synchro",       "DCO Mix",           "DCO EnvAttack",     "DCO EnvDecay",
    "DCO EnvSustain",    "DCO EnvRelease",    "FILTER Dco1",       "FILTER Dco2",       "FILTER Keyboard",
    "FILTER Type",       "FILTER Pente",      "FILTER Frequency",  "FILTER Q",          "FILTER Envelop",
    "FILTER LfoFrequency", "FILTER LfoQ",     "FILTER EnvAttack",  "FILTER EnvDecay",   "FILTER EnvSustain",
    "FILTER EnvRelease", "LFO1 Wave",         "LFO1 Delay",        "LFO1 Rate",         "LFO1 Depth",
    "LFO1 Sync",         "LFO1 ModWheel",     "LFO2 Wave",         "LFO2 Delay",        "LFO2 Rate",
    "LFO2 Depth",        "LFO2 Sync",         "LFO2 ModWheel",     "OUTPUT EnvAttack",  "OUTPUT EnvDecay",
    "OUTPUT EnvSustain", "OUTPUT EnvRelease", "OUTPUT Velocity",   "OUTPUT Level",      "OUTPUT Balance",
    "OUTPUT LfoLevel",   "OUTPUT LfoBalance", "MONO Mode",
};

// printf's "%.2f" follows the C locale's decimal mark; a host that switched
// the locale would otherwise show "0,50".
void formatNumber(char* text, size_t capacity, const char* format, double value) {
    std::snprintf(text, capacity, format, value);
    for (char* c = text; *c != 0; ++c)
        if (*c == ',') *c = '.';
}

void formatInt(char* text, size_t capacity, const char* format, double value) {
    // Truncated toward zero like a C cast, within int range.
    double t = std::trunc(value);
    if (!(t > -2e9)) t = -2e9;
    if (t > 2e9) t = 2e9;
    std::snprintf(text, capacity, format, static_cast<int>(t));
}

void copyText(char* text, size_t capacity, const char* source) {
    if (capacity == 0) return;
    std::strncpy(text, source, capacity - 1);
    text[capacity - 1] = 0;
}

const char* onOff(float v) { return v == 1.0f ? "on" : "off"; }

const char* selectorText(float stored) {
    if (stored == 0.0f) return "off";
    if (stored == 1.0f) return "LFO1";
    return "LFO2";
}

void envTime(char* text, size_t capacity, float v, double scaleMs) {
    formatInt(text, capacity, "%ims", scaleMs * std::pow(1000.0, static_cast<double>(v)));
}

}  // namespace

bool isSelector(int param) {
    for (int s : kSelectors)
        if (s == param) return true;
    return false;
}

float storedValue(int param, float value) {
    if (!isSelector(param)) return value;
    const float s = std::trunc(value * 3.2f);
    if (!(s > 0.0f)) return 0.0f;
    return s > 3.0f ? 3.0f : s;
}

float hostValue(int param, float stored) { return isSelector(param) ? stored / 3.0f : stored; }

void defaultPartValues(float* v) {
    for (int p = 0; p < kPartParams; ++p) v[p] = 0.0f;
    for (int p : {kDco1Coarse, kDco1Fine, kDco1PitchBend, kDco1EnvFreq, kDco2Coarse, kDco2Fine, kDco2PitchBend,
                  kDco2EnvFreq, kFilterEnvelop, kOutBalance})
        v[p] = 0.5f;
    for (int p : {kDco1Keyboard, kDco2Keyboard, kFilterKeyboard, kFilterPente, kFilterFrequency}) v[p] = 1.0f;
    v[kDcoMix] = 0.05f;
    for (int p : {kDcoEnvDecay, kDcoEnvSustain, kFilterQ, kFilterEnvDecay, kFilterEnvSustain, kOutEnvDecay,
                  kOutEnvSustain})
        v[p] = 0.2f;
    for (int p : {kDcoEnvRelease, kFilterEnvRelease, kOutEnvRelease}) v[p] = 0.3f;
    v[kOutLevel] = 0.84f;
}

const char* paramName(int param) {
    if (param < 0 || param > kMonoMode) return "";
    return kNames[param];
}

void formatDisplay(int param, float v, char* text, size_t capacity) {
    if (capacity == 0) return;
    text[0] = 0;
    const double d = v;
    switch (param) {
        case kDco1Wave:
        case kDco2Wave: {
            const char* upper = param == kDco1Wave ? "Triangle" : "Ring Mod";
            const char* top = param == kDco1Wave ? "Noise" : "FM";
            copyText(text, capacity, v < 0.2f ? "Sin" : v < 0.4f ? "Saw" : v < 0.6f ? "Pulse" : v < 0.8f ? upper : top);
            return;
        }
        case kDco1Pulse:
        case kDco2Pulse:
            formatInt(text, capacity, "%i%%", 50.0 + std::floor(50.0 * d));
            return;
        case kDco1Coarse:
        case kDco2Coarse:
            formatInt(text, capacity, "%i", std::floor(144.0 * d) - 72.0);
            return;
        case kDco1Fine:
        case kDco2Fine:
            formatInt(text, capacity, "%i", std::floor(200.0 * d) - 100.0);
            return;
        case kDco1PitchBend:
        case kDco2PitchBend:
            formatInt(text, capacity, "%i", std::floor(48.0 * d) - 24.0);
            return;
        case kDco1Sync:
        case kDco1Keyboard:
        case kDco1OutputEnv:
        case kDco2Sync:
        case kDco2Keyboard:
        case kDco2OutputEnv:
        case kDcoSynchro:
        case kFilterDco1:
        case kFilterDco2:
        case kFilterKeyboard:
        case kLfo1Sync:
        case kLfo1ModWheel:
        case kLfo2Sync:
        case kLfo2ModWheel:
            copyText(text, capacity, onOff(v));
            return;
        case kDco1Glissando:
        case kDco2Glissando:
        case kDco1OverDrive:
        case kDco2OverDrive:
        case kDcoEnvSustain:
        case kFilterEnvSustain:
        case kOutEnvSustain:
        case kFilterQ:
        case kLfo1Depth:
        case kLfo2Depth:
            formatNumber(text, capacity, "%.2f", d);
            return;
        case kDco1EnvFreq:
        case kDco2EnvFreq:
        case kDcoMix:
        case kFilterEnvelop:
        case kOutVelocity:
        case kOutBalance:
            formatNumber(text, capacity, "%.2f", 2.0 * d - 1.0);
            return;
        case kDcoEnvAttack:
        case kFilterEnvAttack:
        case kOutEnvAttack:
            envTime(text, capacity, v, 2.0);
            return;
        case kDcoEnvDecay:
        case kDcoEnvRelease:
        case kFilterEnvDecay:
        case kFilterEnvRelease:
        case kOutEnvDecay:
        case kOutEnvRelease:
            envTime(text, capacity, v, 10.0);
            return;
        case kFilterType:
            copyText(text, capacity, v < 0.33f ? "Low Pass" : v < 0.66f ? "Band Pass" : "High Pass");
            return;
        case kFilterPente:
            copyText(text, capacity, v < 0.5f ? "24dB" : "48dB");
            return;
        case kFilterFrequency:
            formatInt(text, capacity, "%iHz", 10.0 * std::pow(1600.0, d));
            return;
        case kLfo1Wave:
        case kLfo2Wave: {
            const char* up = param == kLfo1Wave ? "Saw Up" : "Square";
            copyText(text, capacity,
                     v < 0.2f ? "Sin" : v < 0.4f ? "Triangle" : v < 0.6f ? "Saw Down" : v < 0.8f ? up : "S/H");
            return;
        }
        case kLfo1Delay:
        case kLfo2Delay:
            if (v > 0.01f)
                formatInt(text, capacity, "%ims", 10.0 * std::pow(200.0, d));
            else
                copyText(text, capacity, "0");
            return;
        case kLfo1Rate:
        case kLfo2Rate:
            formatNumber(text, capacity, "%.2fs", 25.0 / std::pow(500.0, d));
            return;
        case kOutLevel:
            // 0.8228162 is the value whose gain 50^v / 25 is exactly 1.
            if (v == 0.8228162f)
                copyText(text, capacity, "0dB");
            else if (v > 0.5f)
                formatNumber(text, capacity, "%.1fdB", 33.863136 * d - 27.863136);
            else if (v > 0.01f)
                formatNumber(text, capacity, "%.1fdB", 45.863136 * d - 33.863136);
            else
                copyText(text, capacity, "oo");
            return;
        case kMonoMode:
            copyText(text, capacity, v == 0.0f ? "off" : "on");
            return;
        default:
            if (isSelector(param)) copyText(text, capacity, selectorText(v));
            return;
    }
}

}  // namespace synth
