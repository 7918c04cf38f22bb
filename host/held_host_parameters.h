// Host parameter values that arrived while a project or program change kept
// the tracks out of reach. A host automating a satellite or a planet right
// after a program change must not lose the move: the value is held here and
// carried to the tracks once they are back, by the thread that finishes the
// change and, for a value that came in after that, by the next block.
//
// One slot per parameter, the latest value wins; nothing waits or allocates.
#pragma once

#include <atomic>

class HeldHostParameters {
public:
    static constexpr int kCount = 80;

    // Any thread.
    void hold(int index, float value) {
        if (index < 0 || index >= kCount) return;
        values_[index].store(value, std::memory_order_relaxed);
        held_[index].store(true, std::memory_order_release);
        any_.store(true, std::memory_order_release);
    }

    // The thread that owns the tracks (the renderer, or the writer that
    // replaced them): hands each held value to apply(index, value). A value
    // held again while this runs is applied now or at the next call.
    template <class Apply>
    void drain(Apply&& apply) {
        if (!any_.exchange(false, std::memory_order_acq_rel)) return;
        for (int i = 0; i < kCount; ++i)
            if (held_[i].exchange(false, std::memory_order_acq_rel))
                apply(i, values_[i].load(std::memory_order_relaxed));
    }

private:
    std::atomic<float> values_[kCount] = {};
    std::atomic<bool> held_[kCount] = {};
    std::atomic<bool> any_{false};
};
