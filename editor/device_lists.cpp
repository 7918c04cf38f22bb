#include "editor/device_lists.h"

#include <cstring>

std::vector<std::string> standaloneHostTexts(audioMasterCallback host, AEffect* effect, VstIntPtr query) {
    std::vector<std::string> texts;
    if (host == nullptr) return texts;
    // The last byte stays zero whatever the host writes within its capacity.
    std::vector<char> bytes(16384, 0);
    StandaloneHostText text{bytes.data(), static_cast<VstInt32>(bytes.size() - 1)};
    const VstIntPtr count = host(effect, audioMasterVendorSpecific, kStandaloneHostQuery, query, &text, 0.0f);
    constexpr VstIntPtr kMaxTexts = 256;
    for (size_t at = 0; at < bytes.size() && bytes[at] != 0 && static_cast<VstIntPtr>(texts.size()) < count &&
                        static_cast<VstIntPtr>(texts.size()) < kMaxTexts;) {
        const size_t length = strnlen(bytes.data() + at, bytes.size() - at);
        texts.emplace_back(bytes.data() + at, length);
        at += length + 1;
    }
    return texts;
}

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>

std::vector<std::string> audioOutputDeviceNames() {
    std::vector<std::string> names;
    const UINT count = waveOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR) names.emplace_back(caps.szPname);
    }
    HKEY asio = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\asio", 0, KEY_READ, &asio) == ERROR_SUCCESS) {
        constexpr DWORD kMaxAsioDrivers = 8;
        for (DWORD i = 0; i < kMaxAsioDrivers; ++i) {
            char name[256];
            DWORD length = sizeof(name);
            if (RegEnumKeyExA(asio, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        RegCloseKey(asio);
    }
    return names;
}

std::vector<std::string> midiInputDeviceNames() {
    std::vector<std::string> names;
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR) names.emplace_back(caps.szPname);
    }
    return names;
}

#else

std::vector<std::string> audioOutputDeviceNames() { return {}; }
std::vector<std::string> midiInputDeviceNames() { return {}; }

#endif
