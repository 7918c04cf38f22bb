#include "tests/support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long tAllocations = 0;

void* allocate(std::size_t size) noexcept {
    ++tAllocations;
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

namespace test_alloc {
long allocationsOnThisThread() { return tAllocations; }
}  // namespace test_alloc

// Every form of new and delete goes through malloc and free together: the
// standard library's temporary buffers (std::stable_sort) use the nothrow
// form, and a counter that replaced only the plain one would pair the
// runtime's new with this free, which AddressSanitizer reports.
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
