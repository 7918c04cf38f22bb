// What the comparisons play: stereo noise whose level swells and falls (so
// dynamics processors keep moving), and a held chord for the synthesizers.
#pragma once

#include <cstdint>
#include <vector>

#include "vst/aeffectx.h"

namespace benchcompare {

struct StereoSignal {
    std::vector<float> left, right;
    int64_t frames() const { return static_cast<int64_t>(left.size()); }
};

// Uncorrelated noise on each channel, peak near 0.9 (-1 dBFS), under a
// 2 Hz swell between -20 dB and 0 dB. Deterministic.
StereoSignal swellingNoise(double sampleRate, double seconds);

// Note-ons at frame 0, MIDI channel 1, velocity 100: `notes` notes from
// `lowestKey` upwards in minor thirds. The list points into the object.
class HeldChord {
public:
    HeldChord(int notes, int lowestKey);
    VstEvents* events() { return reinterpret_cast<VstEvents*>(storage_.data()); }

private:
    std::vector<VstMidiEvent> midi_;
    std::vector<VstIntPtr> storage_;
};

}  // namespace benchcompare
