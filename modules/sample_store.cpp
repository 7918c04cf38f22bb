#include "modules/sample_store.h"

#include <algorithm>
#include <cstring>

#include "modules/sample_store_entry.h"

namespace sample_store {

namespace {

// Resource names are compared without letter case, and blanks stand for
// the underscores the store keys carry.
char foldKeyChar(char c) {
    if (c == ' ') return '_';
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

// <0, 0, >0 like strcmp, over folded characters.
int compareFolded(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = foldKeyChar(*a);
        char cb = foldKeyChar(*b);
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        if (ca == 0) return 0;
    }
}

}  // namespace

std::vector<std::string> parseIndex(const uint8_t* bytes, size_t size) {
    std::vector<std::string> keys;
    if (bytes == nullptr) return keys;
    size_t pos = 0;
    while (pos < size && keys.size() < kMaxIndexEntries) {
        size_t end = pos;
        while (end < size && bytes[end] != '\n') ++end;
        size_t lineEnd = end;
        if (lineEnd > pos && bytes[lineEnd - 1] == '\r') --lineEnd;
        size_t length = lineEnd - pos;
        const char* line = reinterpret_cast<const char*>(bytes + pos);
        bool usable = length > 0 && length <= kMaxKeyLength && line[0] != '#' &&
                      std::memchr(line, 0, length) == nullptr;
        if (usable) keys.emplace_back(line, length);
        pos = end + 1;
    }
    return keys;
}

}  // namespace sample_store

SampleLibrary::SampleLibrary(const ResourceLookup& lookup) {
    if (!lookup) return;
    platform::ResourceData index;
    if (!lookup(sample_store::kResourceType, sample_store::kIndexResourceName, index)) return;

    for (const std::string& key : sample_store::parseIndex(index.data, index.size)) {
        platform::ResourceData entry;
        if (!lookup(sample_store::kResourceType, key.c_str(), entry)) continue;

        auto asStored = std::make_shared<DecodedSample>();
        if (!sample_store::decodeEntry(entry.data, entry.size, SampleReadOptions{}, *asStored)) continue;

        SampleReadOptions drumOptions;
        drumOptions.channels = SampleChannels::MonoMix;
        drumOptions.requireWaveTag = true;
        auto mono = std::make_shared<DecodedSample>();
        std::shared_ptr<const DecodedSample> monoMix;
        if (sample_store::decodeEntry(entry.data, entry.size, drumOptions, *mono)) {
            // A mono file decodes the same either way: share one copy.
            monoMix = asStored->stereo ? std::shared_ptr<const DecodedSample>(std::move(mono))
                                       : std::shared_ptr<const DecodedSample>(asStored);
        }
        entries_.push_back(Entry{key, std::move(asStored), std::move(monoMix)});
    }

    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return sample_store::compareFolded(a.key.c_str(), b.key.c_str()) < 0;
    });
    // The first listed of two keys that fold alike wins.
    auto last = std::unique(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return sample_store::compareFolded(a.key.c_str(), b.key.c_str()) == 0;
    });
    entries_.erase(last, entries_.end());
}

const SampleLibrary& SampleLibrary::shared() {
    // A static object, not a heap block: a heap block whose only pointer
    // lived in the plug-in's data would be orphaned when the host unloads the
    // plug-in. Modules that still hold samples while statics are torn down
    // keep them alive through their own shared references.
    static const SampleLibrary library(&platform::findResource);
    return library;
}

std::shared_ptr<const DecodedSample> SampleLibrary::find(const char* path, SampleChannels layout) const {
    const char* name = sample_store::fileNamePart(path);
    if (*name == 0) return nullptr;
    size_t low = 0;
    size_t high = entries_.size();
    while (low < high) {
        size_t mid = low + (high - low) / 2;
        int order = sample_store::compareFolded(entries_[mid].key.c_str(), name);
        if (order == 0) return layout == SampleChannels::MonoMix ? entries_[mid].monoMix : entries_[mid].asStored;
        if (order < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return nullptr;
}

namespace drum_samples {

void normalisePadName(const char* name, size_t nameCapacity, int pad, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    if (name == nullptr) name = "";
    size_t length = 0;
    while (length < nameCapacity && name[length] != 0) ++length;
    std::string result;
    const bool hasExtension = (length >= 4 && name[length - 4] == '.') || (length >= 5 && name[length - 5] == '.');
    const bool hasRoot = length > 0 && (name[0] == '\\' || name[0] == '/' || (length >= 2 && name[1] == ':'));
    if (length < 5) {
        result = kDefaultFolder;
        result += (pad >= 0 && pad < kPadNameCount) ? kDefaultNames[pad] : std::string(name, length);
        result += ".wav";
    } else if (!hasExtension || !hasRoot) {
        result = kDefaultFolder;
        result.append(name, length);
        if (!hasExtension) result += ".wav";
    } else {
        result.assign(name, length);
    }
    size_t copied = std::min(result.size(), outSize - 1);
    std::memcpy(out, result.data(), copied);
    out[copied] = 0;
}

}  // namespace drum_samples
