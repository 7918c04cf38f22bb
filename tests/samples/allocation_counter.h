// Counts the allocations the current thread makes through operator new, so
// that tests can show a code path allocates nothing. The replacement
// operators live in allocation_counter.cpp and apply to the whole program.
#pragma once

namespace test_alloc {
long allocationsOnThisThread();
}
