#include "modules/sample_reader_wav.h"

#include "modules/sample_reader_common.h"

using namespace sample_reader;

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// The fixed part of a "fmt " body, and the extension WAVE_FORMAT_EXTENSIBLE
// adds (cbSize, valid bits, channel mask, sub-format GUID).
constexpr uint32_t kFmtBasicSize = 16;
constexpr uint32_t kFmtExtensibleSize = 40;
constexpr size_t kSubFormatOffset = 24;

// Bytes 2…15 of every KSDATAFORMAT_SUBTYPE_* GUID that wraps a plain format
// code; the code itself is in bytes 0…1.
constexpr uint8_t kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// "smpl" body: the loop count is at 28, the loop records start at 36, and a
// loop's start and end frames are at 8 and 12 inside its record.
constexpr uint32_t kSmplLoopCountOffset = 28;
constexpr uint32_t kSmplFirstLoopStartOffset = 36 + 8;
constexpr uint32_t kSmplFirstLoopEndOffset = 36 + 12;
constexpr uint32_t kSmplMinSizeWithLoop = 36 + 24;

struct WavFormat {
    uint16_t code = 0;
    int channels = 0;
    uint32_t rateHz = 0;
    uint32_t blockAlign = 0;
    uint32_t bitsPerValue = 0;
};

bool readFormat(const uint8_t* bytes, size_t size, WavFormat& format) {
    ChunkRef fmt;
    if (!findChunk(bytes, size, 12, "fmt ", ByteOrder::Little, fmt)) return false;
    if (fmt.declaredSize < kFmtBasicSize || fmt.availableSize(size) < kFmtBasicSize) return false;
    const uint8_t* body = bytes + fmt.bodyOffset;
    format.code = readLe16(body);
    format.channels = readLe16(body + 2);
    format.rateHz = readLe32(body + 4);
    format.blockAlign = readLe16(body + 12);
    format.bitsPerValue = readLe16(body + 14);
    if (format.code == kFormatExtensible) {
        if (fmt.declaredSize < kFmtExtensibleSize || fmt.availableSize(size) < kFmtExtensibleSize) return false;
        const uint8_t* guid = body + kSubFormatOffset;
        if (std::memcmp(guid + 2, kSubFormatGuidTail, sizeof(kSubFormatGuidTail)) != 0) return false;
        format.code = readLe16(guid);
    }
    return true;
}

bool chooseEncoding(const WavFormat& format, SampleEncoding& encoding) {
    if (format.channels != 1 && format.channels != 2) return false;
    const uint32_t channels = static_cast<uint32_t>(format.channels);
    if (format.blockAlign == 0 || format.blockAlign % channels != 0) return false;
    const uint32_t container = format.blockAlign / channels;
    // 8-bit files are unsigned and below the 16-bit resolution the players
    // work at; they are not widened.
    if (format.bitsPerValue <= 8 || format.bitsPerValue > container * 8) return false;
    if (format.code == kFormatFloat) {
        if (container != 4) return false;
        encoding = SampleEncoding::Float32Le;
        return true;
    }
    if (format.code != kFormatPcm) return false;
    switch (container) {
        case 2: encoding = SampleEncoding::Int16Le; return true;
        case 3: encoding = SampleEncoding::Int24Le; return true;
        case 4: encoding = SampleEncoding::Int32Le; return true;
        default: return false;
    }
}

void readLoop(const uint8_t* bytes, size_t size, DecodedSample& out) {
    ChunkRef smpl;
    if (!findChunk(bytes, size, 12, "smpl", ByteOrder::Little, smpl)) return;
    if (smpl.availableSize(size) < kSmplMinSizeWithLoop || smpl.declaredSize < kSmplMinSizeWithLoop) return;
    const uint8_t* body = bytes + smpl.bodyOffset;
    if (readLe32(body + kSmplLoopCountOffset) == 0) return;
    uint64_t start = readLe32(body + kSmplFirstLoopStartOffset);
    // The chunk names the last frame inside the loop; keep the frame after it.
    uint64_t end = static_cast<uint64_t>(readLe32(body + kSmplFirstLoopEndOffset)) + 1;
    if (end > out.frameCount) end = out.frameCount;
    if (start >= end) return;
    out.hasFileLoop = true;
    out.loopStartFrame = static_cast<uint32_t>(start);
    out.loopEndFrame = static_cast<uint32_t>(end);
}

}  // namespace

bool readWavSample(const uint8_t* bytes, size_t size, const SampleReadOptions& options, DecodedSample& out) {
    out.clear();
    if (bytes == nullptr || size < 12) return false;
    if (options.requireWaveTag && !tagIs(bytes + 8, "WAVE")) return false;

    WavFormat format;
    SampleEncoding encoding;
    if (!readFormat(bytes, size, format) || !chooseEncoding(format, encoding)) return false;
    if (!plausibleSampleRate(format.rateHz)) return false;

    ChunkRef data;
    if (!findChunk(bytes, size, 12, "data", ByteOrder::Little, data)) return false;
    // A size beyond the end of the file is a damaged or lying header; the
    // sample stays silent rather than guessing where the sound stops.
    if (!data.complete(size)) return false;
    const uint32_t frames = data.declaredSize / format.blockAlign;
    if (frames == 0) return false;

    convertSampleData(bytes + data.bodyOffset, frames, format.channels, encoding, options.channels, out);
    out.sampleRateHz = static_cast<float>(format.rateHz);
    readLoop(bytes, size, out);
    return true;
}
