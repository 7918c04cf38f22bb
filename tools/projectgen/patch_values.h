// Parameter values by what they mean, for writing sounds readably: the
// modules take 0 to 1 and map it themselves.
#pragma once

#include <algorithm>
#include <cmath>

namespace projectgen::value {

inline float clamp01(double v) { return static_cast<float>(std::clamp(v, 0.0, 1.0)); }

// Synth oscillator waves (the engine takes the integer part of 4v).
constexpr float kSine = 0.1f, kSaw = 0.3f, kPulse = 0.55f, kTriangle = 0.78f, kRingOrNoise = 0.78f, kTop = 1.0f;
constexpr float kOn = 1.0f, kOff = 0.0f;
// Selectors store trunc(v * 3.2): 1 is LFO1, 2 is LFO2.
constexpr float kLfo1 = 0.4f, kLfo2 = 0.7f;

// floor(144v) - 72 semitones, centred in its step.
inline float coarse(int semitones) { return clamp01((72.0 + semitones + 0.5) / 144.0); }
// 2v - 1 semitones.
inline float fineCents(double cents) { return clamp01(0.5 + cents / 200.0); }
// 0.002 * 1000^v seconds.
inline float attackMs(double ms) { return clamp01(std::log(std::max(ms, 2.0) / 2.0) / std::log(1000.0)); }
// 0.01 * 1000^v seconds to 1 %.
inline float decayMs(double ms) { return clamp01(std::log(std::max(ms, 10.0) / 10.0) / std::log(1000.0)); }
// 10 * 1600^v Hz as the synth displays its cutoff.
inline float cutoffHz(double hz) { return clamp01(std::log(std::max(hz, 10.0) / 10.0) / std::log(1600.0)); }
// Q = 0.1 * 100^v.
inline float filterQ(double q) { return clamp01(std::log(std::max(q, 0.1) / 0.1) / std::log(100.0)); }
// 500^v / 25 Hz.
inline float lfoHz(double hz) { return clamp01(std::log(std::max(hz, 0.04) * 25.0) / std::log(500.0)); }
// Bipolar amounts shown as 2v - 1.
inline float bipolar(double amount) { return clamp01((amount + 1.0) / 2.0); }
// OUTPUT Level in dB above -6 dB (50^v / 25).
inline float synthLevelDb(double db) { return clamp01((db + 27.863136) / 33.863136); }

}  // namespace projectgen::value
