// The sample store: the samples the sampler and the drum machine can name,
// carried as "DATA" resources of the plug-in (entries of the form in
// sample_store_entry.h) and listed by the index resource "SampleIndex".
//
// Every entry is decoded once, into an immutable library of shared samples,
// so that choosing a sample later (setProgram, possibly from a MIDI program
// change on the audio thread) is a lookup and a reference change: no
// decoding, no allocation, no lock.
//
// Threads: construct a library (or make the first call to shared()) on a
// non-audio thread, typically in a sampler or drum module's constructor.
// After that, find() may be called from any thread at the same time as any
// other call: the library never changes once built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modules/decoded_sample.h"
#include "modules/sample_store_entry.h"
#include "platform/platform.h"

namespace sample_store {

constexpr const char* kResourceType = "DATA";
// One store key per line (LF, CR ignored), written by tools/samplegen.
constexpr const char* kIndexResourceName = "SampleIndex";
// Guards on the index: it is ours, but it is still bytes from outside.
constexpr size_t kMaxIndexEntries = 4096;
constexpr size_t kMaxKeyLength = 255;

// The keys of an index resource; blank lines and lines starting with '#'
// are skipped, over-long lines dropped, at most kMaxIndexEntries kept.
std::vector<std::string> parseIndex(const uint8_t* bytes, size_t size);

}  // namespace sample_store

class SampleLibrary {
public:
    using ResourceLookup = std::function<bool(const char* type, const char* name, platform::ResourceData& out)>;

    // Reads the index through `lookup` and decodes every entry it lists,
    // in both layouts. Entries that are missing, empty ('Y' marker) or
    // unreadable are left out. Non-audio thread; allocates and decodes.
    explicit SampleLibrary(const ResourceLookup& lookup);

    // The process-wide library over the plug-in's own resources, built on
    // the first call (thread-safe). Kept until the process ends, so samples
    // handed out are never freed on the audio thread.
    static const SampleLibrary& shared();

    // The sample a file name or path refers to (see storeKey; letter case
    // ignored), or null when the store has none. Any thread, including the
    // audio thread: no allocation, no lock. The drum machine asks for
    // MonoMix, which also requires the "WAVE" tag of WAV files.
    std::shared_ptr<const DecodedSample> find(const char* path, SampleChannels layout) const;

    size_t size() const { return entries_.size(); }
    const std::string& keyAt(size_t index) const { return entries_[index].key; }

private:
    struct Entry {
        std::string key;
        std::shared_ptr<const DecodedSample> asStored;
        std::shared_ptr<const DecodedSample> monoMix;
    };
    std::vector<Entry> entries_;  // sorted by folded key, no duplicates
};

// The drum machine's default pad sample names, in pad order, and the folder
// its chunk names are completed with.
namespace drum_samples {

constexpr int kPadNameCount = 16;
inline constexpr const char* kDefaultNames[kPadNameCount] = {
    "Kick",    "Kick2",   "Snare 1", "Snare 2", "Tom 1", "Tom 2",     "Claps",      "Bongo 1",
    "Bongo 2", "Bongo 3", "Crash 1", "Crash 2", "Ride",  "Hats Open", "Hats Close", "Block",
};
constexpr const char* kDefaultFolder = "\\Samples\\Drums\\Default\\";

// Completes a pad name read from a chunk (at most `nameCapacity` bytes, not
// necessarily terminated): shorter than 5 characters, it becomes the pad's
// default sample in the default folder; without an extension (no '.' four or
// five characters from the end) or without a leading drive, '\' or '/', it
// is put into the default folder, with ".wav" added when it had no
// extension. Otherwise it stays as it is. The result is truncated to fit
// `out` and always terminated.
void normalisePadName(const char* name, size_t nameCapacity, int pad, char* out, size_t outSize);

}  // namespace drum_samples
