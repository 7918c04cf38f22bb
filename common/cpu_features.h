// What the processor offers beyond the SSE2 every build assumes. Code for
// such features lives in functions compiled for them
// (__attribute__((target("avx2")))) and runs only where this says so.
#pragma once

// x86_64 with AVX2 (the operating system saving the wide registers
// included); false on every other target.
inline bool cpuHasAvx2() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}
