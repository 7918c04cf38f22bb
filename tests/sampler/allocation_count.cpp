#include "tests/sampler/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long tAllocations = 0;

void* allocate(std::size_t size) noexcept {
    ++tAllocations;
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

namespace sampler_test {
long allocationsOnThisThread() { return tAllocations; }
}  // namespace sampler_test

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
