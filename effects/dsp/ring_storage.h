// Storage for delay rings, kept for the next ring when its owner goes.
//
// A project change destroys every effect of the old project and makes those
// of the new one, whose echo, chorus and reverb lines are megabytes each.
// Freshly allocated, those megabytes came back from the system as new pages
// every time, and zeroing them (with a page fault every 4 KB) was most of the
// work of a change. Here a ring's block goes to a process-wide store when the
// ring goes, and the next ring of that size takes it: its pages are mapped
// already. A block taken back still holds what its last ring held; the new
// owner either zeroes it or reads it as silence (the echo does the latter).
//
// Rings are made and destroyed on loading and editing threads only, never on
// the audio thread: the store takes a lock.
#pragma once

#include <cstddef>

namespace fxdsp {

// The store keeps idle blocks of at most this many bytes in all, about four
// times what the rings of the largest built-in project take (8.2 MB: two
// echoes and a chorus); a block returned beyond that is given back to the
// system.
constexpr std::size_t kRingStoreIdleBytesMax = 32u << 20;

// One ring's slots, taken from the store or made new.
class RingStorage {
public:
    // A block of `slots` floats: an idle one of that size from the store,
    // or a new one, zeroed and resident (so that the audio thread never
    // touches a fresh page). Throws std::bad_alloc when the system refuses.
    explicit RingStorage(std::size_t slots);
    ~RingStorage();
    RingStorage(const RingStorage&) = delete;
    RingStorage& operator=(const RingStorage&) = delete;

    float* data() { return data_; }
    const float* data() const { return data_; }
    std::size_t size() const { return slots_; }
    // The block came from the store and holds what its last ring left in it;
    // false: all zero.
    bool recycled() const { return recycled_; }

private:
    float* data_ = nullptr;
    std::size_t slots_ = 0;
    bool recycled_ = false;
};

// The store's idle blocks, and all blocks given out and not yet returned.
struct RingStoreFigures {
    std::size_t idleBlocks = 0;
    std::size_t idleBytes = 0;
    std::size_t usedBlocks = 0;
    std::size_t usedBytes = 0;
};
RingStoreFigures ringStoreFigures();

// Gives every idle block back to the system: the next rings start from new
// blocks (tests; a host could call it when it closes the last instance).
void releaseIdleRingStorage();

}  // namespace fxdsp
