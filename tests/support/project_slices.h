// The tests that go through every built-in project are cut into slices, so
// that CTest runs them as separate tests side by side and a growing library
// adds tests rather than one ever longer test. Slice s holds the projects
// s, s + kProjectSlices, s + 2 kProjectSlices, ... (neighbours in the list
// are often of one family and alike in cost, so they go to different
// slices).
//
// The sanitizer trees render about ten times slower: they go through an
// evenly spread sample of the library (the first and the last project
// among them), which takes every code path the projects take, at a cost
// that does not grow with the library.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace project_slices {

constexpr int kProjectSlices = 8;
constexpr int kSanitizerSample = 8;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSampled = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSampled = true;
#else
constexpr bool kSampled = false;
#endif
#else
constexpr bool kSampled = false;
#endif

// At most `wanted` indices of 0 .. count-1, evenly spread, the first and
// the last included, in order.
inline std::vector<int> spread(int count, int wanted) {
    std::vector<int> out;
    if (count <= 0 || wanted <= 0) return out;
    if (wanted == 1) return {0};
    if (count <= wanted) {
        for (int i = 0; i < count; ++i) out.push_back(i);
        return out;
    }
    std::set<int> chosen;
    for (int j = 0; j < wanted; ++j)
        chosen.insert(static_cast<int>((static_cast<long>(j) * (count - 1) + (wanted - 1) / 2) / (wanted - 1)));
    return {chosen.begin(), chosen.end()};
}

// The projects slice `slice` of `slices` goes through, of `count`; with
// `sampled`, only those of the spread sample.
inline std::vector<int> projectsOfSlice(int slice, int slices, int count, bool sampled) {
    std::vector<int> all;
    if (sampled) {
        all = spread(count, kSanitizerSample);
    } else {
        for (int i = 0; i < count; ++i) all.push_back(i);
    }
    std::vector<int> out;
    for (size_t k = 0; k < all.size(); ++k)
        if (static_cast<int>(k % static_cast<size_t>(slices)) == slice) out.push_back(all[k]);
    return out;
}

inline std::vector<int> projectsOfSlice(int slice, int count) {
    return projectsOfSlice(slice, kProjectSlices, count, kSampled);
}

// "k/n" (as CTest passes it in the environment): slice k of n; false when
// the text is absent or not of that form.
inline bool parseSlice(const char* text, int& slice, int& slices) {
    if (text == nullptr || *text == 0) return false;
    std::istringstream in(text);
    int k = -1, n = 0;
    char slash = 0;
    if (!(in >> k >> slash >> n) || slash != '/' || n < 1 || n > 1000 || k < 0 || k >= n) return false;
    std::string rest;
    if (in >> rest) return false;
    slice = k;
    slices = n;
    return true;
}

}  // namespace project_slices
