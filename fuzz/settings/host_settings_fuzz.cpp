// The instance's own settings and default bank as the store hands them over
// at construction: arbitrary key files for Settings and Data, read by a new
// instance (as the maker's stand-alone host or as another host, by the first
// byte), which must then render within limits and, on close, leave settings
// that read back as written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/engine_fuzz_support.h"
#include "host/standalone_host.h"
#include "platform/registry_store.h"

namespace {

using platform::RegistryStore;

const std::string kSettingsKey = "software\\TalvexBass\\Settings";
const std::string kDataKey = "software\\TalvexBass\\Data";

bool g_standalone = false;

VstIntPtr VSTCALLBACK host(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode == audioMasterVersion) return g_standalone ? kStandaloneHostVersion : 2400;
    return engine_fuzz::host(effect, opcode, index, value, ptr, opt);
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    engine_fuzz::settingsFolder();
    if (size < 3) return 0;
    // Byte 0: the host; bytes 1 and 2: how many of the rest go to the
    // Settings key file; the remainder is the Data key file.
    g_standalone = (data[0] & 1) != 0;
    const size_t split = std::min<size_t>(size - 3, static_cast<size_t>(data[1]) | (static_cast<size_t>(data[2]) << 8));
    writeFile(RegistryStore::keyFilePath(kSettingsKey), data + 3, split);
    writeFile(RegistryStore::keyFilePath(kDataKey), data + 3 + split, size - 3 - split);

    auto* effect = new Effect(&host);
    const Settings settings = effect->settings();
    const std::string audioDevice = settings.audioDevice;
    if (audioDevice.size() > 127 || std::strlen(settings.midiDevice) > 127) std::abort();
    engine_fuzz::renderChecked(*effect, 2, 256);
    AEffect* plugin = effect->getAeffect();
    plugin->dispatcher(plugin, effClose, 0, 0, nullptr, 0.0f);  // writes the settings and deletes the instance

    uint32_t v = 0;
    if (!RegistryStore::readDword(kSettingsKey, "TooltipsOn", v) || v != (settings.tooltipsOn ? 1u : 0u)) std::abort();
    if (!RegistryStore::readDword(kSettingsKey, "BankSelected", v) || v != static_cast<uint32_t>(settings.bankSelected))
        std::abort();
    std::string text;
    if (!RegistryStore::readString(kSettingsKey, "FirstUse", text, 255) || text != "X") std::abort();
    if (g_standalone) {
        if (!RegistryStore::readString(kSettingsKey, "AudioDevice", text, 127) || text != audioDevice) std::abort();
        if (!RegistryStore::readDword(kSettingsKey, "SampleRate", v) || v != static_cast<uint32_t>(settings.sampleRate))
            std::abort();
    }
    return 0;
}
