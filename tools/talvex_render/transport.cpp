#include "tools/talvex_render/transport.h"

#include <algorithm>
#include <cmath>

#include "tools/talvex_render/time_value.h"

namespace {
// MIDI clock: 24 pulses per quarter note.
constexpr double kClocksPerQuarter = 24.0;
// Positions a hair below a bar line or a clock count as on it: the
// quarter-note position is computed in floating point.
constexpr double kPositionTolerance = 1e-9;
}  // namespace

Transport::Transport(const TransportSettings& settings)
    : sampleRate_(settings.sampleRate),
      tempoBpm_(settings.tempoBpm),
      numerator_(settings.timeSigNumerator),
      denominator_(settings.timeSigDenominator),
      playing_(settings.playing) {}

void Transport::schedule(const TransportChange& change) {
    pending_.push_back(change);
    std::stable_sort(pending_.begin() + static_cast<std::ptrdiff_t>(nextPending_), pending_.end(),
                     [](const TransportChange& a, const TransportChange& b) { return a.frame < b.frame; });
}

double Transport::ppqAt(double samplePos) const {
    return anchorPpq_ + (samplePos - anchorSamplePos_) / sampleRate_ * tempoBpm_ / 60.0;
}

void Transport::apply(const TransportChange& change) {
    switch (change.kind) {
        case TransportChange::Kind::Play:
            if (!playing_) changed_ = true;
            playing_ = true;
            break;
        case TransportChange::Kind::Stop:
            if (playing_) changed_ = true;
            playing_ = false;
            break;
        case TransportChange::Kind::Locate:
            anchorPpq_ = change.value;
            samplePos_ = change.value * 60.0 / tempoBpm_ * sampleRate_;
            anchorSamplePos_ = samplePos_;
            barAnchorPpq_ = 0.0;
            changed_ = true;
            break;
        case TransportChange::Kind::Tempo:
            anchorPpq_ = ppqAt(samplePos_);
            anchorSamplePos_ = samplePos_;
            tempoBpm_ = change.value;
            break;
        case TransportChange::Kind::TimeSignature: {
            // The bar under way becomes the first bar of the new metre.
            double ppq = ppqAt(samplePos_);
            double barQuarters = numerator_ * 4.0 / denominator_;
            if (ppq >= barAnchorPpq_)
                barAnchorPpq_ += std::floor((ppq - barAnchorPpq_) / barQuarters + kPositionTolerance) * barQuarters;
            numerator_ = change.numerator;
            denominator_ = change.denominator;
            break;
        }
    }
}

const VstTimeInfo& Transport::beginBlock(int64_t renderFrame) {
    renderFrame_ = renderFrame;
    while (nextPending_ < pending_.size() && pending_[nextPending_].frame <= renderFrame)
        apply(pending_[nextPending_++]);

    const double ppq = ppqAt(samplePos_);
    const double barQuarters = numerator_ * 4.0 / denominator_;
    double barStart = barAnchorPpq_;
    if (ppq >= barAnchorPpq_)
        barStart += std::floor((ppq - barAnchorPpq_) / barQuarters + kPositionTolerance) * barQuarters;

    double clocks = ppq * kClocksPerQuarter;
    double nextClock = std::ceil(clocks - kPositionTolerance);
    double samplesPerClock = 60.0 / tempoBpm_ / kClocksPerQuarter * sampleRate_;

    info_ = VstTimeInfo{};
    info_.samplePos = samplePos_;
    info_.sampleRate = sampleRate_;
    // Deterministic "system time": the render position, so that two renders
    // of the same input produce the same bytes.
    info_.nanoSeconds = static_cast<double>(renderFrame) / sampleRate_ * 1e9;
    info_.ppqPos = ppq;
    info_.tempo = tempoBpm_;
    info_.barStartPos = barStart;
    info_.timeSigNumerator = numerator_;
    info_.timeSigDenominator = denominator_;
    info_.samplesToNextClock = static_cast<VstInt32>(std::lround((nextClock - clocks) * samplesPerClock));
    info_.flags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                  kVstClockValid;
    if (playing_) info_.flags |= kVstTransportPlaying;
    if (changed_) info_.flags |= kVstTransportChanged;
    changed_ = false;
    return info_;
}

void Transport::endBlock(int32_t frames) {
    if (playing_) samplePos_ += frames;
}

bool parseTimeSignature(std::string_view text, int& numerator, int& denominator) {
    size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    int64_t n = 0, d = 0;
    if (!parseInteger(text.substr(0, slash), n) || !parseInteger(text.substr(slash + 1), d)) return false;
    if (n < 1 || n > 64) return false;
    if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16 && d != 32 && d != 64) return false;
    numerator = static_cast<int>(n);
    denominator = static_cast<int>(d);
    return true;
}

bool parseTransportChange(std::string_view text, double sampleRate, double tempoBpm, TransportChange& out,
                          std::string& error) {
    error = "bad transport change '" + std::string(text) + "'";
    size_t at = text.find('@');
    if (at == std::string_view::npos) return false;
    std::string_view kind = text.substr(0, at);
    std::string_view rest = text.substr(at + 1);
    std::string_view argument;
    size_t equals = rest.find('=');
    if (equals != std::string_view::npos) {
        argument = rest.substr(equals + 1);
        rest = rest.substr(0, equals);
    }
    TimeValue time;
    if (!parseTimeValue(rest, time)) return false;
    TransportChange change;
    change.frame = timeValueToFrames(time, sampleRate, tempoBpm);
    if (kind == "play" || kind == "stop") {
        if (equals != std::string_view::npos) return false;
        change.kind = kind == "play" ? TransportChange::Kind::Play : TransportChange::Kind::Stop;
    } else if (kind == "locate") {
        change.kind = TransportChange::Kind::Locate;
        if (!parseDouble(argument, change.value) || change.value < 0.0) return false;
    } else if (kind == "tempo") {
        change.kind = TransportChange::Kind::Tempo;
        if (!parseDouble(argument, change.value) || change.value <= 0.0 || change.value > 1000.0) return false;
    } else if (kind == "sig") {
        change.kind = TransportChange::Kind::TimeSignature;
        if (!parseTimeSignature(argument, change.numerator, change.denominator)) return false;
    } else {
        return false;
    }
    error.clear();
    out = change;
    return true;
}
