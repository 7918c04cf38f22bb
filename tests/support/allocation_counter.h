// Counts the allocations the current thread makes through any form of
// operator new, so that tests can show a code path allocates nothing. The
// replacement operators (allocation_counter.cpp) apply to the whole test
// program that links talvex_test_alloc.
#pragma once

namespace test_alloc {
long allocationsOnThisThread();
}
