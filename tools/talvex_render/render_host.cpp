#include "tools/talvex_render/render_host.h"

#include <cstring>

#include "vst/audioeffectx.h"

namespace {

std::atomic<RenderHost*> g_activeHost{nullptr};

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
    : identity_(identity), sampleRate_(sampleRate), blockSize_(blockSize) {
    time_.sampleRate = sampleRate;
    time_.tempo = 120.0;
    time_.timeSigNumerator = 4;
    time_.timeSigDenominator = 4;
    time_.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstBarsValid;
    g_activeHost.store(this);
}

RenderHost::~RenderHost() {
    RenderHost* self = this;
    g_activeHost.compare_exchange_strong(self, nullptr);
}

std::vector<AutomationRecord> RenderHost::automation() const {
    std::lock_guard<std::mutex> lock(automationMutex_);
    return automation_;
}

VstIntPtr VSTCALLBACK RenderHost::callback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt) {
    RenderHost* host = g_activeHost.load();
    if (host == nullptr) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr RenderHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr /*value*/, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterVersion:
            return identity_.version;
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
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterGetVendorString:
            if (ptr == nullptr) return 0;
            vst_strncpy(static_cast<char*>(ptr), identity_.vendor.c_str(), kVstMaxVendorStrLen);
            return 1;
        case audioMasterGetProductString:
            if (ptr == nullptr) return 0;
            vst_strncpy(static_cast<char*>(ptr), identity_.product.c_str(), kVstMaxProductStrLen);
            return 1;
        case audioMasterGetVendorVersion:
            return identity_.vendorVersion;
        case audioMasterCanDo: {
            const char* text = static_cast<const char*>(ptr);
            if (text == nullptr) return 0;
            for (const char* feature : kHostCanDo)
                if (std::strcmp(text, feature) == 0) return 1;
            for (const char* feature : kHostCannotDo)
                if (std::strcmp(text, feature) == 0) return -1;
            return 0;
        }
        case audioMasterUpdateDisplay:
            updateDisplayCalls_.fetch_add(1, std::memory_order_relaxed);
            return 1;
        default:
            return 0;
    }
}
