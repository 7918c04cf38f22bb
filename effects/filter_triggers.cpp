#include "effects/filter_triggers.h"

#include <cmath>

void FilterTriggers::build(const VstTimeInfo* time, int frames, int64_t mask) {
    count_ = 0;
    if (time == nullptr || (time->flags & kVstTransportPlaying) == 0 || frames <= 0) return;
    const double sixteenth = time->sampleRate * 60.0 / time->tempo * 0.25;
    // Also refuses NaN and infinite tempo, rate or position.
    if (!(sixteenth >= kMinSixteenthSamples) || !std::isfinite(sixteenth)) return;
    const double position = time->samplePos;
    const double index = std::trunc(position / sixteenth);
    // The sixteenth number must fit the integer arithmetic of the mask test.
    if (!(std::fabs(index) < 4.0e15)) return;
    auto i = static_cast<int64_t>(index);
    double c = static_cast<double>(i) * sixteenth - position;
    while (c < frames && count_ < kCapacity) {
        if (c >= 0.0 && i >= 0 && (i & mask) == 0) offsets_[count_++] = static_cast<int>(c);
        ++i;
        c += sixteenth;
    }
}
