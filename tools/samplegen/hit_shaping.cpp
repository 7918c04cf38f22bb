#include "tools/samplegen/hit_shaping.h"

#include <cmath>

namespace samplegen {

void pinEnds(std::vector<double>& x, double tailFadeSeconds) {
    DcBlocker blocker(kDrumRate);
    for (double& v : x) v = blocker.process(v);
    fadeInHead(x, 0.0004, kDrumRate);
    fadeOutTail(x, tailFadeSeconds, kDrumRate);
}

RenderedSample finishHit(std::vector<double> x, double peakDb, double tailFadeSeconds) {
    pinEnds(x, tailFadeSeconds);
    RenderedSample s;
    s.rateHz = kDrumRate;
    s.channels.push_back(std::move(x));
    normalisePeak(s.channels, peakDb);
    return s;
}

void addNoiseBurst(std::vector<double>& out, Rng& rng, Biquad filter, double tauSeconds, double gain,
                   double startSeconds) {
    for (size_t n = 0; n < out.size(); ++n) {
        double t = timeOf(n) - startSeconds;
        double env = t < 0.0 ? 0.0 : expDecay(t, tauSeconds);
        out[n] += gain * filter.process(rng.bipolar() * env);
    }
}

void saturate(std::vector<double>& x, double drive) {
    double norm = 1.0 / std::tanh(drive);
    for (double& v : x) v = std::tanh(drive * v) * norm;
}

}  // namespace samplegen
