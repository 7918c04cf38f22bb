// Where a MIDI message that arrived while the previous block played lands
// in the block being rendered now. The block rendered at callback time T
// stands for the period that ended at T, played one period later: a message
// that arrived at t lands (t - (T - period)) · rate frames into the block,
// so the distances between messages survive, whatever the callback jitter,
// at the cost of one period of latency. Messages older than the period land
// on the first frame, later ones (clock skew) on the last.
#pragma once

#include <cstdint>

inline int frameInBlock(int64_t arrivalNanos, int64_t callbackNanos, int frames, double sampleRate) {
    if (frames <= 0) return 0;
    const double periodNanos = frames * 1e9 / sampleRate;
    const double sinceStart = static_cast<double>(arrivalNanos - callbackNanos) + periodNanos;
    if (sinceStart <= 0.0) return 0;
    const double frame = sinceStart * sampleRate / 1e9;
    if (frame >= frames - 1) return frames - 1;
    return static_cast<int>(frame);
}
