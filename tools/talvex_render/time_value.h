// Times on the render timeline as users write them, on the command line and
// in event lists: "48000" is a frame number, "1.5s" seconds, "250ms"
// milliseconds and "4b" quarter notes at the starting tempo.
#pragma once

#include <cstdint>
#include <string_view>

// The number readers, shared by the option and file readers.
#include "tools/vst_host/command_line.h"

struct TimeValue {
    enum class Unit { Frames, Seconds, Beats };
    Unit unit = Unit::Frames;
    double amount = 0.0;
};

// False for anything but a non-negative number with one of the units above;
// frame numbers must be whole.
bool parseTimeValue(std::string_view text, TimeValue& out);

// The frame a time falls on, rounded to the nearest frame.
int64_t timeValueToFrames(const TimeValue& time, double sampleRate, double tempoBpm);
