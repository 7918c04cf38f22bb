// Bounded lock-free queue for hand-offs from any number of producer threads
// to one consumer (the audio thread). Each cell carries a sequence number, so
// producers claim cells with one compare-exchange and never wait for each
// other; a full queue refuses the item instead of blocking.
#pragma once

#include <atomic>
#include <cstddef>

template <class T, size_t Capacity>
class BoundedQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    BoundedQueue() {
        for (size_t i = 0; i < Capacity; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Any thread.
    bool push(const T& item) {
        size_t pos = enqueue_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[pos & (Capacity - 1)];
            const size_t seq = cell.sequence.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
            if (diff == 0) {
                if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.item = item;
                    cell.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;  // full
            } else {
                pos = enqueue_.load(std::memory_order_relaxed);
            }
        }
    }

    // The consumer thread only.
    bool pop(T& item) {
        const size_t pos = dequeue_.load(std::memory_order_relaxed);
        Cell& cell = cells_[pos & (Capacity - 1)];
        const size_t seq = cell.sequence.load(std::memory_order_acquire);
        if (static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos + 1) < 0) return false;  // empty
        item = cell.item;
        cell.sequence.store(pos + Capacity, std::memory_order_release);
        dequeue_.store(pos + 1, std::memory_order_relaxed);
        return true;
    }

    // Approximate, for limits and tests.
    size_t size() const {
        const size_t e = enqueue_.load(std::memory_order_relaxed);
        const size_t d = dequeue_.load(std::memory_order_relaxed);
        return e >= d ? e - d : 0;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence;
        T item;
    };
    Cell cells_[Capacity];
    alignas(64) std::atomic<size_t> enqueue_{0};
    alignas(64) std::atomic<size_t> dequeue_{0};
};
