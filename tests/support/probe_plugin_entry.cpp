#include "tests/support/probe_plugin_entry.h"

#include "platform/platform.h"
#include "vst/audioeffectx.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

AEffect* createProbe(audioMasterCallback host) {
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return createProbeInstance(host)->getAeffect();
}

}  // namespace

#if defined(_WIN32)
extern "C" AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) { return createProbe(host); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) platform::setModuleHandle(instance);
    return TRUE;
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    return createProbe(host);
}
extern "C" __attribute__((visibility("default"))) AEffect* probeMainEntry(audioMasterCallback host) __asm__("main");
extern "C" AEffect* probeMainEntry(audioMasterCallback host) { return createProbe(host); }
#endif
