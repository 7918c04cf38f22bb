// The host side of the VST 2.4 interface as the renderer presents it: what
// it answers besides the shared answers of HostCallback (time information,
// automation records, display updates).
//
// Threads: the callback may come from the render thread and from any thread
// the plug-in runs itself (a timer, say); automation records and counters
// are guarded, the time record is written by the render thread between
// process calls only.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "tools/vst_host/host_callback.h"

struct AutomationRecord {
    enum class Kind { Automate, BeginEdit, EndEdit };
    int64_t frame;  // start of the block being rendered when the call came
    int32_t index;
    float value;    // audioMasterAutomate only
    Kind kind = Kind::Automate;
};

class RenderHost final : public HostCallback {
public:
    RenderHost(const HostIdentity& identity, double sampleRate, int32_t blockSize);

    // The record handed out for audioMasterGetTime; without time info the
    // host answers 0, as hosts without a transport do.
    void setTimeInfo(const VstTimeInfo& info) { time_ = info; }
    void setAnswersTimeInfo(bool answers) { answersTime_ = answers; }
    void setBlockFrame(int64_t frame) { blockFrame_.store(frame, std::memory_order_relaxed); }

    std::vector<AutomationRecord> automation() const;
    int updateDisplayCalls() const { return updateDisplayCalls_.load(std::memory_order_relaxed); }
    int timeRequests() const { return timeRequests_.load(std::memory_order_relaxed); }

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstIntPtr canDo(const char* feature) const override;

    VstTimeInfo time_{};
    bool answersTime_ = true;
    std::atomic<int64_t> blockFrame_{0};
    std::atomic<int> updateDisplayCalls_{0};
    std::atomic<int> timeRequests_{0};
    mutable std::mutex automationMutex_;
    std::vector<AutomationRecord> automation_;
};
