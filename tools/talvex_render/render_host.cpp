#include "tools/talvex_render/render_host.h"

#include <cstring>

namespace {

// What this host does: it sends MIDI and time information and brackets
// processing with effStartProcess/effStopProcess. Its editor frame has a
// fixed size; no offline interface, no plug-in MIDI output.
const char* const kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "startStopProcess"};
const char* const kHostCannotDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "reportConnectionChanges",
                                     "acceptIOChanges",  "sizeWindow",          "offline",
                                     "openFileSelector", "closeFileSelector",   "supplyIdle",
                                     "supportShell",     "shellCategory",       "editFile"};

}  // namespace

RenderHost::RenderHost(const HostIdentity& identity, double sampleRate, int32_t blockSize)
    : HostCallback(identity, sampleRate, blockSize) {
    time_.sampleRate = sampleRate;
    time_.tempo = 120.0;
    time_.timeSigNumerator = 4;
    time_.timeSigDenominator = 4;
    time_.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstBarsValid;
}

std::vector<AutomationRecord> RenderHost::automation() const {
    std::lock_guard<std::mutex> lock(automationMutex_);
    return automation_;
}

VstIntPtr RenderHost::canDo(const char* text) const {
    for (const char* feature : kHostCanDo)
        if (std::strcmp(text, feature) == 0) return 1;
    for (const char* feature : kHostCannotDo)
        if (std::strcmp(text, feature) == 0) return -1;
    return 0;
}

VstIntPtr RenderHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterAutomate: {
            std::lock_guard<std::mutex> lock(automationMutex_);
            automation_.push_back(AutomationRecord{blockFrame_.load(std::memory_order_relaxed), index, opt});
            return 0;
        }
        case audioMasterBeginEdit:
        case audioMasterEndEdit: {
            // The gesture brackets an editor sends around a drag.
            std::lock_guard<std::mutex> lock(automationMutex_);
            automation_.push_back(AutomationRecord{blockFrame_.load(std::memory_order_relaxed), index, 0.0f,
                                                   opcode == audioMasterBeginEdit
                                                       ? AutomationRecord::Kind::BeginEdit
                                                       : AutomationRecord::Kind::EndEdit});
            return 1;
        }
        case audioMasterGetTime:
            timeRequests_.fetch_add(1, std::memory_order_relaxed);
            // The whole record is always filled, whatever the request mask
            // asks for; the flags say which fields are valid.
            return answersTime_ ? reinterpret_cast<VstIntPtr>(&time_) : 0;
        case audioMasterUpdateDisplay:
            updateDisplayCalls_.fetch_add(1, std::memory_order_relaxed);
            return 1;
        default:
            return HostCallback::answer(opcode, index, value, ptr, opt);
    }
}
