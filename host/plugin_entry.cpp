// The plug-in's entry points. Hosts look up VSTPluginMain first and main
// after it; both are the same function. C++ cannot define a function called
// main that returns a pointer, so the Linux build gives the second entry its
// name through an assembler label and the Windows build through the export
// definition file.
#include <cstdint>

#include "host/effect.h"

#if defined(_WIN32)
#include <windows.h>
#define TALVEX_EXPORT extern "C" __declspec(dllexport)
#else
#define TALVEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
AEffect* createInstance(audioMasterCallback audioMaster) {
    // A pointer this small is no callback: the entry was run as a program.
    if (reinterpret_cast<uintptr_t>(audioMaster) < 0x100) return nullptr;
    // A host that answers 0 is too old for this plug-in.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* effect = new Effect(audioMaster);
    return effect->getAeffect();
}
}  // namespace

TALVEX_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    return createInstance(audioMaster);
}

#if !defined(_WIN32) && !defined(TALVEX_NO_MAIN_ENTRY)
TALVEX_EXPORT AEffect* VSTCALLBACK talvexMainEntry(audioMasterCallback audioMaster) __asm__("main");
TALVEX_EXPORT AEffect* VSTCALLBACK talvexMainEntry(audioMasterCallback audioMaster) {
    return createInstance(audioMaster);
}
#endif

#if defined(_WIN32)
// DllMain only records the module handle; resources and the plug-in path
// are found through it.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) platform::setModuleHandle(instance);
    return TRUE;
}
#endif
