// An allocator that gives a freed block back to the next request of the
// same size, last freed first, so that objects freed and built anew in the
// same order land on each other's addresses in reverse (the first of
// three rebuilt objects where the last of the old ones was, the last where
// the first was). Code that keeps a pointer into objects it has replaced
// and still compares it then meets the wrong object every time, where the
// system allocator's reuse depends on everything allocated before.
// The replacement operators (recycling_allocator.cpp) apply to the whole
// test program that links talvex_test_recycling; recycling is off until
// a test turns it on.
#pragma once

namespace test_recycling {

// While on, freed blocks are kept for reuse instead of being released;
// blocks already kept stay kept when it is turned off.
void setRecycling(bool on);

}  // namespace test_recycling
