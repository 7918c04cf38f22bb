// Module states inside projects are VST bank-file images: a big-endian
// header, then either one opaque chunk ("FBCh") or a run of parameter
// program records ("FxBk"). The bytes come from project data, so every
// field is bounds-checked before it is used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vst/aeffectx.h"

namespace bankimage {

constexpr size_t kHeaderBytes = 156;  // up to the chunk size or first record
constexpr size_t kChunkSizeOffset = 156;
constexpr size_t kChunkDataOffset = 160;
constexpr size_t kFirstRecordOffset = 156;
constexpr size_t kRecordHeaderBytes = 56;  // magic ... 28-byte name
constexpr size_t kRecordParamCountOffset = 24;
constexpr size_t kRecordNameOffset = 28;
constexpr size_t kRecordNameBytes = 28;

enum class Format { OpaqueChunk, Programs };

struct Header {
    Format format = Format::OpaqueChunk;
    VstInt32 pluginId = 0;
    VstInt32 programCount = 0;  // "FxBk" only
    // "FBCh": the chunk inside the image.
    const uint8_t* chunk = nullptr;
    size_t chunkBytes = 0;
    // "FxBk": parameter count of the first record; its record length is the
    // stride of all records.
    VstInt32 parameterCount = 0;
    uint64_t recordStride = 0;
};

struct ProgramRecord {
    char name[kRecordNameBytes + 1] = {};
    const uint8_t* values = nullptr;  // big-endian floats
    VstInt32 valueCount = 0;          // the record's own count, cut to what the image holds
};

uint32_t readBigEndian32(const uint8_t* bytes);
float readBigEndianFloat(const uint8_t* bytes);

// Checks the chunk magic ("CcnK", or "KncC" as some writers store it), the
// format version (1), the format magic and the bounds of the form; false
// refuses the image. The plug-in ID is left to the caller, who knows the
// module.
bool readHeader(const uint8_t* image, size_t size, Header& out);

// Record of program i of a "FxBk" image; false once the record's fixed part
// no longer lies inside the image.
bool programRecord(const uint8_t* image, size_t size, const Header& header, VstInt32 program, ProgramRecord& out);

}  // namespace bankimage
