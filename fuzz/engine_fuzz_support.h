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

// Files the targets write go to memory when the system offers a memory file
// system: saves flush to the disk, which would otherwise bound a target to a
// few dozen executions a second.
inline std::filesystem::path scratchRoot() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

// A settings folder of this process's own, so that no stored bank of the
// user reaches the instance and nothing the target writes reaches the user.
inline const std::string& settingsFolder() {
    static const std::string folder = [] {
        const auto path = scratchRoot() / ("talvex_fuzz_" + std::to_string(getpid()));
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

// Renders blocks of the given size into as many outputs as the instance
// declares (20 in multi-output mode) and aborts on a master sample that is
// not finite or leaves the output limit, or a sample of another pair that
// is not finite.
inline void renderChecked(Effect& effect, int blocks, int frames) {
    static std::vector<std::vector<float>> buffers(2 * kNumOutputPairsMulti, std::vector<float>(kMaxBlockFrames));
    float* outputs[2 * kNumOutputPairsMulti];
    for (size_t c = 0; c < buffers.size(); ++c) outputs[c] = buffers[c].data();
    const int channels = effect.getAeffect()->numOutputs;
    for (int b = 0; b < blocks; ++b) {
        effect.processReplacing(nullptr, outputs, frames);
        timeInfo().samplePos += frames;
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frames; ++i) {
                const float v = buffers[static_cast<size_t>(c)][static_cast<size_t>(i)];
                if (c < 2 ? std::fabs(v) <= 0.99f : std::isfinite(v)) continue;
                std::fprintf(stderr, "output %d, sample %d of block %d is %g\n", c, i, b, static_cast<double>(v));
                std::abort();
            }
    }
}

}  // namespace engine_fuzz
