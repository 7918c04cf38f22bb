#include "modulehost/bank_image.h"

#include <cstring>

namespace bankimage {

uint32_t readBigEndian32(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

float readBigEndianFloat(const uint8_t* bytes) {
    const uint32_t bits = readBigEndian32(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

namespace {

VstInt32 readInt(const uint8_t* image, size_t offset) {
    return static_cast<VstInt32>(readBigEndian32(image + offset));
}

bool hasMagic(const uint8_t* image, size_t offset, const char* magic) {
    return std::memcmp(image + offset, magic, 4) == 0;
}

}  // namespace

bool readHeader(const uint8_t* image, size_t size, Header& out) {
    if (image == nullptr || size < kHeaderBytes) return false;
    if (!hasMagic(image, 0, "CcnK") && !hasMagic(image, 0, "KncC")) return false;
    // Offset 4 (byte size) is not checked: the projects write 0 there, and
    // writers disagree on what it counts anyway.
    if (readInt(image, 12) != 1) return false;
    out = Header{};
    out.pluginId = readInt(image, 16);
    out.programCount = readInt(image, 24);
    if (hasMagic(image, 8, "FBCh")) {
        if (size < kChunkDataOffset) return false;
        const VstInt32 chunkBytes = readInt(image, kChunkSizeOffset);
        if (chunkBytes < 0 || static_cast<size_t>(chunkBytes) > size - kChunkDataOffset) return false;
        out.format = Format::OpaqueChunk;
        out.chunk = image + kChunkDataOffset;
        out.chunkBytes = static_cast<size_t>(chunkBytes);
        return true;
    }
    if (hasMagic(image, 8, "FxBk")) {
        out.format = Format::Programs;
        if (out.programCount > 0) {
            if (size < kFirstRecordOffset + kRecordParamCountOffset + 4) return false;
            out.parameterCount = readInt(image, kFirstRecordOffset + kRecordParamCountOffset);
            // A negative count would give a stride that does not advance.
            if (out.parameterCount < 0) return false;
        }
        out.recordStride = kRecordHeaderBytes + 4ull * static_cast<uint64_t>(out.parameterCount);
        return true;
    }
    return false;
}

bool programRecord(const uint8_t* image, size_t size, const Header& header, VstInt32 program, ProgramRecord& out) {
    if (program < 0 || header.format != Format::Programs) return false;
    const uint64_t start = kFirstRecordOffset + static_cast<uint64_t>(program) * header.recordStride;
    if (start > size || size - start < kRecordHeaderBytes) return false;
    const uint8_t* record = image + start;
    out = ProgramRecord{};
    std::memcpy(out.name, record + kRecordNameOffset, kRecordNameBytes);
    out.name[kRecordNameBytes] = 0;
    const VstInt32 ownCount = static_cast<VstInt32>(readBigEndian32(record + kRecordParamCountOffset));
    const uint64_t available = (size - start - kRecordHeaderBytes) / 4;
    out.values = record + kRecordHeaderBytes;
    out.valueCount = ownCount <= 0 ? 0
                                   : static_cast<VstInt32>(static_cast<uint64_t>(ownCount) < available
                                                               ? static_cast<uint64_t>(ownCount)
                                                               : available);
    return true;
}

}  // namespace bankimage
