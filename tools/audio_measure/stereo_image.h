// The low end's mono compatibility: below a crossover, how alike left and
// right are, and how much level a mono fold-down ((L + R) / 2) loses.
#pragma once

#include "tools/audio_measure/stereo_signal.h"

namespace measure {

struct LowEndImage {
    double correlation = 1.0;   // -1 .. 1; 1 when the band is silent
    double foldDownLossDb = 0.0;  // mean of the sides' power over the fold-down's
    double levelDb = -240.0;    // RMS of the band, both channels
};

// The band is taken through a fourth-order Butterworth low-pass.
LowEndImage measureLowEnd(const StereoSignal& signal, double crossoverHz = 150.0);

}  // namespace measure
