// The player's own transport: play and stop, a tempo in 4/4, and the
// position that runs while it plays. The audio thread makes one time
// record per block from it; any thread may start, stop or set the tempo.
#pragma once

#include <atomic>
#include <cstdint>

#include "vst/aeffectx.h"

class PlayerTransport {
public:
    static constexpr double kMinTempoBpm = 20.0;
    static constexpr double kMaxTempoBpm = 300.0;

    explicit PlayerTransport(double tempoBpm = 120.0) { setTempo(tempoBpm); }

    // Any thread.
    void setPlaying(bool playing) { playing_.store(playing, std::memory_order_relaxed); }
    bool playing() const { return playing_.load(std::memory_order_relaxed); }
    // Clamped to kMinTempoBpm ... kMaxTempoBpm; a value that is not a number is ignored.
    void setTempo(double bpm);
    double tempo() const { return tempoBpm_.load(std::memory_order_relaxed); }

    // Audio thread: the record for the block about to be rendered, and the
    // advance past it.
    const VstTimeInfo& beginBlock(double sampleRate);
    void endBlock(int frames);

private:
    std::atomic<bool> playing_{true};
    std::atomic<double> tempoBpm_{120.0};
    bool wasPlaying_ = false;
    double lastTempo_ = 0.0;
    double samplePos_ = 0.0;
    double ppqPos_ = 0.0;
    double blockTempo_ = 120.0;
    double blockRate_ = 44100.0;
    VstTimeInfo info_{};
};
