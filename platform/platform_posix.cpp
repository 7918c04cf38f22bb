#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "resources/embedded_resources.h"

namespace platform {

uint32_t tickCountMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void sleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

struct PeriodicTimer::Impl {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};

PeriodicTimer::~PeriodicTimer() { stop(); }

bool PeriodicTimer::start(uint32_t periodMs, Callback callback, void* context) {
    stop();
    impl_ = new Impl();
    Impl* impl = impl_;
    impl->thread = std::thread([impl, periodMs, callback, context]() {
        std::unique_lock<std::mutex> lock(impl->mutex);
        auto next = std::chrono::steady_clock::now();
        while (!impl->stopping) {
            next += std::chrono::milliseconds(periodMs);
            if (impl->wake.wait_until(lock, next, [impl] { return impl->stopping; })) break;
            lock.unlock();
            callback(context);
            lock.lock();
            auto now = std::chrono::steady_clock::now();
            if (now > next + std::chrono::milliseconds(periodMs)) next = now;  // skip missed ticks
        }
    });
    return true;
}

void PeriodicTimer::stop() {
    if (impl_ == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    if (impl_->thread.joinable()) {
        if (impl_->thread.get_id() == std::this_thread::get_id())
            impl_->thread.detach();  // stopped from its own callback
        else
            impl_->thread.join();
    }
    delete impl_;
    impl_ = nullptr;
}

bool findResource(const char* type, const char* name, ResourceData& out) {
    size_t count = 0;
    const EmbeddedResource* table = embeddedResources(count);
    for (size_t i = 0; i < count; ++i) {
        if (equalsIgnoreCase(table[i].type, type) && equalsIgnoreCase(table[i].name, name)) {
            out.data = table[i].data;
            out.size = table[i].size;
            return true;
        }
    }
    return false;
}

void setModuleHandle(void* /*handle*/) {}
void* moduleHandle() { return nullptr; }

std::string pluginFilePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pluginFilePath), &info) == 0 || info.dli_fname == nullptr) return std::string();
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return std::string(resolved);
    return std::string(info.dli_fname);
}

}  // namespace platform
