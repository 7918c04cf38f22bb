#include "project/project_values.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>

#include "common/portable_math.h"

namespace {

constexpr double kEqFrequencyBase = 1.07656729;
constexpr double kEqFrequencyScale = 10.0;
// Beyond any float: more exponent digits change nothing.
constexpr int kExponentLimit = 400;
// Digits past this many carry no weight in a double.
constexpr int kSignificantDigits = 19;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipBlanks(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && isBlank(t[i])) ++i;
    return i;
}

}  // namespace

int parseInteger(std::string_view t) {
    size_t i = skipBlanks(t);
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int64_t value = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        value = value * 10 + (t[i] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

float parseReal(std::string_view t) {
    size_t i = skipBlanks(t);
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    uint64_t mantissa = 0;
    int digits = 0;
    int scale = 0;  // decimal exponent of the mantissa
    bool any = false;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        any = true;
        if (digits < kSignificantDigits) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(t[i] - '0');
            if (mantissa != 0) ++digits;
        } else {
            ++scale;
        }
    }
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i) {
            any = true;
            if (digits < kSignificantDigits) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(t[i] - '0');
                if (mantissa != 0) ++digits;
                --scale;
            }
        }
    }
    if (!any) return 0.0f;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) expNegative = t[j++] == '-';
        if (j < t.size() && isDigit(t[j])) {
            int exponent = 0;
            for (; j < t.size() && isDigit(t[j]); ++j)
                if (exponent < kExponentLimit) exponent = exponent * 10 + (t[j] - '0');
            scale += expNegative ? -exponent : exponent;
        }
    }
    double value = static_cast<double>(mantissa);
    if (value != 0.0) {
        if (scale > kExponentLimit) scale = kExponentLimit;
        if (scale < -2 * kExponentLimit) scale = -2 * kExponentLimit;
        // Two steps keep 10^scale itself inside the double range.
        const int half = scale / 2;
        value = value * portable::powerOfTen(half) * portable::powerOfTen(scale - half);
    }
    if (!(value <= FLT_MAX)) value = FLT_MAX;  // also catches infinity
    return static_cast<float>(negative ? -value : value);
}

float equaliserFrequencyFromFile(float fileValue) {
    if (!(fileValue > 0.0f)) return 0.0f;
    const double x = portable::log(static_cast<double>(fileValue) / kEqFrequencyScale) / portable::log(kEqFrequencyBase);
    if (!(x > 0.0)) return 0.0f;
    return x >= 1.0 ? 1.0f : static_cast<float>(x);
}
