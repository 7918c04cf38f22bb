// A bounded lock-free queue of short MIDI messages with their arrival time,
// from the threads that receive MIDI (a device's callback thread, the
// computer keyboard on the user-interface thread) to the audio callback.
// Any number of producers and consumers; push and pop never allocate, lock
// or wait, and a full queue refuses the message instead of blocking.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct TimedMidiMessage {
    int64_t arrivalNanos = 0;  // steady clock
    uint8_t bytes[3] = {0, 0, 0};
};

template <size_t Capacity>
class MidiMessageQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    MidiMessageQueue() {
        for (size_t i = 0; i < Capacity; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    }

    bool push(const TimedMidiMessage& message) {
        size_t position = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & (Capacity - 1)];
            const size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const intptr_t difference = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(position);
            if (difference == 0) {
                if (tail_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    cell.message = message;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (difference < 0) {
                return false;  // full
            } else {
                position = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    bool pop(TimedMidiMessage& message) {
        size_t position = head_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & (Capacity - 1)];
            const size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const intptr_t difference = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(position + 1);
            if (difference == 0) {
                if (head_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    message = cell.message;
                    cell.sequence.store(position + Capacity, std::memory_order_release);
                    return true;
                }
            } else if (difference < 0) {
                return false;  // empty
            } else {
                position = head_.load(std::memory_order_relaxed);
            }
        }
    }

    // The message pop would return next, left in the queue; only for a
    // single consumer.
    bool peek(TimedMidiMessage& message) const {
        const size_t position = head_.load(std::memory_order_relaxed);
        const Cell& cell = cells_[position & (Capacity - 1)];
        if (cell.sequence.load(std::memory_order_acquire) != position + 1) return false;
        message = cell.message;
        return true;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence{0};
        TimedMidiMessage message;
    };
    std::array<Cell, Capacity> cells_;
    alignas(64) std::atomic<size_t> tail_{0};
    alignas(64) std::atomic<size_t> head_{0};
};
