// Fixed-capacity queues of the render engine. None of them allocates after
// construction.
#pragma once

#include <atomic>
#include <cstdint>

#include "vst/aeffectx.h"

// Host MIDI events waiting for their frame. Filled by processEvents and
// drained by processReplacing, both on the audio thread.
class IncomingMidiQueue {
public:
    static constexpr int kCapacity = 4096;
    struct Entry {
        VstInt32 delayFrames;
        uint8_t data[3];
    };

    bool push(VstInt32 delayFrames, const uint8_t data[3]) {
        if (count_ >= kCapacity) return false;
        Entry& e = entries_[count_++];
        e.delayFrames = delayFrames;
        e.data[0] = data[0];
        e.data[1] = data[1];
        e.data[2] = data[2];
        return true;
    }
    int size() const { return count_; }
    void clear() { count_ = 0; }

    // Runs one block of frames: at each frame every entry's positive delay
    // counts down by one, and every entry whose delay is then below one is
    // handed to dispatch(entry, frame) and removed, in queue order. Entries
    // still waiting carry over with their remaining delay.
    template <class Dispatch>
    void runBlock(VstInt32 frames, Dispatch&& dispatch) {
        if (count_ == 0 || frames <= 0) return;
        // An entry with delay d leaves at frame max(d - 1, 0); walking the
        // frames that have events only gives the same order as walking all.
        for (;;) {
            VstInt32 nextFrame = frames;
            for (int i = 0; i < count_; ++i) {
                VstInt32 f = leaveFrame(entries_[i]);
                if (f < nextFrame) nextFrame = f;
            }
            if (nextFrame >= frames) break;
            int kept = 0;
            for (int i = 0; i < count_; ++i) {
                Entry e = entries_[i];
                if (leaveFrame(e) == nextFrame) {
                    dispatch(e, nextFrame);
                } else {
                    entries_[kept++] = e;
                }
            }
            count_ = kept;
        }
        for (int i = 0; i < count_; ++i) entries_[i].delayFrames -= frames;
    }

private:
    static VstInt32 leaveFrame(const Entry& e) { return e.delayFrames <= 1 ? 0 : e.delayFrames - 1; }

    Entry entries_[kCapacity];
    int count_ = 0;
};

// (program number, load flag) pairs from MIDI program changes on the audio
// thread to the program-change pump on the timer thread: single producer,
// single consumer, lock-free.
class ProgramChangeQueue {
public:
    static constexpr int kCapacity = 64;
    struct Entry {
        int program;
        bool load;
    };

    bool push(const Entry& entry) {
        const int w = write_.load(std::memory_order_relaxed);
        const int next = (w + 1) % kCapacity;
        if (next == read_.load(std::memory_order_acquire)) return false;
        entries_[w] = entry;
        write_.store(next, std::memory_order_release);
        return true;
    }
    bool pop(Entry& entry) {
        const int r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return false;
        entry = entries_[r];
        read_.store((r + 1) % kCapacity, std::memory_order_release);
        return true;
    }
    bool empty() const {
        return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire);
    }

private:
    Entry entries_[kCapacity];
    std::atomic<int> write_{0};
    std::atomic<int> read_{0};
};
