#include "tools/talvex_render/time_value.h"

#include <charconv>
#include <cmath>

bool parseDouble(std::string_view text, double& out) {
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

bool parseInteger(std::string_view text, int64_t& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    uint64_t magnitude = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    out = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool parseTimeValue(std::string_view text, TimeValue& out) {
    TimeValue value;
    std::string_view number = text;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        value.unit = TimeValue::Unit::Seconds;
        number = text.substr(0, text.size() - 2);
    } else if (!text.empty() && text.back() == 's') {
        value.unit = TimeValue::Unit::Seconds;
        number = text.substr(0, text.size() - 1);
    } else if (!text.empty() && text.back() == 'b') {
        value.unit = TimeValue::Unit::Beats;
        number = text.substr(0, text.size() - 1);
    }
    if (value.unit == TimeValue::Unit::Frames) {
        int64_t frames = 0;
        if (!parseInteger(number, frames) || frames < 0) return false;
        value.amount = static_cast<double>(frames);
    } else {
        if (!parseDouble(number, value.amount) || value.amount < 0.0) return false;
        if (text.size() > 2 && text.substr(text.size() - 2) == "ms") value.amount /= 1000.0;
    }
    out = value;
    return true;
}

int64_t timeValueToFrames(const TimeValue& time, double sampleRate, double tempoBpm) {
    double frames = time.amount;
    if (time.unit == TimeValue::Unit::Seconds) frames = time.amount * sampleRate;
    if (time.unit == TimeValue::Unit::Beats) frames = time.amount * 60.0 / tempoBpm * sampleRate;
    // Beyond any render anyone waits for, and far inside int64_t: a huge
    // number in a file must not overflow the conversion.
    constexpr double kLatestFrame = 9007199254740992.0;  // 2^53
    if (!(frames < kLatestFrame)) return static_cast<int64_t>(kLatestFrame);
    return static_cast<int64_t>(std::floor(frames + 0.5));
}
