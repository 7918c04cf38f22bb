#include "tools/talvex_render/time_value.h"

#include <cmath>

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
