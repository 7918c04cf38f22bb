// The form of one entry of the sample store: a marker byte naming the file
// type, then the sample file's bytes, scrambled so that the plug-in binary
// does not carry plain audio files that any resource viewer could lift out.
// Used by the plug-in to decode entries and by tools/samplegen to pack them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modules/decoded_sample.h"

namespace sample_store {

constexpr uint8_t kMarkerAiff = 'X';
constexpr uint8_t kMarkerWav = '[';
constexpr uint8_t kMarkerEmpty = 'Y';

// The three key bytes. The file byte at position i (0 = the byte after the
// marker) is combined with kKeyOdd when i is odd, with kKeyBit1 when i is
// even and has bit 1 set, and with kKeyOther otherwise. The values are
// arbitrary; they are fixed because the packed entries are committed.
constexpr uint8_t kKeyOdd = 0xA5;
constexpr uint8_t kKeyBit1 = 0x3C;
constexpr uint8_t kKeyOther = 0x5E;

inline uint8_t keyByteAt(size_t position) {
    if ((position & 1u) != 0) return kKeyOdd;
    if ((position & 2u) != 0) return kKeyBit1;
    return kKeyOther;
}

// The part of a path after its last '\', '/' or ':'.
const char* fileNamePart(const char* path);

// The resource name a sample file is stored under: the file-name part with
// every blank replaced by '_'. The sampler builds its keys that way; the
// drum machine keeps the blanks ("Snare 1.wav"), and since resource names in
// the build's list cannot hold blanks, lookups fold ' ' to '_' for both.
std::string storeKey(const char* path);

// Scrambles or unscrambles in place (the operation is its own inverse).
// `firstPosition` is the position of bytes[0] within the file, so that a
// file may be processed in pieces.
void scrambleBytes(uint8_t* bytes, size_t count, size_t firstPosition = 0);

// Marker byte followed by the scrambled file.
std::vector<uint8_t> packEntry(uint8_t marker, const uint8_t* fileBytes, size_t fileSize);

// Unscrambles an entry and runs the reader its marker selects. False with
// `out` cleared for an empty or unknown marker or a file the reader refuses.
// Any thread but the audio thread: it allocates a copy of the file.
bool decodeEntry(const uint8_t* entry, size_t entrySize, const SampleReadOptions& options, DecodedSample& out);

}  // namespace sample_store
