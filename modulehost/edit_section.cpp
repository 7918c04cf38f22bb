#include "modulehost/edit_section.h"

#include <atomic>
#include <cstdio>

#include "modulehost/render_wait_record.h"
#include "modulehost/slot_owner.h"
#include "platform/platform.h"

void reportRenderWaitTimeout(uint32_t waitStartTick) {
    // The text, misspelling included, is what the maker's tools look for.
    std::printf("InstruentTicks %i\n", static_cast<int>(waitStartTick));
    std::fflush(stdout);
}

namespace {
std::atomic<uint32_t> longestWaitMs{0};
}

void recordRenderWait(uint32_t waitedMs) {
    uint32_t longest = longestWaitMs.load(std::memory_order_relaxed);
    while (waitedMs > longest && !longestWaitMs.compare_exchange_weak(longest, waitedMs, std::memory_order_relaxed)) {
    }
}

uint32_t longestRenderWaitMs() { return longestWaitMs.load(std::memory_order_relaxed); }

template <class Busy>
void EditSection::enter(uint32_t settleMs, uint32_t waitLimitMs, Busy busy) {
    if (counter_.fetch_add(1) + 1 == 1 && settleMs > 0) platform::sleepMs(settleMs);
    waitStartTick_ = platform::tickCountMs();
    while (busy()) {
        if (platform::tickCountMs() - waitStartTick_ > waitLimitMs) {
            timedOut_ = true;
            reportRenderWaitTimeout(waitStartTick_);
            break;
        }
        platform::sleepMs(1);
    }
    recordRenderWait(platform::tickCountMs() - waitStartTick_);
}

EditSection::EditSection(std::atomic<int>& counter, std::atomic<bool>& renderInProgress, uint32_t settleMs,
                         uint32_t waitLimitMs)
    : counter_(counter) {
    enter(settleMs, waitLimitMs, [&renderInProgress] { return renderInProgress.load(); });
}

EditSection::EditSection(SlotOwner& owner, uint32_t settleMs, uint32_t waitLimitMs) : counter_(owner.editCounter()) {
    enter(settleMs, waitLimitMs, [&owner] { return owner.projectInUse(); });
}

EditSection::~EditSection() {
    // The renderer forces the edit counter back to 0 after a long stall; a
    // plain decrement would then leave it at -1, and the next writer's
    // increment would bring it only to 0, letting blocks render during its
    // edit. So the count never goes below 0.
    int value = counter_.load();
    while (value > 0 && !counter_.compare_exchange_weak(value, value - 1)) {
    }
}
