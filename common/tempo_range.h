// The ranges of tempo and sample rate that the engine accepts, and the
// repairs applied where such values enter: chunks, bank files, project text,
// user input and the host's time information. A value outside them would
// make the step length zero, negative, infinite or NaN, and the step clock
// would then never finish a block.
#pragma once

#include <cmath>

// Tempo a user, a program record or a project may set (the editor's tempo
// entry clamps typed text to the same range).
constexpr float kLowestTempoBpm = 40.0f;
constexpr float kHighestTempoBpm = 240.0f;
constexpr float kDefaultTempoBpm = 120.0f;
// Host tempos outside this range are taken as "no tempo".
constexpr double kMinHostTempoBpm = 1.0;
constexpr double kMaxHostTempoBpm = 999.0;
// Sample rates the engine runs at; any other rate from the host is ignored.
constexpr double kMinSampleRateHz = 8000.0;
constexpr double kMaxSampleRateHz = 384000.0;

// A stored or typed tempo brought into range: NaN and infinities give the
// default, anything else is clamped to 40...240.
inline float repairTempo(float bpm) {
    if (!std::isfinite(bpm)) return kDefaultTempoBpm;
    if (bpm < kLowestTempoBpm) return kLowestTempoBpm;
    if (bpm > kHighestTempoBpm) return kHighestTempoBpm;
    return bpm;
}

inline bool usableHostTempo(double bpm) {
    return std::isfinite(bpm) && bpm >= kMinHostTempoBpm && bpm <= kMaxHostTempoBpm;
}

inline bool usableSampleRate(double hz) {
    return std::isfinite(hz) && hz >= kMinSampleRateHz && hz <= kMaxSampleRateHz;
}
