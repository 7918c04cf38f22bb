// File-backed stand-in for the current user's registry. One file per key
// holds that key's values (the format: registry_key_file.h).
// Files are replaced atomically (writeFileAtomically: a temporary file,
// flushed, renamed over the key file, then the folder flushed), so a crash
// never leaves a torn bank. A damaged file reads as an empty key.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/atomic_file_write.h"
#include "platform/registry_key_file.h"
#include "platform/registry_store.h"

namespace platform {

namespace {

constexpr size_t kMaxFileBytes = 64u << 20;  // far above any bank; refuses absurd files

std::mutex g_storeMutex;

std::string configRoot() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != 0) return std::string(home) + "/.config";
    return std::string("/tmp");
}

bool makeDirectories(const std::string& path) {
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        if (!partial.empty() && mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        start = slash + 1;
    }
    return true;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if (bytes.size() + n > kMaxFileBytes) {
            std::fclose(f);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return true;
}

bool loadKey(const std::string& keyPath, std::vector<RegistryValue>& values) {
    std::vector<uint8_t> bytes;
    if (!readFile(RegistryStore::keyFilePath(keyPath), bytes)) return false;
    return parseRegistryKeyFile(bytes.data(), bytes.size(), values);
}

bool writeValue(const std::string& keyPath, const char* name, RegistryType type, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<RegistryValue> values;
    loadKey(keyPath, values);
    setRegistryValue(values, name, static_cast<uint32_t>(type), data, size);
    const std::vector<uint8_t> out = serializeRegistryKeyFile(values);

    const std::string path = RegistryStore::keyFilePath(keyPath);
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || !makeDirectories(path.substr(0, slash))) return false;
    return writeFileAtomically(path, out.data(), out.size(), 0600);
}

}  // namespace

std::string RegistryStore::keyFilePath(const std::string& keyPath) {
    // Each component of the key path becomes a folder; components that could
    // leave the store ("..", empty) are dropped.
    std::string path = configRoot() + "/talvex-registry";
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t cut = keyPath.find_first_of("\\/", start);
        if (cut == std::string::npos) cut = keyPath.size();
        std::string component = keyPath.substr(start, cut - start);
        if (!component.empty() && component != "." && component != "..") path += "/" + component;
        start = cut + 1;
    }
    return path + ".reg";
}

bool RegistryStore::readDword(const std::string& keyPath, const char* name, uint32_t& value) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<RegistryValue> values;
    if (!loadKey(keyPath, values)) return false;
    return registryDword(findRegistryValue(values, name), value);
}

bool RegistryStore::readString(const std::string& keyPath, const char* name, std::string& value, size_t maxChars) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<RegistryValue> values;
    if (!loadKey(keyPath, values)) return false;
    return registryString(findRegistryValue(values, name), maxChars, value);
}

bool RegistryStore::readBinary(const std::string& keyPath, const char* name, std::vector<uint8_t>& value) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<RegistryValue> values;
    if (!loadKey(keyPath, values)) return false;
    const RegistryValue* v = findRegistryValue(values, name);
    if (v == nullptr || v->type != static_cast<uint32_t>(RegistryType::Binary)) return false;
    value = v->data;
    return true;
}

bool RegistryStore::writeDword(const std::string& keyPath, const char* name, uint32_t value) {
    uint8_t data[4];
    for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(value >> (8 * i));
    return writeValue(keyPath, name, RegistryType::Dword, data, sizeof(data));
}

bool RegistryStore::writeString(const std::string& keyPath, const char* name, const std::string& value) {
    // Stored with its terminating zero, as the registry does.
    return writeValue(keyPath, name, RegistryType::String, reinterpret_cast<const uint8_t*>(value.c_str()),
                      value.size() + 1);
}

bool RegistryStore::writeBinary(const std::string& keyPath, const char* name, const uint8_t* data, size_t size) {
    return writeValue(keyPath, name, RegistryType::Binary, data, size);
}

}  // namespace platform
