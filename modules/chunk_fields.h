// Byte-level pieces of the instrument modules' chunks: little-endian float
// images and fixed-size name fields, and the base-folder test of the sample
// names they carry.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>

namespace chunk_fields {

static_assert(std::endian::native == std::endian::little, "chunks are little-endian float images");

constexpr size_t kFloat = sizeof(float);

inline float readFloat(const char* p) {
    float v;
    std::memcpy(&v, p, kFloat);
    return v;
}

inline void writeFloat(char* p, float v) { std::memcpy(p, &v, kFloat); }

// Copies a name into a field of `capacity` bytes: at most capacity - 1
// characters, the source need not be terminated before them, the rest of the
// field zero. A null source empties the field.
inline void copyNameField(char* destination, const char* source, size_t capacity) {
    size_t length = 0;
    if (source != nullptr)
        while (length + 1 < capacity && source[length] != 0) ++length;
    if (length > 0) std::memcpy(destination, source, length);
    std::memset(destination + length, 0, capacity - length);
}

inline bool isSeparator(char c) { return c == '\\' || c == '/'; }
inline char foldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `name` lies inside `folder`, which ends in its separator: the
// folder's path without that separator leads the name, letters compared
// without case, and a separator follows it. `folder` must not be empty.
inline bool insideFolder(const char* name, const char* folder) {
    const size_t stem = std::strlen(folder) - 1;
    bool inside = std::strlen(name) > stem && isSeparator(name[stem]);
    for (size_t i = 0; inside && i < stem; ++i) inside = foldChar(name[i]) == foldChar(folder[i]);
    return inside;
}

}  // namespace chunk_fields
