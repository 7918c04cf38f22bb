// Clicks: single sample-to-sample steps that stand out from the signal's
// own high-frequency content around them.
//
// The step signal is the first difference d[n] = x[n] - x[n-1]. Its
// context is the largest |d| in the window before the step and in the
// window after it, each leaving out the few frames next to the step (a
// band-limited step spreads over them). A step is a click when it is
// above an absolute floor and more than `ratio` times its context on
// both sides. Periodic edges (a low saw, a pulse), noise and drum hits
// have steps of their own size within the window and do not count; a
// discontinuity in a smooth tone, a voice cut off mid-cycle or a loop
// seam does.
#pragma once

#include <vector>

#include "tools/audio_measure/stereo_signal.h"

namespace measure {

struct ClickSettings {
    double ratio = 4.0;          // how far the step must stand out
    double floor = 0.01;         // smallest step that can be heard as a click (-40 dBFS)
    double windowSeconds = 0.03; // context on each side: longer than one period down to 34 Hz
    int guardFrames = 4;         // frames next to the step left out of its context
};

struct Click {
    size_t frame = 0;
    int channel = 0;
    double step = 0.0;   // |d| at the click
    double ratio = 0.0;  // step over its context
};

// Steps within 10 ms of each other are one click (the strongest is kept).
std::vector<Click> findClicks(const StereoSignal& signal, const ClickSettings& settings = {});
std::vector<Click> findClicks(const std::vector<float>& channel, double rateHz, const ClickSettings& settings = {},
                              int channelNumber = 0);

// The largest step-over-context ratio of any step above the floor: how
// close the signal comes to a click.
double worstStepRatio(const StereoSignal& signal, const ClickSettings& settings = {});

}  // namespace measure
