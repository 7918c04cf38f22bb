// The writer side of the renderer exclusion. Whoever creates or destroys
// modules, or replaces the project, raises one of the owner's counters and
// waits until no block is rendering; the renderer sets its in-progress flag
// first, then checks the counters, and clears the flag again (rendering
// silence) while a counter is raised. Both sides use sequentially consistent
// operations: with weaker ordering the flag store and the counter load could
// pass each other and both sides would go ahead.
#pragma once

#include <atomic>
#include <cstdint>

class SlotOwner;

// A pause after the counter has become 1, before the wait for the flag
// (nested sections skip it). None: a block that has just checked the
// counters raised its flag before it did, so the wait below sees it.
constexpr uint32_t kEditSettleMs = 0;
// Longest wait for the in-progress flag. A renderer stuck for longer is
// reported and the edit goes ahead: a host that stalls its audio thread must
// not hang the user interface.
constexpr uint32_t kRenderWaitLimitMs = 5000;

class EditSection {
public:
    // Any thread except the audio thread.
    EditSection(std::atomic<int>& counter, std::atomic<bool>& renderInProgress, uint32_t settleMs = kEditSettleMs,
                uint32_t waitLimitMs = kRenderWaitLimitMs);
    // Waits on the owner's projectInUse() rather than the flag alone.
    explicit EditSection(SlotOwner& owner, uint32_t settleMs = kEditSettleMs,
                         uint32_t waitLimitMs = kRenderWaitLimitMs);
    ~EditSection();

    EditSection(const EditSection&) = delete;
    EditSection& operator=(const EditSection&) = delete;

    bool timedOut() const { return timedOut_; }
    uint32_t waitStartTick() const { return waitStartTick_; }

private:
    template <class Busy>
    void enter(uint32_t settleMs, uint32_t waitLimitMs, Busy busy);

    std::atomic<int>& counter_;
    bool timedOut_ = false;
    uint32_t waitStartTick_ = 0;
};

// Writes the wait-timeout line "InstruentTicks <tick>\n" to standard output.
void reportRenderWaitTimeout(uint32_t waitStartTick);
