#include "modules/sample_store_entry.h"

#include <algorithm>

#include "modules/sample_reader_aiff.h"
#include "modules/sample_reader_wav.h"

namespace sample_store {

const char* fileNamePart(const char* path) {
    if (path == nullptr) return "";
    const char* part = path;
    for (const char* p = path; *p != 0; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') part = p + 1;
    }
    return part;
}

std::string storeKey(const char* path) {
    std::string key = fileNamePart(path);
    std::replace(key.begin(), key.end(), ' ', '_');
    return key;
}

void scrambleBytes(uint8_t* bytes, size_t count, size_t firstPosition) {
    for (size_t i = 0; i < count; ++i) bytes[i] ^= keyByteAt(firstPosition + i);
}

std::vector<uint8_t> packEntry(uint8_t marker, const uint8_t* fileBytes, size_t fileSize) {
    std::vector<uint8_t> entry(fileSize + 1);
    entry[0] = marker;
    if (fileSize > 0) {
        std::copy(fileBytes, fileBytes + fileSize, entry.begin() + 1);
        scrambleBytes(entry.data() + 1, fileSize);
    }
    return entry;
}

bool decodeEntry(const uint8_t* entry, size_t entrySize, const SampleReadOptions& options, DecodedSample& out) {
    out.clear();
    if (entry == nullptr || entrySize < 2) return false;
    const uint8_t marker = entry[0];
    if (marker != kMarkerWav && marker != kMarkerAiff) return false;
    std::vector<uint8_t> file(entry + 1, entry + entrySize);
    scrambleBytes(file.data(), file.size());
    if (marker == kMarkerWav) return readWavSample(file.data(), file.size(), options, out);
    return readAiffSample(file.data(), file.size(), options, out);
}

}  // namespace sample_store
