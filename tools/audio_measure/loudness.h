// Programme loudness (ITU-R BS.1770 / EBU R128 integrated), true peak
// (4x oversampled, as the same recommendation specifies), sample peak,
// RMS level and DC offset of a stereo render.
#pragma once

#include "tools/audio_measure/stereo_signal.h"

namespace measure {

struct LoudnessFigures {
    double integratedLufs = -240.0;  // -240: below the absolute gate throughout
    double truePeakDbtp = -240.0;    // the larger of the two channels
    double samplePeakDb = -240.0;
    double rmsDb = -240.0;           // both channels together
    double dcLeft = 0.0, dcRight = 0.0;
    double lengthSeconds = 0.0;
};

LoudnessFigures measureLoudness(const StereoSignal& signal);

// RMS level of both channels over frames first .. first + count, in dBFS.
double rmsDb(const StereoSignal& signal, size_t first, size_t count);

}  // namespace measure
