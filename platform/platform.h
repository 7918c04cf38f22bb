// The few operating-system services the plug-in needs, behind one interface:
// a millisecond tick count, sleeping, a windowless periodic timer, resource
// lookup and the plug-in's own file path. Win32 and POSIX implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Milliseconds since an arbitrary start; wraps like GetTickCount.
uint32_t tickCountMs();
void sleepMs(uint32_t milliseconds);

// A periodic timer without a window. On Windows it is a SetTimer timer whose
// callback runs on the thread that started it, inside that thread's message
// loop; on Linux there is no host loop to borrow, so it runs on a thread of
// its own. stop() returns only when no callback is running any more.
class PeriodicTimer {
public:
    using Callback = void (*)(void* context);

    PeriodicTimer() = default;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    bool start(uint32_t periodMs, Callback callback, void* context);
    void stop();
    bool running() const { return impl_ != nullptr; }

private:
    struct Impl;
    Impl* impl_ = nullptr;
};

struct ResourceData {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Looks up a resource compiled into the plug-in by type ("DATA", "PNG") and
// name, both compared without regard to letter case.
bool findResource(const char* type, const char* name, ResourceData& out);

// Records the module handle of the plug-in DLL (Windows DllMain); unused on
// Linux, where the path comes from the loader.
void setModuleHandle(void* handle);
void* moduleHandle();

// Full path of the plug-in file itself (not the host's executable), and the
// folder that holds it, without a trailing separator.
std::string pluginFilePath();
std::string pluginDirectory();

// Case-insensitive ASCII comparison used by resource lookup.
bool equalsIgnoreCase(const char* a, const char* b);

}  // namespace platform
