// The drum machine's list of loaded samples, shared by its pads: each entry
// is a full sample name and a reference to the decoded sample in the shared
// sample library. Choosing a sample by name re-uses the entry of the same
// name, or asks the library, which holds every sample decoded already.
//
// Fixed capacity and shared references only: resolving a name neither
// decodes nor allocates, so setProgram may run on the audio thread (a MIDI
// program change). The library outlives every module, so dropping a
// reference here never frees sample memory.
#pragma once

#include <cstring>
#include <memory>

#include "modules/decoded_sample.h"
#include "modules/drums_params.h"

class SampleLibrary;

namespace drums {

class SampleSlots {
public:
    // Twice the pads that can hold a sample at once, so that a free entry
    // always exists for a new name.
    static constexpr int kCapacity = 2 * kPadRecords;
    // Full names: a base folder (up to 255 bytes) and a pad name.
    static constexpr int kFullNameBytes = 2 * kNameBytes;

    explicit SampleSlots(const SampleLibrary& library) : library_(&library) {}

    // The entry index for the full name, or -1 when the library has no such
    // sample. `inUse(i)` tells whether entry i is still referenced by a pad;
    // an unreferenced entry may be recycled.
    template <class InUse>
    int resolve(const char* fullName, InUse&& inUse);

    const DecodedSample* sample(int index) const {
        return index >= 0 && index < kCapacity ? entries_[index].sample.get() : nullptr;
    }
    const char* name(int index) const { return index >= 0 && index < kCapacity ? entries_[index].name : ""; }
    int used() const;

private:
    std::shared_ptr<const DecodedSample> lookUp(const char* fullName) const;

    struct Entry {
        char name[kFullNameBytes] = {};
        std::shared_ptr<const DecodedSample> sample;
    };
    const SampleLibrary* library_;
    Entry entries_[kCapacity];
};

// A pad name completed with the base folder: a name beginning with '\' or
// '/' is appended to it. Always terminated, truncated to fit.
void fullSampleName(const char* baseFolder, const char* padName, char* out, size_t outSize);

template <class InUse>
int SampleSlots::resolve(const char* fullName, InUse&& inUse) {
    if (fullName == nullptr || fullName[0] == 0) return -1;
    int free = -1;
    for (int i = 0; i < kCapacity; ++i) {
        Entry& e = entries_[i];
        if (e.sample != nullptr && std::strncmp(e.name, fullName, kFullNameBytes) == 0)
            return i;
        if (free < 0 && (e.sample == nullptr || !inUse(i))) free = i;
    }
    std::shared_ptr<const DecodedSample> found = lookUp(fullName);
    if (found == nullptr || found->empty() || free < 0) return -1;
    Entry& e = entries_[free];
    size_t n = 0;
    while (n + 1 < sizeof(e.name) && fullName[n] != 0) {
        e.name[n] = fullName[n];
        ++n;
    }
    for (size_t k = n; k < sizeof(e.name); ++k) e.name[k] = 0;
    e.sample = std::move(found);
    return free;
}

}  // namespace drums
