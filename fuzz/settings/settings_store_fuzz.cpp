// The settings store's key files (Linux): arbitrary file contents read as a
// key whose values are either readable or absent, texts within their limit;
// writing one value over the file then keeps every other value that was
// readable and reads back what was written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/registry_store.h"

namespace {

using platform::RegistryStore;

const std::string kKey = "software\\TalvexBass\\Settings";
constexpr const char* kNames[] = {"ScopeOn",   "MultiOutputsMode", "CurProgram", "TooltipsOn",
                                  "BankSelected", "SaveDefaultBank", "FirstUse", "AudioDevice",
                                  "MidiDevice", "SampleRate",        "BufferSize", "UserBank"};
constexpr size_t kTextLimit = 127;

struct Seen {
    bool hasDword = false;
    uint32_t dword = 0;
    bool hasText = false;
    std::string text;
    bool hasBinary = false;
    std::vector<uint8_t> binary;
};

Seen readAll(const char* name) {
    Seen s;
    s.hasDword = RegistryStore::readDword(kKey, name, s.dword);
    s.hasText = RegistryStore::readString(kKey, name, s.text, kTextLimit);
    s.hasBinary = RegistryStore::readBinary(kKey, name, s.binary);
    if (s.hasText && s.text.size() > kTextLimit) std::abort();
    return s;
}

bool same(const Seen& a, const Seen& b) {
    return a.hasDword == b.hasDword && a.dword == b.dword && a.hasText == b.hasText && a.text == b.text &&
           a.hasBinary == b.hasBinary && a.binary == b.binary;
}

const std::string& keyFile() {
    static const std::string path = [] {
        const auto root = std::filesystem::temp_directory_path() / ("talvex_fuzz_store_" + std::to_string(getpid()));
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        const std::string file = RegistryStore::keyFilePath(kKey);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        return file;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(keyFile().c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    Seen before[std::size(kNames)];
    for (size_t i = 0; i < std::size(kNames); ++i) before[i] = readAll(kNames[i]);

    // The value written is picked by the input, as is its number.
    const size_t written = size > 0 ? data[0] % std::size(kNames) : 0;
    const uint32_t value = static_cast<uint32_t>(size) * 2654435761u;
    if (!RegistryStore::writeDword(kKey, kNames[written], value)) std::abort();
    uint32_t back = 0;
    if (!RegistryStore::readDword(kKey, kNames[written], back) || back != value) std::abort();
    for (size_t i = 0; i < std::size(kNames); ++i) {
        if (i == written) continue;
        const Seen after = readAll(kNames[i]);
        // A damaged file reads as an empty key and is replaced as a whole;
        // otherwise every other value survives the write.
        const bool wasReadable = before[i].hasDword || before[i].hasText || before[i].hasBinary;
        if (wasReadable && !same(before[i], after)) std::abort();
    }
    return 0;
}
