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

    // Runs one block of frames: an entry whose delay d falls inside the
    // block is handed to dispatch(entry, frame) at frame d (a negative delay
    // at frame 0), entries of one frame in queue order, frames in ascending
    // order; the others carry over with d - frames. Linear in entries and
    // frames: a stable counting sort by frame, skipped when the entries due
    // are in order already (as hosts send them).
    template <class Dispatch>
    void runBlock(VstInt32 frames, Dispatch&& dispatch) {
        if (count_ == 0 || frames <= 0) return;
        if (frames > kMaxFrames) frames = kMaxFrames;
        bool ordered = true;
        VstInt32 last = 0;
        int due = 0;
        for (int i = 0; i < count_; ++i) {
            const VstInt32 f = leaveFrame(entries_[i]);
            if (f >= frames) continue;
            ++due;
            if (f < last) ordered = false;
            last = f;
        }
        if (due == 0) {
            for (int i = 0; i < count_; ++i) entries_[i].delayFrames -= frames;
            return;
        }
        if (ordered) {
            for (int i = 0; i < count_; ++i)
                if (leaveFrame(entries_[i]) < frames) dispatch(entries_[i], leaveFrame(entries_[i]));
        } else {
            for (VstInt32 f = 0; f <= frames; ++f) frameStart_[f] = 0;
            for (int i = 0; i < count_; ++i) {
                const VstInt32 f = leaveFrame(entries_[i]);
                if (f < frames) ++frameStart_[f + 1];
            }
            for (VstInt32 f = 0; f < frames; ++f) frameStart_[f + 1] += frameStart_[f];
            for (int i = 0; i < count_; ++i) {
                const VstInt32 f = leaveFrame(entries_[i]);
                if (f < frames) order_[frameStart_[f]++] = static_cast<int16_t>(i);
            }
            for (int k = 0; k < due; ++k) {
                const Entry& e = entries_[order_[k]];
                dispatch(e, leaveFrame(e));
            }
        }
        int kept = 0;
        for (int i = 0; i < count_; ++i) {
            Entry e = entries_[i];
            if (leaveFrame(e) < frames) continue;
            e.delayFrames -= frames;
            entries_[kept++] = e;
        }
        count_ = kept;
    }

private:
    // The longest block the queue is run for; the renderer splits longer
    // host blocks into pieces of this size.
    static constexpr VstInt32 kMaxFrames = 16384;
    static VstInt32 leaveFrame(const Entry& e) { return e.delayFrames < 0 ? 0 : e.delayFrames; }

    Entry entries_[kCapacity];
    int count_ = 0;
    // Counting-sort scratch of runBlock.
    int frameStart_[kMaxFrames + 1] = {};
    int16_t order_[kCapacity] = {};
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
