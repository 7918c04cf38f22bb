#include "tests/campaign/file_call_log.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace file_calls {
namespace {

// Fixed storage: recording must not allocate inside the calls it records.
constexpr int kMaxCalls = 4096;
struct Raw {
    char op[8];
    int fd;
    int flags;
    char path[512];
    char from[512];
};
Raw g_calls[kMaxCalls];
std::atomic<int> g_count{0};
std::atomic<bool> g_on{false};
thread_local bool tBusy = false;

void record(const char* op, int fd, int flags, const char* path, const char* from) {
    if (!g_on.load() || tBusy) return;
    const int i = g_count.fetch_add(1);
    if (i >= kMaxCalls) return;
    Raw& r = g_calls[i];
    std::snprintf(r.op, sizeof(r.op), "%s", op);
    r.fd = fd;
    r.flags = flags;
    std::snprintf(r.path, sizeof(r.path), "%s", path != nullptr ? path : "");
    std::snprintf(r.from, sizeof(r.from), "%s", from != nullptr ? from : "");
}

template <class F>
F real(const char* name) {
    void* f = dlsym(RTLD_NEXT, name);
    if (f == nullptr) std::abort();
    return reinterpret_cast<F>(f);
}

}  // namespace

void start() {
    g_count.store(0);
    g_on.store(true);
}

std::vector<Call> stop() {
    g_on.store(false);
    tBusy = true;
    std::vector<Call> calls;
    const int n = std::min(g_count.load(), kMaxCalls);
    for (int i = 0; i < n; ++i)
        calls.push_back(Call{g_calls[i].op, g_calls[i].fd, g_calls[i].flags, g_calls[i].path, g_calls[i].from});
    tBusy = false;
    return calls;
}

}  // namespace file_calls

using file_calls::record;

extern "C" {

int open(const char* path, int flags, ...) {
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(a, int)) : 0;
    va_end(a);
    static auto f = file_calls::real<int (*)(const char*, int, ...)>("open");
    const int fd = f(path, flags, mode);
    record("open", fd, flags, path, nullptr);
    return fd;
}

int openat(int dir, const char* path, int flags, ...) {
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(a, int)) : 0;
    va_end(a);
    static auto f = file_calls::real<int (*)(int, const char*, int, ...)>("openat");
    const int fd = f(dir, path, flags, mode);
    record("open", fd, flags, path, nullptr);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    static auto f = file_calls::real<ssize_t (*)(int, const void*, size_t)>("write");
    record("write", fd, 0, nullptr, nullptr);
    return f(fd, data, size);
}

int fsync(int fd) {
    static auto f = file_calls::real<int (*)(int)>("fsync");
    record("fsync", fd, 0, nullptr, nullptr);
    return f(fd);
}

int fdatasync(int fd) {
    static auto f = file_calls::real<int (*)(int)>("fdatasync");
    record("fsync", fd, 0, nullptr, nullptr);
    return f(fd);
}

int close(int fd) {
    static auto f = file_calls::real<int (*)(int)>("close");
    record("close", fd, 0, nullptr, nullptr);
    return f(fd);
}

int rename(const char* from, const char* to) noexcept {
    static auto f = file_calls::real<int (*)(const char*, const char*)>("rename");
    record("rename", -1, 0, to, from);
    return f(from, to);
}

}
