// Counts the allocations the current thread makes through any form of
// operator new, so that tests can show a code path allocates nothing. The
// replacements (allocation_count.cpp) cover the nothrow forms as well, which
// the standard library uses for temporary buffers: replacing only some forms
// would pair one allocator's new with another's delete.
#pragma once

namespace sampler_test {
long allocationsOnThisThread();
}
