// The host side of the VST 2.4 interface as the renderer presents it: the
// audioMaster callback and what it answers. One RenderHost is active per
// process (the callback has no user pointer of its own, and a plug-in calls
// it before its AEffect exists), so the callback reaches the active one.
//
// Threads: the callback may come from the render thread and from any thread
// the plug-in runs itself (a timer, say); automation records and counters
// are guarded, the time record is written by the render thread between
// process calls only.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vst/aeffectx.h"

struct AutomationRecord {
    enum class Kind { Automate, BeginEdit, EndEdit };
    int64_t frame;  // start of the block being rendered when the call came
    int32_t index;
    float value;    // audioMasterAutomate only
    Kind kind = Kind::Automate;
};

struct HostIdentity {
    VstInt32 version = kVstVersion;  // the answer to audioMasterVersion
    std::string vendor = "Talvex";
    std::string product = "talvex-render";
    VstInt32 vendorVersion = 1100;
};

class RenderHost {
public:
    RenderHost(const HostIdentity& identity, double sampleRate, int32_t blockSize);
    ~RenderHost();
    RenderHost(const RenderHost&) = delete;
    RenderHost& operator=(const RenderHost&) = delete;

    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);

    // The record handed out for audioMasterGetTime; without time info the
    // host answers 0, as hosts without a transport do.
    void setTimeInfo(const VstTimeInfo& info) { time_ = info; }
    void setAnswersTimeInfo(bool answers) { answersTime_ = answers; }
    void setBlockFrame(int64_t frame) { blockFrame_.store(frame, std::memory_order_relaxed); }

    std::vector<AutomationRecord> automation() const;
    int updateDisplayCalls() const { return updateDisplayCalls_.load(std::memory_order_relaxed); }
    int timeRequests() const { return timeRequests_.load(std::memory_order_relaxed); }

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    HostIdentity identity_;
    double sampleRate_;
    int32_t blockSize_;
    VstTimeInfo time_{};
    bool answersTime_ = true;
    std::atomic<int64_t> blockFrame_{0};
    std::atomic<int> updateDisplayCalls_{0};
    std::atomic<int> timeRequests_{0};
    mutable std::mutex automationMutex_;
    std::vector<AutomationRecord> automation_;
};
