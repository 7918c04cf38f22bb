// Power-of-two delay rings with fractional reads. The owner keeps the write
// index (several rings may share one); the slot at the write index is about to
// be overwritten, so it holds the oldest sample, one ring length old, and the
// slot before it holds the newest. A read at distance d therefore returns the
// input of d samples ago, interpolated between slots.
//
// The read position is formed in double precision: with a float the position
// near the top of a 2^19 ring would only resolve 1/32 of a sample and a
// gliding delay would step audibly.
//
// The slots live in RingStorage: a ring may take over the block of one that
// has gone, pages mapped and holding that ring's signal.
#pragma once

#include <algorithm>

#include <cstddef>

#include "effects/dsp/ring_storage.h"

namespace fxdsp {

// For the owner that reads whatever a recycled block holds as silence and
// clears it in its own time (see EchoEngine): the ring leaves it as it is.
struct KeepOldSignal {};

template <int kBits>
class DelayRing {
public:
    static constexpr int kSize = 1 << kBits;
    static constexpr int kMask = kSize - 1;

    // Silent from the start: a block taken back from the store is zeroed
    // here, and the ring again only when the effect is switched back on.
    DelayRing() : data_(kSize) {
        if (data_.recycled()) clear();
    }
    // Silent from the start unless heldOldSignal().
    explicit DelayRing(KeepOldSignal) : data_(kSize), heldOldSignal_(data_.recycled()) {}
    // Made with KeepOldSignal from a block an earlier ring had used: the
    // slots held what that ring left in them from the start.
    bool heldOldSignal() const { return heldOldSignal_; }

    void clear() { std::fill_n(data_.data(), kSize, 0.0f); }
    // Silence in the first `slots` slots (all of them from kSize on): a ring
    // whose owner has written it from slot 0 onwards since it last held
    // silence holds nothing beyond them. Returns the bytes cleared.
    std::size_t clearFirst(int slots) {
        const std::size_t n = slots <= 0 ? 0 : slots >= kSize ? kSize : static_cast<std::size_t>(slots);
        std::fill_n(data_.data(), n, 0.0f);
        return n * sizeof(float);
    }

    // Silence in count slots from slot first on (all within the ring).
    void clearSlots(int first, int count) { std::fill_n(data_.data() + first, count, 0.0f); }

    // The slots themselves, for runs that stay clear of the end.
    float* slots() { return data_.data(); }
    const float* slotsAt(int index) const { return data_.data() + index; }
    float at(int index) const { return data_.data()[index & kMask]; }
    void store(int index, float value) { data_.data()[index & kMask] = value; }

    // A read position split into the slot before it and the fraction of the
    // way to the next slot. Rings of the same size sharing a write index can
    // share one position.
    struct Position {
        int index;
        float frac;
    };
    // delaySamples must lie in 0 .. kSize.
    static Position position(int writeIndex, double delaySamples) {
        double r = static_cast<double>(writeIndex) - delaySamples;
        if (r < 0.0) r += kSize;
        const int i = static_cast<int>(r);
        return {i, static_cast<float>(r - i)};
    }

    // Linear interpolation between the two slots around the read position.
    float readLinear(Position p) const {
        const float x0 = at(p.index);
        const float x1 = at(p.index + 1);
        return x0 + p.frac * (x1 - x0);
    }
    float readLinear(int writeIndex, double delaySamples) const {
        return readLinear(position(writeIndex, delaySamples));
    }

    // Four-point, third-order Hermite interpolation between the slots at the
    // read position and its neighbours. Every one of the four slots must hold
    // history: delaySamples must lie in kMinHermiteDelay .. kMaxHermiteDelay.
    float readHermite(int writeIndex, double delaySamples) const {
        double r = static_cast<double>(writeIndex) - delaySamples;
        if (r < 0.0) r += kSize;
        const int j = static_cast<int>(r);
        const float f = static_cast<float>(r - j);
        const float xm1 = at(j - 1);
        const float x0 = at(j);
        const float x1 = at(j + 1);
        const float x2 = at(j + 2);
        const float c1 = 0.5f * (x1 - xm1);
        const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
        const float c3 = 1.5f * (x0 - x1) + 0.5f * (x2 - xm1);
        return x0 + f * (c1 + f * (c2 + f * c3));
    }

    // Above 2 the newest of the four points is already written; below
    // kSize - 1 the oldest is not yet overwritten.
    static constexpr double kMinHermiteDelay = 3.0;
    static constexpr double kMaxHermiteDelay = kSize - 2.0;

private:
    RingStorage data_;
    bool heldOldSignal_ = false;
};

// Clamps a read distance into [lo, hi]; a NaN distance (from a NaN parameter
// or sample rate) becomes lo, so the read never leaves the ring.
inline double clampDelay(double delaySamples, double lo, double hi) {
    if (!(delaySamples >= lo)) return lo;
    if (delaySamples > hi) return hi;
    return delaySamples;
}

}  // namespace fxdsp
