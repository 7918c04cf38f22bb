// The Linux settings store's file format, one file per key:
//   "TVXREG1\0", uint32 count, then per value: uint32 name length, name,
//   uint32 type, uint32 data length, data (all little-endian).
// Parsing, writing and the value operations, apart from the files, so that
// the format can be checked on arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// False (and no values) when the bytes are damaged in any way.
bool parseRegistryKeyFile(const uint8_t* bytes, size_t size, std::vector<RegistryValue>& values);
std::vector<uint8_t> serializeRegistryKeyFile(const std::vector<RegistryValue>& values);

// The first value of that name, as the registry would have only one.
const RegistryValue* findRegistryValue(const std::vector<RegistryValue>& values, const char* name);
// Sets the first value of that name (appending one when there is none) and
// drops any later value of the same name, so that what is set is what a
// later find returns.
void setRegistryValue(std::vector<RegistryValue>& values, const char* name, uint32_t type, const uint8_t* data,
                      size_t size);

// A DWORD value: type 4 and exactly four bytes.
bool registryDword(const RegistryValue* value, uint32_t& out);
// A text value (type 1), up to its first zero, cut to maxChars.
bool registryString(const RegistryValue* value, size_t maxChars, std::string& out);

}  // namespace platform
