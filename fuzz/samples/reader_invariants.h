// What every successful read must satisfy, whatever the input was.
#pragma once

#include <cstdlib>

#include "modules/decoded_sample.h"

inline void checkDecodedSample(bool ok, const DecodedSample& s) {
    if (!ok) {
        if (!s.empty() || !s.samples.empty()) std::abort();
        return;
    }
    if (s.frameCount == 0) std::abort();
    if (s.samples.size() != static_cast<size_t>(s.frameCount) * static_cast<size_t>(s.channelCount())) std::abort();
    if (s.hasFileLoop && (s.loopStartFrame >= s.loopEndFrame || s.loopEndFrame > s.frameCount)) std::abort();
    if (!(s.sampleRateHz > 0.0f)) std::abort();
}
