// The settings an instance keeps between sessions, in the settings store.
#include "host/effect.h"
#include "platform/registry_store.h"

namespace {

const std::string kSettingsKey = "software\\TalvexBass\\Settings";
constexpr size_t kDeviceNameChars = 127;

}  // namespace

void Effect::readSettings() {
    using platform::RegistryStore;
    uint32_t v = 0;
    if (RegistryStore::readDword(kSettingsKey, "ScopeOn", v)) settings_.scopeOn = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "MultiOutputsMode", v)) settings_.multiOutputsMode = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "TooltipsOn", v)) settings_.tooltipsOn = v != 0;
    if (RegistryStore::readDword(kSettingsKey, "BankSelected", v)) settings_.bankSelected = static_cast<int>(v);
    if (RegistryStore::readDword(kSettingsKey, "SaveDefaultBank", v)) settings_.saveDefaultBank = v != 0;
    std::string text;
    if (RegistryStore::readString(kSettingsKey, "FirstUse", text, 255) && !text.empty()) settings_.firstUse = false;
    if (standaloneHost_) {
        text.clear();
        RegistryStore::readString(kSettingsKey, "AudioDevice", text, kDeviceNameChars);
        vst_strncpy(settings_.audioDevice, text.c_str(), sizeof(settings_.audioDevice));
        text.clear();
        RegistryStore::readString(kSettingsKey, "MidiDevice", text, kDeviceNameChars);
        vst_strncpy(settings_.midiDevice, text.c_str(), sizeof(settings_.midiDevice));
        if (RegistryStore::readDword(kSettingsKey, "SampleRate", v)) settings_.sampleRate = static_cast<int>(v);
        if (RegistryStore::readDword(kSettingsKey, "BufferSize", v)) settings_.bufferSize = static_cast<int>(v);
    }
}

void Effect::writeSettings() {
    using platform::RegistryStore;
    RegistryStore::writeDword(kSettingsKey, "ScopeOn", settings_.scopeOn ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "MultiOutputsMode", settings_.multiOutputsMode ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "CurProgram", static_cast<uint32_t>(currentProgram_.load()));
    RegistryStore::writeDword(kSettingsKey, "TooltipsOn", settings_.tooltipsOn ? 1 : 0);
    RegistryStore::writeDword(kSettingsKey, "BankSelected", static_cast<uint32_t>(settings_.bankSelected));
    RegistryStore::writeDword(kSettingsKey, "SaveDefaultBank", settings_.saveDefaultBank ? 1 : 0);
    RegistryStore::writeString(kSettingsKey, "FirstUse", "X");
    if (standaloneHost_) {
        RegistryStore::writeString(kSettingsKey, "AudioDevice", settings_.audioDevice);
        RegistryStore::writeString(kSettingsKey, "MidiDevice", settings_.midiDevice);
        RegistryStore::writeDword(kSettingsKey, "SampleRate", static_cast<uint32_t>(settings_.sampleRate));
        RegistryStore::writeDword(kSettingsKey, "BufferSize", static_cast<uint32_t>(settings_.bufferSize));
    }
}
