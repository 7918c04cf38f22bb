#include "modules/sampler_params.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace sampler {

namespace {

// Row of each parameter in the program record (see Program); parameter 0
// has no stored value.
constexpr int kRecordRow[kPartParams] = {
    -1,                                                  // Wave
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  // Level … Hold
    13, 14, 15, 16,                                      // Reverse, Loop, WaveBegin, WaveEnd
    20,                                                  // split note
    17,                                                  // WaveLoop
    19,                                                  // WaveAttackVelocity
    21, 22, 23, 24, 25,                                  // FilterFreq … FilterOn
    18,                                                  // WaveLoopEnd
    26, 27, 28, 29, 30,                                  // FrequencyKeyOn … PitchBend
};
static_assert(sizeof(kRecordRow) / sizeof(kRecordRow[0]) == kPartParams);

const char* const kNames[kPartParams] = {
    "Wave",       "Level",         "Pan",         "Attack",         "Decay",       "Sustain",
    "Release",    "EnvTune",       "EnvLevel",    "Tune",           "TuneFine",    "LevelVelocity",
    "TuneVelocity", "Hold",        "Reverse",     "Loop",           "WaveBegin",   "WaveEnd",
    "",           "WaveLoop",      "WaveAttackVelocity", "FilterFreq", "FilterQ",  "FilterVelocity",
    "FilterEnv",  "FilterOn",      "WaveLoopEnd", "FrequencyKeyOn", "FilterKeyOn", "MonoMode",
    "MultiLayerOn", "PitchBend",
};

// Level 0.7686218 is unity gain: 400^v / 100 = 1.
constexpr float kDefaults[kPartParams] = {
    0.0f,        // Wave
    0.7686218f,  // Level
    0.5f,        // Pan
    0.0f,        // Attack
    1.0f,        // Decay
    1.0f,        // Sustain
    0.3334f,     // Release
    0.5f,        // EnvTune
    0.0f,        // EnvLevel
    0.5f,        // Tune
    0.5f,        // TuneFine
    0.0f,        // LevelVelocity
    0.0f,        // TuneVelocity
    1.0f,        // Hold
    0.0f,        // Reverse
    0.0f,        // Loop
    0.0f,        // WaveBegin
    // The whole sample: a window that ends where it begins would leave a
    // freshly chosen sample silent until the user found WaveEnd.
    1.0f,        // WaveEnd
    36.0f,       // split note, plus the part number
    0.0f,        // WaveLoop
    0.0f,        // WaveAttackVelocity
    1.0f,        // FilterFreq
    0.5f,        // FilterQ
    0.0f,        // FilterVelocity
    0.5f,        // FilterEnv
    0.0f,        // FilterOn
    1.0f,        // WaveLoopEnd
    1.0f,        // FrequencyKeyOn
    1.0f,        // FilterKeyOn
    0.0f,        // MonoMode
    0.0f,        // MultiLayerOn
    0.5f,        // PitchBend
};

}  // namespace

float& Program::value(int param, int part) {
    const int row = kRecordRow[param];
    return row < kFirstGroupRows ? firstGroup[row * kParts + part]
                                 : secondGroup[(row - kFirstGroupRows) * kParts + part];
}

float defaultValue(int param, int part) {
    if (param == kSplitNote) return kDefaults[kSplitNote] + static_cast<float>(part);
    return kDefaults[param];
}

void defaultProgram(Program& program) {
    std::memset(&program, 0, sizeof(program));
    for (int p = 1; p < kPartParams; ++p)
        for (int k = 0; k < kParts; ++k) program.value(p, k) = defaultValue(p, k);
    program.link = 0.0f;
    program.name[0] = '-';
}

float sanitise(int param, int part, float value) {
    if (std::isnan(value)) return defaultValue(param, part);
    const float top = param == kSplitNote ? 127.0f : 1.0f;
    if (value < 0.0f) return 0.0f;
    if (value > top) return top;
    return value;
}

const char* paramName(int param) { return param >= 0 && param < kPartParams ? kNames[param] : ""; }

void formatDisplay(int param, float value, const char* fileName, char* text, size_t size) {
    switch (param) {
        case kWave:
            std::snprintf(text, size, "%s", fileName != nullptr ? fileName : "");
            break;
        case kPan:
        case kTune:
            std::snprintf(text, size, "%.2f", static_cast<double>(2.0f * value - 1.0f));
            break;
        case kSplitNote:
            text[0] = 0;
            break;
        case kFilterFreq:
            std::snprintf(text, size, "%iHz", static_cast<int>(10.0 * std::pow(1600.0, static_cast<double>(value))));
            break;
        default:
            std::snprintf(text, size, "%.2f", static_cast<double>(value));
            break;
    }
}

}  // namespace sampler
