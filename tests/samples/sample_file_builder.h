// Builds WAV and AIFF images byte by byte, so that tests control every
// header field, including the wrong ones.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace test_files {

using Bytes = std::vector<uint8_t>;

inline void putTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}
inline void putLe16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void putLe32(Bytes& b, uint32_t v) {
    putLe16(b, v & 0xFFFF);
    putLe16(b, v >> 16);
}
inline void putBe16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
inline void putBe32(Bytes& b, uint32_t v) {
    putBe16(b, v >> 16);
    putBe16(b, v & 0xFFFF);
}
inline void putFloatLe(Bytes& b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putLe32(b, bits);
}
inline void putInt24Le(Bytes& b, int32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v >> 16));
}
inline void putInt24Be(Bytes& b, int32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 16));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

// A chunk with its size field set from the body (or forced), padded to even.
inline void putChunkLe(Bytes& b, const char* tag, const Bytes& body, int64_t forcedSize = -1) {
    putTag(b, tag);
    putLe32(b, forcedSize >= 0 ? static_cast<uint32_t>(forcedSize) : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}
inline void putChunkBe(Bytes& b, const char* tag, const Bytes& body, int64_t forcedSize = -1) {
    putTag(b, tag);
    putBe32(b, forcedSize >= 0 ? static_cast<uint32_t>(forcedSize) : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}

struct WavFormatFields {
    uint16_t code = 1;
    uint16_t channels = 1;
    uint32_t rateHz = 44100;
    uint16_t blockAlign = 2;
    uint16_t bits = 16;
    bool extensible = false;  // wrap `code` in WAVE_FORMAT_EXTENSIBLE
};

inline Bytes fmtBody(const WavFormatFields& f) {
    Bytes body;
    putLe16(body, f.extensible ? 0xFFFE : f.code);
    putLe16(body, f.channels);
    putLe32(body, f.rateHz);
    putLe32(body, f.rateHz * f.blockAlign);
    putLe16(body, f.blockAlign);
    putLe16(body, f.bits);
    if (f.extensible) {
        putLe16(body, 22);
        putLe16(body, f.bits);
        putLe32(body, f.channels == 2 ? 3 : 4);
        putLe16(body, f.code);
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        body.insert(body.end(), tail, tail + 14);
    }
    return body;
}

// A "smpl" body with one forward loop; `lastFrame` is the inclusive end the
// chunk stores.
inline Bytes smplBody(uint32_t startFrame, uint32_t lastFrame, uint32_t loopCount = 1) {
    Bytes body;
    for (int i = 0; i < 7; ++i) putLe32(body, i == 3 ? 60 : 0);  // manufacturer … SMPTE offset; unity note 60
    putLe32(body, loopCount);
    putLe32(body, 0);  // sampler data
    putLe32(body, 0);  // cue point id
    putLe32(body, 0);  // forward
    putLe32(body, startFrame);
    putLe32(body, lastFrame);
    putLe32(body, 0);
    putLe32(body, 0);
    return body;
}

// RIFF header followed by the given chunks (already encoded).
inline Bytes riff(const Bytes& chunks, const char* form = "WAVE") {
    Bytes b;
    putTag(b, "RIFF");
    putLe32(b, static_cast<uint32_t>(chunks.size() + 4));
    putTag(b, form);
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

inline Bytes wavFile(const WavFormatFields& f, const Bytes& data) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(f));
    putChunkLe(chunks, "data", data);
    return riff(chunks);
}

// 80-bit extended encoding of a positive integer rate.
inline Bytes extendedRate(uint32_t rateHz) {
    Bytes b;
    int exponent = 16383 + 31;
    uint64_t mantissa = static_cast<uint64_t>(rateHz) << 32;
    while ((mantissa & (1ull << 63)) == 0) {
        mantissa <<= 1;
        --exponent;
    }
    putBe16(b, static_cast<uint32_t>(exponent));
    putBe32(b, static_cast<uint32_t>(mantissa >> 32));
    putBe32(b, static_cast<uint32_t>(mantissa));
    return b;
}

inline Bytes commBody(uint16_t channels, uint32_t frames, uint16_t bits, const Bytes& rate) {
    Bytes body;
    putBe16(body, channels);
    putBe32(body, frames);
    putBe16(body, bits);
    body.insert(body.end(), rate.begin(), rate.end());
    return body;
}

inline Bytes ssndBody(const Bytes& data, uint32_t offset = 0) {
    Bytes body;
    putBe32(body, offset);
    putBe32(body, 0);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

inline Bytes form(const Bytes& chunks, const char* type = "AIFF") {
    Bytes b;
    putTag(b, "FORM");
    putBe32(b, static_cast<uint32_t>(chunks.size() + 4));
    putTag(b, type);
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

inline Bytes aiffFile(uint16_t channels, uint16_t bits, uint32_t rateHz, const Bytes& data) {
    uint32_t frameBytes = channels * (bits / 8u);
    Bytes chunks;
    putChunkBe(chunks, "COMM", commBody(channels, frameBytes ? static_cast<uint32_t>(data.size()) / frameBytes : 0, bits,
                                        extendedRate(rateHz)));
    putChunkBe(chunks, "SSND", ssndBody(data));
    return form(chunks);
}

}  // namespace test_files
