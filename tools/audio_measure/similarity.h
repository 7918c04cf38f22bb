// How alike two renders are, in sound and in rhythm.
//
// The sound is the long-term third-octave spectrum, each band relative to
// the render's total power (so that loudness alone makes no difference),
// floored 60 dB down. The rhythm is the onset envelope: per 10 ms frame,
// the rise of the level in dB over the previous frame (falls count 0),
// lightly smoothed. Two renders compare by the RMS difference of their
// spectra in dB and the correlation of their onset envelopes from the
// start (the shorter length); the distance adds 10 dB per unit of
// missing correlation to the spectral difference.
#pragma once

#include <vector>

#include "tools/audio_measure/stereo_signal.h"

namespace measure {

struct Fingerprint {
    std::vector<double> bandsDb;    // relative to the total
    std::vector<double> onsets;
};

Fingerprint fingerprint(const StereoSignal& signal);

struct Likeness {
    double spectralDb = 0.0;       // RMS band difference
    double rhythmCorrelation = 0.0;
    double distance = 0.0;         // spectralDb + 10 (1 - rhythmCorrelation)
};

Likeness compare(const Fingerprint& a, const Fingerprint& b);

}  // namespace measure
