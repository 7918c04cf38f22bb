#include "tools/audio_measure/similarity.h"

#include <algorithm>
#include <cmath>

#include "tools/audio_measure/envelope.h"
#include "tools/audio_measure/spectrum.h"

namespace measure {

Fingerprint fingerprint(const StereoSignal& signal) {
    Fingerprint f;
    const std::vector<double> power = averagePowerSpectrum(signal.mono());
    double total = 0.0;
    for (size_t k = 1; k < power.size(); ++k) total += power[k];
    const double totalDb = 10.0 * std::log10(total + 1e-20);
    for (double band : thirdOctaveLevelsDb(power, signal.rateHz)) f.bandsDb.push_back(std::max(band - totalDb, -60.0));

    const std::vector<double> env = envelopeDb(signal, 0.01);
    const double top = env.empty() ? 0.0 : *std::max_element(env.begin(), env.end());
    std::vector<double> rises(env.size(), 0.0);
    for (size_t i = 1; i < env.size(); ++i)
        rises[i] = std::max(0.0, std::max(env[i], top - 60.0) - std::max(env[i - 1], top - 60.0));
    f.onsets.assign(env.size(), 0.0);
    for (size_t i = 0; i < env.size(); ++i) {
        double sum = 0.0;
        for (size_t j = (i > 0 ? i - 1 : 0); j <= std::min(env.size() - 1, i + 1); ++j) sum += rises[j];
        f.onsets[i] = sum;
    }
    return f;
}

namespace {

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0.0;
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= static_cast<double>(n);
    mb /= static_cast<double>(n);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

}  // namespace

Likeness compare(const Fingerprint& a, const Fingerprint& b) {
    Likeness l;
    const size_t bands = std::min(a.bandsDb.size(), b.bandsDb.size());
    double sum = 0.0;
    for (size_t i = 0; i < bands; ++i) sum += (a.bandsDb[i] - b.bandsDb[i]) * (a.bandsDb[i] - b.bandsDb[i]);
    l.spectralDb = bands > 0 ? std::sqrt(sum / static_cast<double>(bands)) : 0.0;
    l.rhythmCorrelation = correlation(a.onsets, b.onsets);
    l.distance = l.spectralDb + 10.0 * (1.0 - l.rhythmCorrelation);
    return l;
}

}  // namespace measure
