// Timed rendering: the same number of frames through processReplacing in
// host-sized blocks, several times over, with the CPU time of each pass.
#pragma once

#include <vector>

#include "bench/compare/bench_plugin.h"
#include "bench/compare/test_signals.h"

namespace benchcompare {

struct TimingPlan {
    double sampleRate = 44100.0;
    int blockSize = 512;
    double seconds = 10.0;        // audio per timed pass
    double warmupSeconds = 1.0;   // rendered before the first pass, untimed
    int repetitions = 7;
};

struct Timing {
    std::vector<double> threadSeconds;   // one per pass
    std::vector<double> processSeconds;
    double medianThreadSeconds = 0.0;
    double medianProcessSeconds = 0.0;
    // Untimed check pass after timing: level of the output, level of what
    // the plug-in changed (output minus input on the same pin; shows that an
    // effect did not pass its input through), and whether the output held
    // only finite samples.
    double outputRmsDb = -200.0;
    double changeRmsDb = -200.0;
    bool outputFinite = true;
    int inputs = 0, outputs = 0;
};

class BlockRunner;

// Timed passes over one plug-in. It plays `input` (channel c of the plug-in
// gets channel c % 2; looped when shorter than a pass) or, for instruments,
// nothing; MIDI events given are sent once before the warm-up and held.
// Passes of two timers can be interleaved, so that a change in the machine's
// load during a comparison falls on both sides alike.
class RenderTimer {
public:
    RenderTimer(BenchPlugin& plugin, const TimingPlan& plan, const StereoSignal* input, VstEvents* events);
    ~RenderTimer();
    RenderTimer(const RenderTimer&) = delete;
    RenderTimer& operator=(const RenderTimer&) = delete;

    void timePass();
    // The check pass and the medians.
    Timing finish();

private:
    TimingPlan plan_;
    BlockRunner* runner_;
    Timing timing_;
};

// All passes of one plug-in in a row.
Timing timeRendering(BenchPlugin& plugin, const TimingPlan& plan, const StereoSignal* input, VstEvents* events);

double median(std::vector<double> values);

}  // namespace benchcompare
