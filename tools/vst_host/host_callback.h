// The host side of the VST 2.4 interface: the audioMaster callback and the
// answers every host of this project gives alike (its identity, rate and
// block size). A host derives from HostCallback and answers the rest.
//
// One HostCallback is active per process: the callback has no user pointer
// of its own, and a plug-in calls it before its AEffect exists, so the
// callback reaches the active one. It may be entered from any thread the
// plug-in or the host runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "vst/aeffectx.h"

struct HostIdentity {
    VstInt32 version = kVstVersion;  // the answer to audioMasterVersion
    std::string vendor = "Talvex";
    std::string product = "talvex-render";
    VstInt32 vendorVersion = 1100;
};

class HostCallback {
public:
    HostCallback(const HostIdentity& identity, double sampleRate, int32_t blockSize);
    virtual ~HostCallback();
    HostCallback(const HostCallback&) = delete;
    HostCallback& operator=(const HostCallback&) = delete;

    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);

    // What audioMasterGetSampleRate and audioMasterGetBlockSize answer.
    void setStreamFormat(double sampleRate, int32_t blockSize);
    double sampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }
    int32_t blockSize() const { return blockSize_.load(std::memory_order_relaxed); }

protected:
    // The host's own answers; the base answers identity, format and canDo.
    virtual VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // 1 for what the host does, -1 for what it does not, 0 when it does not know.
    virtual VstIntPtr canDo(const char* feature) const;
    const HostIdentity& identity() const { return identity_; }

private:
    HostIdentity identity_;
    std::atomic<double> sampleRate_;
    std::atomic<int32_t> blockSize_;
};
