#include "tools/audio_measure/envelope.h"

#include <algorithm>
#include <cmath>

#include "tools/audio_measure/loudness.h"

namespace measure {

std::vector<double> envelopeDb(const StereoSignal& signal, double frameSeconds) {
    const size_t frame = std::max<size_t>(1, static_cast<size_t>(frameSeconds * signal.rateHz));
    std::vector<double> out;
    for (size_t first = 0; first + frame <= signal.frames(); first += frame) out.push_back(rmsDb(signal, first, frame));
    return out;
}

Rise largestRise(const std::vector<double>& envelope, size_t first, double floorDb) {
    Rise worst;
    for (size_t i = std::max<size_t>(first, 1); i < envelope.size(); ++i) {
        const double rise = std::max(envelope[i], floorDb) - std::max(envelope[i - 1], floorDb);
        if (rise > worst.db) worst = {i, rise};
    }
    return worst;
}

size_t silentFrom(const std::vector<double>& envelope, double levelDb) {
    size_t from = envelope.size();
    while (from > 0 && envelope[from - 1] < levelDb) --from;
    return from;
}

}  // namespace measure
