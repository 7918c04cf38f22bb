// Per-sample bookkeeping shared by the effects: a counter that fires the
// smoothing step once every kControlPeriodSamples samples, and the splitting of
// a block into runs of samples that share one set of smoothed coefficients, so
// that the inner loops keep their state in locals.
#pragma once

#include "effects/dsp/smoothing.h"

namespace fxdsp {

class ControlClock {
public:
    // Counts one sample. True when this sample runs the smoothing step (every
    // 16th sample; the first step comes on the 16th sample after construction).
    bool tick() {
        if (++count_ >= kControlPeriodSamples) {
            count_ = 0;
            return true;
        }
        return false;
    }
    // Samples after the one just counted that still belong to the same period.
    int samplesLeftInPeriod() const { return kControlPeriodSamples - 1 - count_; }
    // Counts samples known not to reach the end of the period.
    void skip(int samples) { count_ += samples; }
    // Counts samples as tick() would, for a block whose smoothing steps
    // are known to change nothing.
    void advance(int samples) { count_ = (count_ + samples) % kControlPeriodSamples; }
    void reset() { count_ = 0; }

private:
    int count_ = 0;
};

// Drives one block. For the first sample of every run it calls onControl()
// when the smoothing step is due, then perSampleEvents() when events may be
// waiting (hasEvents() true), then render(offset, count) for a run of count
// samples starting at offset. While events are waiting every run is one
// sample long, so that an event acts exactly at its frame.
template <class HasEvents, class OnControl, class PerSampleEvents, class Render>
void runControlledBlock(ControlClock& clock, int frames, HasEvents&& hasEvents, OnControl&& onControl,
                        PerSampleEvents&& perSampleEvents, Render&& render) {
    int offset = 0;
    while (offset < frames) {
        if (clock.tick()) onControl();
        const bool events = hasEvents();
        if (events) perSampleEvents();
        int count = 1;
        if (!events) {
            const int rest = frames - offset - 1;
            const int left = clock.samplesLeftInPeriod();
            const int extra = rest < left ? rest : left;
            clock.skip(extra);
            count += extra;
        }
        render(offset, count);
        offset += count;
    }
}

}  // namespace fxdsp
