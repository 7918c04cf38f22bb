#include "editor/device_lists.h"

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
