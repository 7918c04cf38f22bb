#include "tools/vst_host/host_callback.h"

#include "vst/audioeffectx.h"

namespace {
std::atomic<HostCallback*> g_activeHost{nullptr};
}  // namespace

HostCallback::HostCallback(const HostIdentity& identity, double sampleRate, int32_t blockSize)
    : identity_(identity), sampleRate_(sampleRate), blockSize_(blockSize) {
    g_activeHost.store(this);
}

HostCallback::~HostCallback() {
    HostCallback* self = this;
    g_activeHost.compare_exchange_strong(self, nullptr);
}

void HostCallback::setStreamFormat(double sampleRate, int32_t blockSize) {
    sampleRate_.store(sampleRate, std::memory_order_relaxed);
    blockSize_.store(blockSize, std::memory_order_relaxed);
}

VstIntPtr VSTCALLBACK HostCallback::callback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt) {
    HostCallback* host = g_activeHost.load();
    if (host == nullptr) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr HostCallback::canDo(const char* /*feature*/) const { return 0; }

VstIntPtr HostCallback::answer(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/, void* ptr, float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion:
            return identity_.version;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate());
        case audioMasterGetBlockSize:
            return blockSize();
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
        case audioMasterCanDo:
            return ptr != nullptr ? canDo(static_cast<const char*>(ptr)) : 0;
        default:
            return 0;
    }
}
