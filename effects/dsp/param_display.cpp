#include "effects/dsp/param_display.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace fxdsp {

namespace {

// Appends suffix after the first `used` bytes and terminates, within the
// capacity.
void finish(char* text, int used, const char* suffix) {
    int n = used;
    for (const char* s = suffix; *s != 0 && n < kParamTextCapacity - 1; ++s) text[n++] = *s;
    text[n] = 0;
}

}  // namespace

void displayFixed(char* text, double value, int decimals, const char* suffix) {
    char buffer[64];
    const char* end = buffer;
    if (std::isnan(value)) {
        std::memcpy(buffer, "nan", 3);
        end = buffer + 3;
    } else if (std::isinf(value)) {
        const char* word = value > 0 ? "inf" : "-inf";
        const size_t n = std::strlen(word);
        std::memcpy(buffer, word, n);
        end = buffer + n;
    } else if (std::fabs(value) >= 1e15) {
        // Beyond any sensible parameter; keeps the fixed form from overflowing.
        auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific, 2);
        end = result.ptr;
    } else {
        auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, decimals);
        end = result.ptr;
    }
    int used = static_cast<int>(end - buffer);
    if (used > kParamTextCapacity - 1) used = kParamTextCapacity - 1;
    std::memcpy(text, buffer, static_cast<size_t>(used));
    finish(text, used, suffix);
}

void displayTruncated(char* text, double value, const char* suffix) {
    long long whole = 0;
    if (value >= 2147483647.0)
        whole = 2147483647LL;
    else if (value <= -2147483648.0)
        whole = -2147483648LL;
    else if (!std::isnan(value))
        whole = static_cast<long long>(std::trunc(value));
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), whole);
    const int used = static_cast<int>(result.ptr - buffer);
    std::memcpy(text, buffer, static_cast<size_t>(used));
    finish(text, used, suffix);
}

void displayOnOff(char* text, bool on) { finish(text, 0, on ? "on" : "off"); }

void displayText(char* text, const char* source) { finish(text, 0, source); }

}  // namespace fxdsp
