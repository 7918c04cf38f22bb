// Level envelopes: RMS of short frames in dBFS, with the questions asked
// of them (the steepest rise, when a sound has died away).
#pragma once

#include <cstddef>
#include <vector>

#include "tools/audio_measure/stereo_signal.h"

namespace measure {

// RMS of both channels per frame of frameSeconds, in dBFS.
std::vector<double> envelopeDb(const StereoSignal& signal, double frameSeconds = 0.01);

struct Rise {
    size_t frame = 0;  // envelope frame where the rise ends
    double db = 0.0;
};
// The largest level rise from one envelope frame to the next, from frame
// `first` on; frames quieter than floorDb are taken as floorDb, so that
// noise in near-silence does not count.
Rise largestRise(const std::vector<double>& envelope, size_t first, double floorDb = -70.0);

// The first frame from which the envelope stays below levelDb to its end;
// envelope.size() when it never settles there.
size_t silentFrom(const std::vector<double>& envelope, double levelDb);

}  // namespace measure
