// Short copies into and out of a power-of-two ring of floats, across its
// end, written out here: the stretches are a few frames long, where a
// library call costs more than the copy.
#pragma once

#include <emmintrin.h>

namespace fxdsp {

inline void copyFloats(float* to, const float* from, int count) {
    int n = 0;
    for (; n + 4 <= count; n += 4) _mm_storeu_ps(to + n, _mm_loadu_ps(from + n));
    for (; n < count; ++n) to[n] = from[n];
}

// count slots of a ring of kSize slots from slot at on (0 <= at < kSize,
// count <= kSize) into to.
template <int kSize>
inline void copyFromRing(const float* ring, int at, float* to, int count) {
    const int first = count < kSize - at ? count : kSize - at;
    copyFloats(to, ring + at, first);
    copyFloats(to + first, ring, count - first);
}

// count values into the ring from slot at on.
template <int kSize>
inline void copyToRing(float* ring, int at, const float* from, int count) {
    const int first = count < kSize - at ? count : kSize - at;
    copyFloats(ring + at, from, first);
    copyFloats(ring, from + first, count - first);
}

}  // namespace fxdsp
