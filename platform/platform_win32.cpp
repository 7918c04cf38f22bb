#include <windows.h>

#include <mutex>

#include "platform/platform.h"

namespace platform {

namespace {
HMODULE g_module = nullptr;

// A windowless timer hands its callback only the identifier the system chose,
// so the association between identifier and timer object is kept here.
struct TimerEntry {
    UINT_PTR id;
    PeriodicTimer::Callback callback;
    void* context;
};
constexpr int kMaxTimers = 64;
TimerEntry g_timers[kMaxTimers];
std::mutex g_timerMutex;

void CALLBACK timerProc(HWND, UINT, UINT_PTR id, DWORD) {
    PeriodicTimer::Callback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_timerMutex);
        for (auto& entry : g_timers) {
            if (entry.id == id) {
                callback = entry.callback;
                context = entry.context;
                break;
            }
        }
    }
    if (callback != nullptr) callback(context);
}
}  // namespace

uint32_t tickCountMs() { return static_cast<uint32_t>(GetTickCount()); }

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

struct PeriodicTimer::Impl {
    UINT_PTR id = 0;
};

PeriodicTimer::~PeriodicTimer() { stop(); }

bool PeriodicTimer::start(uint32_t periodMs, Callback callback, void* context) {
    stop();
    UINT_PTR id = SetTimer(nullptr, 0, periodMs, timerProc);
    if (id == 0) return false;
    std::lock_guard<std::mutex> lock(g_timerMutex);
    for (auto& entry : g_timers) {
        if (entry.id == 0) {
            entry = TimerEntry{id, callback, context};
            impl_ = new Impl();
            impl_->id = id;
            return true;
        }
    }
    KillTimer(nullptr, id);
    return false;
}

void PeriodicTimer::stop() {
    if (impl_ == nullptr) return;
    KillTimer(nullptr, impl_->id);
    {
        std::lock_guard<std::mutex> lock(g_timerMutex);
        for (auto& entry : g_timers)
            if (entry.id == impl_->id) entry = TimerEntry{0, nullptr, nullptr};
    }
    delete impl_;
    impl_ = nullptr;
}

bool findResource(const char* type, const char* name, ResourceData& out) {
    // FindResourceA compares names without regard to case.
    HRSRC info = FindResourceA(g_module, name, type);
    if (info == nullptr) return false;
    HGLOBAL handle = LoadResource(g_module, info);
    if (handle == nullptr) return false;
    const void* data = LockResource(handle);
    if (data == nullptr) return false;
    out.data = static_cast<const uint8_t*>(data);
    out.size = SizeofResource(g_module, info);
    return true;
}

void setModuleHandle(void* handle) { g_module = static_cast<HMODULE>(handle); }
void* moduleHandle() { return g_module; }

std::string pluginFilePath() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(g_module, buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return std::string();
    buffer[n] = 0;
    return std::string(buffer);
}

}  // namespace platform
