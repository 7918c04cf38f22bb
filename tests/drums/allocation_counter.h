// Counts the allocations the current thread makes through operator new, so
// that a test can show a path allocates nothing. The replacement operators
// (allocation_counter.cpp) apply to the whole test program and cover every
// form the standard library uses, nothrow included, so that allocation and
// release always pair up under AddressSanitizer.
#pragma once

namespace drums_alloc {
long allocationsOnThisThread();
}
