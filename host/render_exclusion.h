// Waiting for the renderer. Writers raise one of the owner's counters first;
// the renderer sets its in-progress flag first and then checks the counters
// (both sequentially consistent), so once a writer has seen the flag clear no
// block is using the project until the counter goes down again.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

constexpr uint32_t kRendererWaitLimitMs = 5000;

// Waits while the flag is set, at most limitMs by the tick count. Returns
// false on timeout.
inline bool waitForRenderer(const std::atomic<bool>& renderInProgress, uint32_t limitMs) {
    const uint32_t start = platform::tickCountMs();
    while (renderInProgress.load()) {
        if (platform::tickCountMs() - start > limitMs) return false;
        platform::sleepMs(1);
    }
    return true;
}
