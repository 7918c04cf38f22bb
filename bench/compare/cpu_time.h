// CPU time of the calling thread and of the whole process. The thread's time
// is what one audio thread pays; the process time also catches work a
// plug-in hands to threads of its own, which the thread time would hide.
#pragma once

#include <time.h>

namespace benchcompare {

inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

inline double threadCpuSeconds() { return cpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
inline double processCpuSeconds() { return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

}  // namespace benchcompare
