// What the targets that drive the whole main object share: a host whose
// transport plays, one instance made once per process over a settings folder
// of its own, and blocks rendered and checked (finite, within the output
// limit) after the input was applied.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/effect.h"

namespace engine_fuzz {

inline VstTimeInfo& timeInfo() {
    static VstTimeInfo info = [] {
        VstTimeInfo t{};
        t.sampleRate = 44100.0;
        t.tempo = 120.0;
        t.timeSigNumerator = 4;
        t.timeSigDenominator = 4;
        t.flags = kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying;
        return t;
    }();
    return info;
}

inline VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&timeInfo());
    return 0;
}

// A settings folder of this process's own, so that no stored bank of the
// user reaches the instance and nothing the target writes reaches the user.
inline const std::string& settingsFolder() {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / ("talvex_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        setenv("XDG_CONFIG_HOME", path.c_str(), 1);
        return path.string();
    }();
    return folder;
}

inline Effect& sharedEffect() {
    static Effect* effect = [] {
        settingsFolder();
        return new Effect(&host);
    }();
    return *effect;
}

// Renders blocks of the given size and aborts on an output sample that is
// not finite or leaves the output limit.
inline void renderChecked(Effect& effect, int blocks, int frames) {
    static std::vector<float> left(kMaxBlockFrames), right(kMaxBlockFrames);
    float* outputs[2] = {left.data(), right.data()};
    for (int b = 0; b < blocks; ++b) {
        effect.processReplacing(nullptr, outputs, frames);
        timeInfo().samplePos += frames;
        for (int i = 0; i < frames; ++i)
            if (!(std::fabs(left[static_cast<size_t>(i)]) <= 0.99f) ||
                !(std::fabs(right[static_cast<size_t>(i)]) <= 0.99f)) {
                std::fprintf(stderr, "output sample %d of block %d is %g, %g\n", i, b,
                             static_cast<double>(left[static_cast<size_t>(i)]),
                             static_cast<double>(right[static_cast<size_t>(i)]));
                std::abort();
            }
    }
}

}  // namespace engine_fuzz
