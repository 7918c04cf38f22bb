// What the audio thread (and the program-change timer) tell the editor: a
// few flags and a ring of output samples for the oscilloscope. Writers never
// wait and never touch a window; the editor's idle call reads them.
#pragma once

#include <atomic>
#include <cstdint>

// Single writer (the audio thread), single reader (the editor's idle call).
// The reader takes the newest frames; frames overwritten while it copies only
// blur one trace of one frame, never the memory.
class ScopeRing {
public:
    static constexpr uint32_t kFrames = 32768;

    void write(const float* left, const float* right, int frames) {
        uint32_t w = written_.load(std::memory_order_relaxed);
        for (int i = 0; i < frames; ++i, ++w) {
            left_[w & (kFrames - 1)].store(left[i], std::memory_order_relaxed);
            right_[w & (kFrames - 1)].store(right[i], std::memory_order_relaxed);
        }
        written_.store(w, std::memory_order_release);
    }
    // Copies the newest count frames (count <= kFrames), oldest first.
    // Returns how many frames were ever written (for noticing new data).
    uint32_t readLatest(float* left, float* right, uint32_t count) const {
        const uint32_t w = written_.load(std::memory_order_acquire);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t k = (w - count + i) & (kFrames - 1);
            left[i] = left_[k].load(std::memory_order_relaxed);
            right[i] = right_[k].load(std::memory_order_relaxed);
        }
        return w;
    }

private:
    std::atomic<uint32_t> written_{0};
    std::atomic<float> left_[kFrames] = {};
    std::atomic<float> right_[kFrames] = {};
};

struct AudioMirror {
    // -1: nothing new; else the new state (0 or 1).
    std::atomic<int> playButton{-1};
    std::atomic<int> previewSwitch{-1};
    std::atomic<bool> padDirty{false};
    std::atomic<bool> allDirty{false};
    // Set by the editor while its oscilloscope is on; the ring is fed only then.
    std::atomic<bool> scopeWanted{false};
    ScopeRing scope;
};
