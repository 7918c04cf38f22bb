#include "editor/tempo_text.h"

#include <cstdio>

float parseTempoText(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    double value = 0.0;
    // Digits past the clamp range change nothing; stop accumulating there so
    // a long string of digits cannot overflow.
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (value < 1e6) value = value * 10.0 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale *= 0.1) value += (text[i] - '0') * scale;
    }
    if (negative) value = -value;
    if (value < kMinTempoBpm) value = kMinTempoBpm;
    if (value > kMaxTempoBpm) value = kMaxTempoBpm;
    return static_cast<float>(value);
}

std::string tempoText(float bpm) {
    char text[16];
    const float clamped = !(bpm >= kMinTempoBpm) ? kMinTempoBpm : (bpm > kMaxTempoBpm ? kMaxTempoBpm : bpm);
    std::snprintf(text, sizeof(text), "%i", static_cast<int>(clamped));
    return text;
}
