// Song-synchronised envelope triggers of the filter effect. Once per block
// the host's time information gives the sixteenth-note grid; every grid
// point inside the block whose sixteenth number has no bits of the step mask
// set becomes a trigger at its frame offset.
#pragma once

#include <cstdint>

#include "vst/aeffectx.h"

class FilterTriggers {
public:
    // A sixteenth shorter than this many samples means a tempo far beyond
    // music (over 40000 BPM at 44.1 kHz); no triggers are made then, which
    // also bounds the list below.
    static constexpr double kMinSixteenthSamples = 16.0;
    static constexpr int kCapacity = 2048;

    // Rebuilds the list for a block of frames. No list without time
    // information or while the transport is stopped.
    void build(const VstTimeInfo* time, int frames, int64_t mask);

    // Frame at which trigger n fires: one frame before its offset, and at the
    // first frame for offsets 0 and 1 (each trigger counts down from its
    // offset and fires when the count reaches 0).
    int count() const { return count_; }
    int fireFrame(int n) const { return offsets_[n] > 0 ? offsets_[n] - 1 : 0; }
    int offset(int n) const { return offsets_[n]; }

private:
    int offsets_[kCapacity];
    int count_ = 0;
};
