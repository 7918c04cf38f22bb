// The tempo entry of the stand-alone host: text in, beats per minute out.
#pragma once

#include <string>

constexpr int kMinTempoBpm = 40;
constexpr int kMaxTempoBpm = 240;

// Reads a leading decimal number (sign, digits, optional fraction; spaces
// before it are skipped) and clamps it to 40..240. Text that does not start
// with a number reads as 0 and so yields 40. Never depends on the locale.
float parseTempoText(const std::string& text);

// The entry's text for a tempo: the integer part, "%i".
std::string tempoText(float bpm);
