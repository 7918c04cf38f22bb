// Pieces the WAV and AIFF readers share: bounded byte access, the chunk walk
// of RIFF and IFF files, and the conversion of raw sample data to 16 bits.
// Every access is checked against the length of the file in hand; nothing
// here trusts a size field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "modules/decoded_sample.h"

namespace sample_reader {

inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t readBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t readBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t readBe64(const uint8_t* p) {
    return (static_cast<uint64_t>(readBe32(p)) << 32) | static_cast<uint64_t>(readBe32(p + 4));
}
inline bool tagIs(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// A chunk found by the walk: where its body starts and the size its header
// declares. The declared size may run past the end of the file; callers
// decide what that means for them.
struct ChunkRef {
    size_t bodyOffset = 0;
    uint32_t declaredSize = 0;
    // Bytes of the body actually present in the file.
    size_t availableSize(size_t fileSize) const {
        size_t rest = fileSize - bodyOffset;
        return declaredSize < rest ? declaredSize : rest;
    }
    bool complete(size_t fileSize) const { return declaredSize <= fileSize - bodyOffset; }
};

enum class ByteOrder { Little, Big };

// Walks the chunks from `start` (tag, 32-bit size, body padded to an even
// length) and returns the first with the given tag. The walk stops at a
// header that does not fit or at a chunk that claims more bytes than remain,
// except that such a last chunk is still returned when it is the one sought.
bool findChunk(const uint8_t* bytes, size_t size, size_t start, const char* tag, ByteOrder order, ChunkRef& out);

// How one channel value is stored in the file.
enum class SampleEncoding {
    Int16Le,
    Int24Le,
    Int32Le,
    Float32Le,
    Int16Be,
    Int24Be,
};

int bytesPerValue(SampleEncoding encoding);

// Full scale for float data: value × 32767 + 0.5, truncated, held inside the
// 16-bit range (values beyond ±1 and NaN would otherwise be undefined
// conversions).
int16_t floatToSample16(float value);

// Converts `frames` frames of `channels` (1 or 2) interleaved values starting
// at `data` into `out.samples` and sets frameCount and stereo. The caller has
// checked that frames × channels × bytesPerValue bytes are present.
//
// Integer formats keep their upper 16 bits. A mono mix-down of integer data
// is the mean of the two channels; of float data it is their sum, clipped
// to full scale.
void convertSampleData(const uint8_t* data, uint32_t frames, int channels, SampleEncoding encoding,
                       SampleChannels layout, DecodedSample& out);

// Sample rates outside this range are damaged headers, not recordings; they
// would give the players absurd or infinite playback increments.
constexpr double kMinSampleRateHz = 1.0;
constexpr double kMaxSampleRateHz = 1000000.0;
inline bool plausibleSampleRate(double rateHz) { return rateHz >= kMinSampleRateHz && rateHz <= kMaxSampleRateHz; }

}  // namespace sample_reader
