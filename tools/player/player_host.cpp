#include "tools/player/player_host.h"

#include <cstring>

namespace {

HostIdentity playerIdentity() {
    HostIdentity identity;
    identity.version = kStandaloneHostVersion;
    identity.product = "talvex";
    return identity;
}

const char* const kCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"};
const char* const kCannotDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "sizeWindow", "offline",
                                 "openFileSelector", "closeFileSelector",   "supportShell", "startStopProcess"};

// Writes the texts one after the other, each ended by a zero, and an empty
// one after them, as far as they fit whole; the number written.
VstIntPtr writeTexts(const std::vector<std::string>& texts, StandaloneHostText* out) {
    if (out == nullptr || out->bytes == nullptr || out->capacity < 1) return 0;
    const size_t capacity = static_cast<size_t>(out->capacity);
    size_t used = 0;
    VstIntPtr written = 0;
    for (const std::string& text : texts) {
        if (text.empty() || used + text.size() + 2 > capacity) break;
        std::memcpy(out->bytes + used, text.c_str(), text.size() + 1);
        used += text.size() + 1;
        ++written;
    }
    out->bytes[used] = 0;
    return written;
}

}  // namespace

PlayerHost::PlayerHost(double sampleRate, int32_t blockSize) : HostCallback(playerIdentity(), sampleRate, blockSize) {}

void PlayerHost::setDeviceLists(std::vector<std::string> audio, std::vector<std::string> midi, std::string formatRule) {
    std::lock_guard<std::mutex> lock(listsMutex_);
    audioDevices_ = std::move(audio);
    midiDevices_ = std::move(midi);
    formatRule_ = std::move(formatRule);
}

VstIntPtr PlayerHost::canDo(const char* feature) const {
    for (const char* name : kCanDo)
        if (std::strcmp(feature, name) == 0) return 1;
    for (const char* name : kCannotDo)
        if (std::strcmp(feature, name) == 0) return -1;
    return 0;
}

VstIntPtr PlayerHost::answerQuery(VstIntPtr what, void* ptr) {
    auto* out = static_cast<StandaloneHostText*>(ptr);
    std::lock_guard<std::mutex> lock(listsMutex_);
    if (what == kStandaloneQueryAudioDevices) return writeTexts(audioDevices_, out);
    if (what == kStandaloneQueryMidiDevices) return writeTexts(midiDevices_, out);
    if (what == kStandaloneQueryFormatRule)
        return writeTexts(formatRule_.empty() ? std::vector<std::string>{} : std::vector<std::string>{formatRule_},
                          out);
    return 0;
}

VstIntPtr PlayerHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterAutomate:
            // The Settings menu's choices; host-visible parameters need no
            // answer from a host that records no automation.
            if (index >= kPlayerSampleRateParameter && index <= kPlayerMidiDeviceParameter)
                requests_.fetch_or(1u << (index - kPlayerSampleRateParameter), std::memory_order_acq_rel);
            return 0;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(time_.load(std::memory_order_acquire));
        case audioMasterUpdateDisplay:
            displayUpdates_.fetch_add(1, std::memory_order_relaxed);
            return 1;
        case audioMasterGetCurrentProcessLevel:
            return 0;
        case audioMasterVendorSpecific:
            if (index == kStandaloneHostQuery) return answerQuery(value, ptr);
            return 0;
        default:
            return HostCallback::answer(opcode, index, value, ptr, opt);
    }
}
