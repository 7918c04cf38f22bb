#include "tools/audio_measure/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace measure {

StereoSignal StereoSignal::slice(size_t first, size_t count) const {
    StereoSignal out;
    out.rateHz = rateHz;
    first = std::min(first, frames());
    count = std::min(count, frames() - first);
    out.left.assign(left.begin() + static_cast<std::ptrdiff_t>(first),
                    left.begin() + static_cast<std::ptrdiff_t>(first + count));
    out.right.assign(right.begin() + static_cast<std::ptrdiff_t>(first),
                     right.begin() + static_cast<std::ptrdiff_t>(first + count));
    return out;
}

std::vector<float> StereoSignal::mono() const {
    std::vector<float> out(frames());
    for (size_t i = 0; i < out.size(); ++i) out[i] = 0.5f * (left[i] + right[i]);
    return out;
}

double rmsDb(const StereoSignal& signal, size_t first, size_t count) {
    first = std::min(first, signal.frames());
    count = std::min(count, signal.frames() - first);
    if (count == 0) return -240.0;
    double sum = 0.0;
    for (size_t i = first; i < first + count; ++i) {
        sum += static_cast<double>(signal.left[i]) * signal.left[i] + static_cast<double>(signal.right[i]) * signal.right[i];
    }
    return toDb(std::sqrt(sum / (2.0 * static_cast<double>(count))));
}

LoudnessFigures measureLoudness(const StereoSignal& signal) {
    LoudnessFigures f;
    const size_t n = signal.frames();
    f.lengthSeconds = static_cast<double>(n) / signal.rateHz;
    if (n == 0) return f;
    double dcL = 0.0, dcR = 0.0, peak = 0.0;
    for (size_t i = 0; i < n; ++i) {
        dcL += signal.left[i];
        dcR += signal.right[i];
        peak = std::max({peak, std::fabs(static_cast<double>(signal.left[i])), std::fabs(static_cast<double>(signal.right[i]))});
    }
    f.dcLeft = dcL / static_cast<double>(n);
    f.dcRight = dcR / static_cast<double>(n);
    f.samplePeakDb = toDb(peak);
    f.rmsDb = rmsDb(signal, 0, n);

    ebur128_state* state = ebur128_init(2, static_cast<unsigned long>(std::lround(signal.rateHz)),
                                        EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (state == nullptr) return f;
    std::vector<float> interleaved;
    constexpr size_t kChunk = 8192;
    interleaved.reserve(2 * kChunk);
    for (size_t first = 0; first < n; first += kChunk) {
        const size_t count = std::min(kChunk, n - first);
        interleaved.clear();
        for (size_t i = first; i < first + count; ++i) {
            interleaved.push_back(signal.left[i]);
            interleaved.push_back(signal.right[i]);
        }
        ebur128_add_frames_float(state, interleaved.data(), count);
    }
    double lufs = 0.0;
    if (ebur128_loudness_global(state, &lufs) == EBUR128_SUCCESS && std::isfinite(lufs)) f.integratedLufs = lufs;
    double tpL = 0.0, tpR = 0.0;
    if (ebur128_true_peak(state, 0, &tpL) == EBUR128_SUCCESS && ebur128_true_peak(state, 1, &tpR) == EBUR128_SUCCESS) {
        f.truePeakDbtp = toDb(std::max(tpL, tpR));
    }
    ebur128_destroy(&state);
    return f;
}

}  // namespace measure
