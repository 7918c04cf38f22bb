// The renderer's transport: a timeline with tempo, time signature, play and
// stop, from which each block's VstTimeInfo is made. Changes are scheduled
// at render frames and take effect with the first block that starts at or
// after that frame, as a host's transport changes between process calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vst/aeffectx.h"

struct TransportChange {
    enum class Kind { Play, Stop, Locate, Tempo, TimeSignature };
    Kind kind = Kind::Play;
    int64_t frame = 0;          // render frame at which the change is due
    double value = 0.0;         // Locate: position in quarter notes; Tempo: BPM
    int numerator = 4;          // TimeSignature
    int denominator = 4;
};

struct TransportSettings {
    double sampleRate = 44100.0;
    double tempoBpm = 120.0;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool playing = true;
};

class Transport {
public:
    explicit Transport(const TransportSettings& settings);

    // Changes in any order; they are applied by frame, ties in given order.
    void schedule(const TransportChange& change);

    // The time information for the block that starts at renderFrame and
    // lasts frames; call once per block, in order.
    const VstTimeInfo& beginBlock(int64_t renderFrame);
    void endBlock(int32_t frames);

    bool playing() const { return playing_; }
    double tempoBpm() const { return tempoBpm_; }

private:
    void apply(const TransportChange& change);
    double ppqAt(double samplePos) const;

    double sampleRate_;
    double tempoBpm_;
    int numerator_;
    int denominator_;
    bool playing_;
    bool changed_ = true;  // the first block reports a change: there was no transport before it
    double samplePos_ = 0.0;
    // The quarter-note position is measured from the last tempo change or
    // locate, so that long renders do not accumulate rounding.
    double anchorSamplePos_ = 0.0;
    double anchorPpq_ = 0.0;
    // Bars are counted from the last time-signature change.
    double barAnchorPpq_ = 0.0;
    int64_t renderFrame_ = 0;
    std::vector<TransportChange> pending_;
    size_t nextPending_ = 0;
    VstTimeInfo info_{};
};

// Parses one change as written on the command line: play@T, stop@T,
// locate@T=QUARTERS, tempo@T=BPM, sig@T=N/D, where T is a time value
// (frames, s, ms or b at the starting tempo).
bool parseTransportChange(std::string_view text, double sampleRate, double tempoBpm, TransportChange& out,
                          std::string& error);
bool parseTimeSignature(std::string_view text, int& numerator, int& denominator);
