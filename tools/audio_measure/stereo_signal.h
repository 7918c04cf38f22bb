// A rendered stereo signal, as the measurements take it.
#pragma once

#include <cstddef>
#include <cmath>
#include <vector>

namespace measure {

struct StereoSignal {
    double rateHz = 44100.0;
    std::vector<float> left, right;

    size_t frames() const { return left.size(); }
    // Frames first .. first + count (clamped to the signal).
    StereoSignal slice(size_t first, size_t count) const;
    std::vector<float> mono() const;  // (left + right) / 2
};

inline double toDb(double linear) { return linear > 1e-12 ? 20.0 * std::log10(linear) : -240.0; }

}  // namespace measure
