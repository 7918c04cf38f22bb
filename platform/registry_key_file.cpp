#include "platform/registry_key_file.h"

#include <cstring>

namespace platform {

namespace {

constexpr char kMagic[8] = {'T', 'V', 'X', 'R', 'E', 'G', '1', 0};
constexpr uint32_t kTypeString = 1;
constexpr uint32_t kTypeDword = 4;

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

namespace {

// Reads one value at pos; false when the bytes end inside it.
bool readValue(const uint8_t* bytes, size_t size, size_t& pos, RegistryValue& v) {
    if (size - pos < 4) return false;
    const uint32_t nameLength = readU32(bytes + pos);
    pos += 4;
    if (nameLength > size - pos) return false;
    v.name.assign(reinterpret_cast<const char*>(bytes + pos), nameLength);
    pos += nameLength;
    if (size - pos < 8) return false;
    v.type = readU32(bytes + pos);
    const uint32_t dataLength = readU32(bytes + pos + 4);
    pos += 8;
    if (dataLength > size - pos) return false;
    v.data.assign(bytes + pos, bytes + pos + dataLength);
    pos += dataLength;
    return true;
}

}  // namespace

bool parseRegistryKeyFile(const uint8_t* bytes, size_t size, std::vector<RegistryValue>& values) {
    values.clear();
    if (bytes == nullptr || size < 12 || std::memcmp(bytes, kMagic, sizeof(kMagic)) != 0) return false;
    size_t pos = 8;
    const uint32_t count = readU32(bytes + pos);
    pos += 4;
    // Every value takes at least 12 bytes, so a count the file cannot hold
    // ends at the first missing field.
    for (uint32_t i = 0; i < count; ++i) {
        RegistryValue v;
        if (!readValue(bytes, size, pos, v)) {
            values.clear();
            return false;
        }
        values.push_back(std::move(v));
    }
    return true;
}

std::vector<uint8_t> serializeRegistryKeyFile(const std::vector<RegistryValue>& values) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    appendU32(out, static_cast<uint32_t>(values.size()));
    for (const RegistryValue& v : values) {
        appendU32(out, static_cast<uint32_t>(v.name.size()));
        out.insert(out.end(), v.name.begin(), v.name.end());
        appendU32(out, v.type);
        appendU32(out, static_cast<uint32_t>(v.data.size()));
        out.insert(out.end(), v.data.begin(), v.data.end());
    }
    return out;
}

const RegistryValue* findRegistryValue(const std::vector<RegistryValue>& values, const char* name) {
    for (const RegistryValue& v : values)
        if (v.name == name) return &v;
    return nullptr;
}

void setRegistryValue(std::vector<RegistryValue>& values, const char* name, uint32_t type, const uint8_t* data,
                      size_t size) {
    // Reads take the first value of a name; a damaged or hand-made file may
    // hold more than one, and those after the first go.
    RegistryValue* target = nullptr;
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
        values.push_back(RegistryValue{});
        target = &values.back();
        target->name = name;
    }
    target->type = type;
    target->data.assign(data, data + size);
}

bool registryDword(const RegistryValue* value, uint32_t& out) {
    if (value == nullptr || value->type != kTypeDword || value->data.size() != 4) return false;
    out = readU32(value->data.data());
    return true;
}

bool registryString(const RegistryValue* value, size_t maxChars, std::string& out) {
    if (value == nullptr || value->type != kTypeString) return false;
    out.clear();
    if (value->data.empty()) return true;
    const char* text = reinterpret_cast<const char*>(value->data.data());
    out.assign(text, strnlen(text, value->data.size()));
    if (out.size() > maxChars) out.resize(maxChars);
    return true;
}

}  // namespace platform
