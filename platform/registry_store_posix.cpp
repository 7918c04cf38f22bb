// File-backed stand-in for the current user's registry. One file per key
// holds that key's values:
//   "TVXREG1\0", uint32 count, then per value: uint32 name length, name,
//   uint32 type, uint32 data length, data (all little-endian).
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
#include "platform/registry_store.h"

namespace platform {

namespace {

constexpr char kMagic[8] = {'T', 'V', 'X', 'R', 'E', 'G', '1', 0};
constexpr size_t kMaxFileBytes = 64u << 20;  // far above any bank; refuses absurd files

struct Value {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

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

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
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

// Parses a key file; false (and no values) when it is damaged in any way.
bool parse(const std::vector<uint8_t>& bytes, std::vector<Value>& values) {
    values.clear();
    if (bytes.size() < 12 || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) return false;
    size_t pos = 8;
    const uint32_t count = readU32(&bytes[pos]);
    pos += 4;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - pos < 4) return false;
        const uint32_t nameLength = readU32(&bytes[pos]);
        pos += 4;
        if (nameLength > bytes.size() - pos) return false;
        Value v;
        v.name.assign(reinterpret_cast<const char*>(&bytes[pos]), nameLength);
        pos += nameLength;
        if (bytes.size() - pos < 8) return false;
        v.type = readU32(&bytes[pos]);
        const uint32_t dataLength = readU32(&bytes[pos + 4]);
        pos += 8;
        if (dataLength > bytes.size() - pos) return false;
        v.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                      bytes.begin() + static_cast<std::ptrdiff_t>(pos + dataLength));
        pos += dataLength;
        values.push_back(std::move(v));
    }
    return true;
}

bool loadKey(const std::string& keyPath, std::vector<Value>& values) {
    std::vector<uint8_t> bytes;
    if (!readFile(RegistryStore::keyFilePath(keyPath), bytes)) return false;
    if (!parse(bytes, values)) {
        values.clear();
        return false;
    }
    return true;
}

const Value* findValue(const std::vector<Value>& values, const char* name) {
    for (const Value& v : values)
        if (v.name == name) return &v;
    return nullptr;
}

bool writeValue(const std::string& keyPath, const char* name, RegistryType type, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<Value> values;
    loadKey(keyPath, values);
    // Reads take the first value of a name; a damaged or hand-made file may
    // hold more than one, and those after the first go, so that what is
    // written here is what is read back.
    Value* target = nullptr;
    for (size_t i = 0; i < values.size();) {
        if (values[i].name != name) {
            ++i;
        } else if (target == nullptr) {
            target = &values[i++];
        } else {
            values.erase(values.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (target == nullptr) {
        values.push_back(Value{});
        target = &values.back();
        target->name = name;
    }
    target->type = static_cast<uint32_t>(type);
    target->data.assign(data, data + size);

    std::vector<uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    appendU32(out, static_cast<uint32_t>(values.size()));
    for (const Value& v : values) {
        appendU32(out, static_cast<uint32_t>(v.name.size()));
        out.insert(out.end(), v.name.begin(), v.name.end());
        appendU32(out, v.type);
        appendU32(out, static_cast<uint32_t>(v.data.size()));
        out.insert(out.end(), v.data.begin(), v.data.end());
    }

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
    std::vector<Value> values;
    if (!loadKey(keyPath, values)) return false;
    const Value* v = findValue(values, name);
    if (v == nullptr || v->type != static_cast<uint32_t>(RegistryType::Dword) || v->data.size() != 4) return false;
    value = readU32(v->data.data());
    return true;
}

bool RegistryStore::readString(const std::string& keyPath, const char* name, std::string& value, size_t maxChars) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<Value> values;
    if (!loadKey(keyPath, values)) return false;
    const Value* v = findValue(values, name);
    if (v == nullptr || v->type != static_cast<uint32_t>(RegistryType::String)) return false;
    const char* text = reinterpret_cast<const char*>(v->data.data());
    value.assign(text, strnlen(text, v->data.size()));
    if (value.size() > maxChars) value.resize(maxChars);
    return true;
}

bool RegistryStore::readBinary(const std::string& keyPath, const char* name, std::vector<uint8_t>& value) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::vector<Value> values;
    if (!loadKey(keyPath, values)) return false;
    const Value* v = findValue(values, name);
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
