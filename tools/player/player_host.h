// The player as the plug-in's host: it answers the host-version query as
// the maker's stand-alone host, hands out the transport's time record, and
// takes the editor's Settings choices, which arrive as automation of the
// private parameters, as requests for the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/standalone_host.h"
#include "tools/vst_host/host_callback.h"

// The private parameters through which the plug-in's Settings menu talks to
// its stand-alone host.
constexpr VstInt32 kPlayerSampleRateParameter = 0x20000;
constexpr VstInt32 kPlayerBufferSizeParameter = 0x20001;
constexpr VstInt32 kPlayerAudioDeviceParameter = 0x20002;
constexpr VstInt32 kPlayerMidiDeviceParameter = 0x20003;

enum SettingsRequestBits : uint32_t {
    kRequestSampleRate = 1,
    kRequestBufferSize = 2,
    kRequestAudioDevice = 4,
    kRequestMidiDevice = 8,
};

class PlayerHost final : public HostCallback {
public:
    PlayerHost(double sampleRate, int32_t blockSize);

    // Audio thread: the record audioMasterGetTime hands out during the block.
    void publishTime(const VstTimeInfo* info) { time_.store(info, std::memory_order_release); }

    // User-interface thread: the Settings choices that arrived since the
    // last call, as SettingsRequestBits.
    uint32_t takeSettingsRequests() { return requests_.exchange(0, std::memory_order_acq_rel); }

    // The device lists and the rule the player's editor offers through the
    // stand-alone host query (host/standalone_host.h).
    void setDeviceLists(std::vector<std::string> audio, std::vector<std::string> midi, std::string formatRule);

    int displayUpdates() const { return displayUpdates_.load(std::memory_order_relaxed); }

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstIntPtr canDo(const char* feature) const override;
    VstIntPtr answerQuery(VstIntPtr what, void* ptr);

    std::atomic<const VstTimeInfo*> time_{nullptr};
    std::atomic<uint32_t> requests_{0};
    std::atomic<int> displayUpdates_{0};
    std::mutex listsMutex_;
    std::vector<std::string> audioDevices_;
    std::vector<std::string> midiDevices_;
    std::string formatRule_;
};
