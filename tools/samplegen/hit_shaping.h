// What the drum sets have in common: their rate, the finish every hit gets
// (offset taken out, both ends pinned to zero, peak set), bursts of
// filtered noise and soft saturation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/samplegen/sample_catalogue.h"
#include "tools/samplegen/synth_kit.h"

namespace samplegen {

constexpr double kDrumRate = 44100.0;

inline size_t framesFor(double seconds) { return static_cast<size_t>(seconds * kDrumRate); }
inline double timeOf(size_t n) { return static_cast<double>(n) / kDrumRate; }

// A struck body swings further on its first half-cycle than on its return,
// which leaves a small offset in the recording; a sub-audio high-pass takes
// it out, then a 0.4 ms rise (below what the ear resolves: a drum still
// sounds instant, and the host is spared a step from silence) and a linear
// tail fade pin both ends to exactly zero.
void pinEnds(std::vector<double>& x, double tailFadeSeconds);
// pinEnds, then the peak set to `peakDb` dBFS: a finished mono hit.
RenderedSample finishHit(std::vector<double> x, double peakDb, double tailFadeSeconds);

// Noise through `filter` under an exponential envelope starting at
// `startSeconds`; the filter runs after the envelope so onsets are smoothed.
void addNoiseBurst(std::vector<double>& out, Rng& rng, Biquad filter, double tauSeconds, double gain,
                   double startSeconds = 0.0);

// Soft saturation normalised to unity at full scale: adds the upper
// harmonics that make a low drum audible on small speakers.
void saturate(std::vector<double>& x, double drive);

}  // namespace samplegen
