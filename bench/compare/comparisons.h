// The comparisons: which Talvex module against which peer plug-in, with
// what settings, and the cost ratio each is expected to stay within.
#pragma once

#include <string>
#include <vector>

#include "bench/compare/parameter_setting.h"

namespace benchcompare {

struct Contender {
    std::string source;  // "talvex:KavoReverb" or a .so path
    std::vector<Setting> settings;
};

struct Comparison {
    std::string name;
    bool instrument = false;   // plays the held chord instead of the noise
    Contender talvex;
    Contender peer;
    double goalRatio = 1.0;    // Talvex cost / peer cost, per voice or channel
};

// `vstFolder` holds the peers (/usr/lib/vst on Debian).
std::vector<Comparison> comparisons(const std::string& vstFolder);

// Notes of the held chord in the synthesizer comparison.
constexpr int kChordNotes = 16;
constexpr int kChordLowestKey = 40;

}  // namespace benchcompare
