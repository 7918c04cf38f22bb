#include "tests/campaign/audio_thread_probe.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <sys/stat.h>
#include <semaphore.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <type_traits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/allocation_counter.h"

// The interposers name the real functions through decltype, which carries
// glibc's nonnull attributes into template arguments where they mean nothing.
#pragma GCC diagnostic ignored "-Wignored-attributes"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PROBE_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PROBE_SANITIZER_ALLOCATOR 1
#endif
#endif

namespace audio_probe {
namespace {

// One entry per interposed function; hits are counted only inside audio
// calls.
enum Site {
    kMalloc, kCalloc, kRealloc, kAlignedAlloc, kFree,
    kMutexLock, kMutexTrylock, kMutexTimedlock, kRwlockRd, kRwlockWr, kSpinLock,
    kCondWait, kCondTimedwait, kCondClockwait, kSemWait, kSemTimedwait, kNanosleep, kClockNanosleep, kUsleep,
    kSleep, kSchedYield, kPoll,
    kCondSignal, kCondBroadcast, kSemPost, kWrite, kRead, kOpen, kOpenat, kClose, kFopen, kFclose, kFwrite,
    kFread, kFputs, kPuts, kPrintf, kFprintf, kVfprintf, kFflush, kSyscall, kMmap,
    kMunmap, kMremap, kMadvise, kFsync, kRename, kUnlink, kMkdir, kPthreadCreate, kPthreadJoin,
    kSiteCount
};

struct SiteInfo {
    const char* name;
    Kind kind;
};

constexpr SiteInfo kSites[kSiteCount] = {
    {"malloc", Kind::Allocation}, {"calloc", Kind::Allocation}, {"realloc", Kind::Allocation},
    {"aligned allocation", Kind::Allocation}, {"free", Kind::Allocation},
    {"pthread_mutex_lock", Kind::Lock}, {"pthread_mutex_trylock", Kind::Lock},
    {"pthread_mutex_timedlock", Kind::Lock}, {"pthread_rwlock_rdlock", Kind::Lock},
    {"pthread_rwlock_wrlock", Kind::Lock}, {"pthread_spin_lock", Kind::Lock},
    {"pthread_cond_wait", Kind::Wait}, {"pthread_cond_timedwait", Kind::Wait}, {"pthread_cond_clockwait", Kind::Wait},
    {"sem_wait", Kind::Wait}, {"sem_timedwait", Kind::Wait}, {"nanosleep", Kind::Wait},
    {"clock_nanosleep", Kind::Wait}, {"usleep", Kind::Wait}, {"sleep", Kind::Wait}, {"sched_yield", Kind::Wait},
    {"poll", Kind::Wait},
    {"pthread_cond_signal", Kind::SystemCall}, {"pthread_cond_broadcast", Kind::SystemCall},
    {"sem_post", Kind::SystemCall}, {"write", Kind::SystemCall}, {"read", Kind::SystemCall},
    {"open", Kind::SystemCall}, {"openat", Kind::SystemCall}, {"close", Kind::SystemCall},
    {"fopen", Kind::SystemCall}, {"fclose", Kind::SystemCall}, {"fwrite", Kind::SystemCall},
    {"fread", Kind::SystemCall}, {"fputs", Kind::SystemCall}, {"puts", Kind::SystemCall},
    {"printf", Kind::SystemCall}, {"fprintf", Kind::SystemCall}, {"vfprintf", Kind::SystemCall},
    {"fflush", Kind::SystemCall}, {"syscall", Kind::SystemCall}, {"mmap", Kind::SystemCall},
    {"munmap", Kind::SystemCall}, {"mremap", Kind::SystemCall}, {"madvise", Kind::SystemCall},
    {"fsync", Kind::SystemCall}, {"rename", Kind::SystemCall}, {"unlink", Kind::SystemCall},
    {"mkdir", Kind::SystemCall}, {"pthread_create", Kind::SystemCall}, {"pthread_join", Kind::Wait},
};

constexpr int kStackDepth = 24;
constexpr int kKinds = 4;

std::atomic<long> g_hits[kSiteCount];
std::atomic<long> g_operatorNew{0};
std::atomic<long> g_voluntarySwitches{0};
std::atomic<long> g_majorFaults{0};
// The stack of the first hit of each kind.
std::atomic<bool> g_stackTaken[kKinds];
void* g_stacks[kKinds][kStackDepth];
int g_stackDepths[kKinds];
std::atomic<int> g_stackSite[kKinds];

thread_local int tInside = 0;
thread_local bool tBusy = false;
thread_local long tNewAtStart = 0;
thread_local rusage tUsageAtStart;

}  // namespace

void note(Site site) {
    if (tInside == 0 || tBusy) return;
    tBusy = true;
    g_hits[site].fetch_add(1, std::memory_order_relaxed);
    const int kind = static_cast<int>(kSites[site].kind);
    if (!g_stackTaken[kind].exchange(true)) {
        g_stackDepths[kind] = backtrace(g_stacks[kind], kStackDepth);
        g_stackSite[kind].store(site);
    }
    tBusy = false;
}

template <class F>
F realFunction(std::atomic<void*>& slot, const char* name) {
    void* f = slot.load(std::memory_order_acquire);
    if (f == nullptr) {
        f = dlsym(RTLD_NEXT, name);
        if (f == nullptr) std::abort();
        slot.store(f, std::memory_order_release);
    }
    return reinterpret_cast<F>(f);
}

namespace {

#define REAL(name) audio_probe::realFunction<decltype(&::name)>(real_##name, #name)

// backtrace() loads the unwinder (and allocates) on its first use; do that
// now rather than inside an audio call.
struct WarmUp {
    WarmUp() {
        void* frames[4];
        backtrace(frames, 4);
    }
} g_warmUp;

}  // namespace

void beginAudioCall() {
    if (tInside++ == 0) {
        tNewAtStart = test_alloc::allocationsOnThisThread();
        getrusage(RUSAGE_THREAD, &tUsageAtStart);
    }
}

void endAudioCall() {
    if (--tInside == 0) {
        rusage now;
        getrusage(RUSAGE_THREAD, &now);
        g_voluntarySwitches.fetch_add(now.ru_nvcsw - tUsageAtStart.ru_nvcsw);
        g_majorFaults.fetch_add(now.ru_majflt - tUsageAtStart.ru_majflt);
        g_operatorNew.fetch_add(test_alloc::allocationsOnThisThread() - tNewAtStart);
    }
}

Counts counts() {
    Counts c;
    for (int s = 0; s < kSiteCount; ++s) {
        const long n = g_hits[s].load();
        switch (kSites[s].kind) {
            case Kind::Allocation:
                (s == kFree ? c.frees : c.allocations) += n;
                break;
            case Kind::Lock:
                c.locks += n;
                break;
            case Kind::Wait:
                c.waits += n;
                break;
            case Kind::SystemCall:
                c.systemCalls += n;
                break;
        }
    }
    // The operator new counter sees allocations the C allocator probe would
    // see too; the larger of the two is the count.
    if (g_operatorNew.load() > c.allocations) c.allocations = g_operatorNew.load();
    c.voluntarySwitches = g_voluntarySwitches.load();
    c.majorFaults = g_majorFaults.load();
    return c;
}

long sleeps() {
    return g_hits[kNanosleep].load() + g_hits[kClockNanosleep].load() + g_hits[kUsleep].load() +
           g_hits[kSleep].load();
}

void reset() {
    for (auto& h : g_hits) h.store(0);
    g_operatorNew.store(0);
    g_voluntarySwitches.store(0);
    g_majorFaults.store(0);
    for (auto& t : g_stackTaken) t.store(false);
}

std::string report() {
    std::string text;
    char line[160];
    for (int s = 0; s < kSiteCount; ++s) {
        const long n = g_hits[s].load();
        if (n == 0) continue;
        std::snprintf(line, sizeof(line), "  %s: %ld\n", kSites[s].name, n);
        text += line;
    }
    if (g_operatorNew.load() > 0) {
        std::snprintf(line, sizeof(line), "  operator new: %ld\n", g_operatorNew.load());
        text += line;
    }
    for (int k = 0; k < kKinds; ++k) {
        if (!g_stackTaken[k].load()) continue;
        std::snprintf(line, sizeof(line), "first %s inside an audio call:\n", kSites[g_stackSite[k].load()].name);
        text += line;
        char** symbols = backtrace_symbols(g_stacks[k], g_stackDepths[k]);
        for (int i = 0; symbols != nullptr && i < g_stackDepths[k]; ++i) {
            text += "    ";
            text += symbols[i];
            text += "\n";
        }
        std::free(symbols);
    }
    return text;
}

const char* allocationProbe() {
#ifdef PROBE_SANITIZER_ALLOCATOR
    return "the sanitizer's allocation hooks";
#else
    return "interposed malloc, calloc, realloc, aligned allocation and free";
#endif
}

}  // namespace audio_probe


// ---- allocator ------------------------------------------------------------

#ifdef PROBE_SANITIZER_ALLOCATOR
// The sanitizers own malloc; replacing it would hide the heap from them.
// Their allocator reports every allocation and release to these hooks.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
namespace {
void onSanitizerMalloc(const volatile void*, size_t) { audio_probe::note(audio_probe::kMalloc); }
void onSanitizerFree(const volatile void* p) {
    if (p != nullptr) audio_probe::note(audio_probe::kFree);
}
struct InstallHooks {
    InstallHooks() { __sanitizer_install_malloc_and_free_hooks(&onSanitizerMalloc, &onSanitizerFree); }
} g_installHooks;
}  // namespace
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    audio_probe::note(audio_probe::kMalloc);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    audio_probe::note(audio_probe::kCalloc);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    audio_probe::note(audio_probe::kRealloc);
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    audio_probe::note(audio_probe::kAlignedAlloc);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    audio_probe::note(audio_probe::kAlignedAlloc);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    audio_probe::note(audio_probe::kAlignedAlloc);
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    if (p != nullptr) audio_probe::note(audio_probe::kFree);
    __libc_free(p);
}
}
#endif

// ---- locks, waits and system calls -----------------------------------------

// The definitions must carry the same noexcept as glibc's declarations.
template <class F>
struct NoThrow : std::false_type {};
template <class R, class... A>
struct NoThrow<R (*)(A...) noexcept> : std::true_type {};

#define FORWARD(site, name, ret, params, args)                           \
    namespace {                                                          \
    std::atomic<void*> real_##name{nullptr};                             \
    }                                                                    \
    extern "C" ret name params noexcept(NoThrow<decltype(&::name)>::value) { \
        audio_probe::note(audio_probe::site);                                         \
        return REAL(name) args;                                          \
    }

extern "C" {
FORWARD(kMutexLock, pthread_mutex_lock, int, (pthread_mutex_t * m), (m))
FORWARD(kMutexTrylock, pthread_mutex_trylock, int, (pthread_mutex_t * m), (m))
FORWARD(kMutexTimedlock, pthread_mutex_timedlock, int, (pthread_mutex_t * m, const struct timespec* t), (m, t))
FORWARD(kRwlockRd, pthread_rwlock_rdlock, int, (pthread_rwlock_t * l), (l))
FORWARD(kRwlockWr, pthread_rwlock_wrlock, int, (pthread_rwlock_t * l), (l))
FORWARD(kSpinLock, pthread_spin_lock, int, (pthread_spinlock_t * l), (l))
FORWARD(kCondWait, pthread_cond_wait, int, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
FORWARD(kCondTimedwait, pthread_cond_timedwait, int,
        (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
FORWARD(kCondClockwait, pthread_cond_clockwait, int,
        (pthread_cond_t * c, pthread_mutex_t* m, clockid_t k, const struct timespec* t), (c, m, k, t))
FORWARD(kCondSignal, pthread_cond_signal, int, (pthread_cond_t * c), (c))
FORWARD(kCondBroadcast, pthread_cond_broadcast, int, (pthread_cond_t * c), (c))
FORWARD(kSemWait, sem_wait, int, (sem_t * s), (s))
FORWARD(kSemTimedwait, sem_timedwait, int, (sem_t * s, const struct timespec* t), (s, t))
FORWARD(kSemPost, sem_post, int, (sem_t * s), (s))
FORWARD(kNanosleep, nanosleep, int, (const struct timespec* r, struct timespec* rem), (r, rem))
FORWARD(kClockNanosleep, clock_nanosleep, int,
        (clockid_t c, int f, const struct timespec* r, struct timespec* rem), (c, f, r, rem))
FORWARD(kUsleep, usleep, int, (useconds_t u), (u))
FORWARD(kSleep, sleep, unsigned, (unsigned s), (s))
FORWARD(kSchedYield, sched_yield, int, (void), ())
FORWARD(kPoll, poll, int, (struct pollfd * f, nfds_t n, int t), (f, n, t))
FORWARD(kWrite, write, ssize_t, (int fd, const void* b, size_t n), (fd, b, n))
FORWARD(kRead, read, ssize_t, (int fd, void* b, size_t n), (fd, b, n))
FORWARD(kClose, close, int, (int fd), (fd))
FORWARD(kFopen, fopen, FILE*, (const char* p, const char* m), (p, m))
FORWARD(kFclose, fclose, int, (FILE * f), (f))
FORWARD(kFwrite, fwrite, size_t, (const void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
FORWARD(kFread, fread, size_t, (void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
FORWARD(kFputs, fputs, int, (const char* s, FILE* f), (s, f))
FORWARD(kPuts, puts, int, (const char* s), (s))
FORWARD(kVfprintf, vfprintf, int, (FILE * f, const char* format, va_list a), (f, format, a))
FORWARD(kFflush, fflush, int, (FILE * f), (f))
FORWARD(kMunmap, munmap, int, (void* a, size_t n), (a, n))
FORWARD(kMadvise, madvise, int, (void* a, size_t n, int advice), (a, n, advice))
FORWARD(kFsync, fsync, int, (int fd), (fd))
FORWARD(kRename, rename, int, (const char* a, const char* b), (a, b))
FORWARD(kUnlink, unlink, int, (const char* p), (p))
FORWARD(kMkdir, mkdir, int, (const char* p, mode_t m), (p, m))
FORWARD(kPthreadCreate, pthread_create, int,
        (pthread_t * t, const pthread_attr_t* a, void* (*f)(void*), void* arg), (t, a, f, arg))
FORWARD(kPthreadJoin, pthread_join, int, (pthread_t t, void** r), (t, r))
FORWARD(kMmap, mmap, void*, (void* a, size_t n, int p, int f, int fd, off_t o), (a, n, p, f, fd, o))
}

namespace {
std::atomic<void*> real_open{nullptr};
std::atomic<void*> real_openat{nullptr};
std::atomic<void*> real_syscall{nullptr};
std::atomic<void*> real_mremap{nullptr};
}  // namespace

extern "C" {
int open(const char* path, int flags, ...) {
    audio_probe::note(audio_probe::kOpen);
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(a, int)) : 0;
    va_end(a);
    return audio_probe::realFunction<int (*)(const char*, int, ...)>(real_open, "open")(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
    audio_probe::note(audio_probe::kOpenat);
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(a, int)) : 0;
    va_end(a);
    return audio_probe::realFunction<int (*)(int, const char*, int, ...)>(real_openat, "openat")(dir, path, flags, mode);
}
long syscall(long number, ...) {
    audio_probe::note(audio_probe::kSyscall);
    va_list a;
    va_start(a, number);
    long v[6];
    for (long& x : v) x = va_arg(a, long);
    va_end(a);
    return audio_probe::realFunction<long (*)(long, ...)>(real_syscall, "syscall")(number, v[0], v[1], v[2], v[3], v[4], v[5]);
}
void* mremap(void* old, size_t oldSize, size_t newSize, int flags, ...) {
    audio_probe::note(audio_probe::kMremap);
    va_list a;
    va_start(a, flags);
    void* target = (flags & MREMAP_FIXED) != 0 ? va_arg(a, void*) : nullptr;
    va_end(a);
    return audio_probe::realFunction<void* (*)(void*, size_t, size_t, int, ...)>(real_mremap, "mremap")(old, oldSize, newSize,
                                                                                          flags, target);
}
int printf(const char* format, ...) {
    audio_probe::note(audio_probe::kPrintf);
    va_list a;
    va_start(a, format);
    const int n = vfprintf(stdout, format, a);
    va_end(a);
    return n;
}
int fprintf(FILE* f, const char* format, ...) {
    audio_probe::note(audio_probe::kFprintf);
    va_list a;
    va_start(a, format);
    const int n = vfprintf(f, format, a);
    va_end(a);
    return n;
}
}
