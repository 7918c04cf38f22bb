// Typed values under named keys of the current user: the Windows registry
// (HKEY_CURRENT_USER) on Windows, and on Linux a small file per key under the
// user's configuration folder with the same key paths, value names and types.
// Keys are created when a value is written and only opened when read.
//
// Threads: any thread except the audio thread (these calls touch files).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegistryType : uint32_t { String = 1, Binary = 3, Dword = 4 };

class RegistryStore {
public:
    // keyPath is relative to the current user's root, e.g.
    // "software\\TalvexBass\\Settings".
    static bool readDword(const std::string& keyPath, const char* name, uint32_t& value);
    // Reads at most maxChars characters; longer values are cut.
    static bool readString(const std::string& keyPath, const char* name, std::string& value, size_t maxChars);
    // The size is taken from the key's largest value before reading.
    static bool readBinary(const std::string& keyPath, const char* name, std::vector<uint8_t>& value);

    static bool writeDword(const std::string& keyPath, const char* name, uint32_t value);
    static bool writeString(const std::string& keyPath, const char* name, const std::string& value);
    static bool writeBinary(const std::string& keyPath, const char* name, const uint8_t* data, size_t size);

    // Linux only: the file that holds a key ($XDG_CONFIG_HOME, else
    // ~/.config, then "talvex-registry" and the key path).
    static std::string keyFilePath(const std::string& keyPath);
};

}  // namespace platform
