#include "tools/player/player_transport.h"

#include <cmath>

void PlayerTransport::setTempo(double bpm) {
    if (!std::isfinite(bpm)) return;
    tempoBpm_.store(bpm < kMinTempoBpm ? kMinTempoBpm : bpm > kMaxTempoBpm ? kMaxTempoBpm : bpm,
                    std::memory_order_relaxed);
}

const VstTimeInfo& PlayerTransport::beginBlock(double sampleRate) {
    const bool playing = playing_.load(std::memory_order_relaxed);
    blockTempo_ = tempoBpm_.load(std::memory_order_relaxed);
    blockRate_ = sampleRate;
    VstInt32 flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstBarsValid;
    if (playing) flags |= kVstTransportPlaying;
    if (playing != wasPlaying_ || blockTempo_ != lastTempo_) flags |= kVstTransportChanged;
    wasPlaying_ = playing;
    lastTempo_ = blockTempo_;
    info_.samplePos = samplePos_;
    info_.sampleRate = sampleRate;
    info_.ppqPos = ppqPos_;
    info_.tempo = blockTempo_;
    info_.barStartPos = std::floor(ppqPos_ / 4.0) * 4.0;
    info_.timeSigNumerator = 4;
    info_.timeSigDenominator = 4;
    info_.flags = flags;
    return info_;
}

void PlayerTransport::endBlock(int frames) {
    if (!wasPlaying_ || frames <= 0 || blockRate_ <= 0.0) return;
    samplePos_ += frames;
    ppqPos_ += frames / blockRate_ * blockTempo_ / 60.0;
}
