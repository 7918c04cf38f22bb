// The settings store's key files (Linux): arbitrary bytes either parse into
// values, which write back to bytes that parse the same, or are refused.
// Setting one value over a parsed file then keeps every other value and
// reads back what was set; texts never come back longer than asked.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry_key_file.h"

namespace {

using platform::RegistryValue;

constexpr const char* kNames[] = {"ScopeOn",   "MultiOutputsMode", "CurProgram", "TooltipsOn",
                                  "BankSelected", "SaveDefaultBank", "FirstUse", "AudioDevice",
                                  "MidiDevice", "SampleRate",        "BufferSize", "UserBank"};
constexpr size_t kTextLimit = 127;

bool sameValues(const std::vector<RegistryValue>& a, const std::vector<RegistryValue>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read past the end is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    std::vector<RegistryValue> values;
    if (!platform::parseRegistryKeyFile(bytes.data(), bytes.size(), values)) {
        if (!values.empty()) std::abort();
        return 0;
    }
    const std::vector<uint8_t> written = platform::serializeRegistryKeyFile(values);
    std::vector<RegistryValue> again;
    if (!platform::parseRegistryKeyFile(written.data(), written.size(), again) || !sameValues(values, again))
        std::abort();

    for (const char* name : kNames) {
        const RegistryValue* v = platform::findRegistryValue(values, name);
        std::string text;
        if (platform::registryString(v, kTextLimit, text) && text.size() > kTextLimit) std::abort();
        uint32_t dword = 0;
        platform::registryDword(v, dword);
    }

    // The input picks the value to set and its contents.
    const char* name = kNames[size % std::size(kNames)];
    const uint8_t* newData = data + size / 2;
    const size_t newSize = size - size / 2;
    std::vector<RegistryValue> changed = values;
    platform::setRegistryValue(changed, name, 3, newData, newSize);
    const std::vector<uint8_t> rewritten = platform::serializeRegistryKeyFile(changed);
    std::vector<RegistryValue> reread;
    if (!platform::parseRegistryKeyFile(rewritten.data(), rewritten.size(), reread)) std::abort();
    const RegistryValue* set = platform::findRegistryValue(reread, name);
    if (set == nullptr || set->type != 3 || set->data != std::vector<uint8_t>(newData, newData + newSize))
        std::abort();
    // Every other name reads as before (names from a file may hold a zero
    // byte, so they are compared whole here).
    auto first = [](const std::vector<RegistryValue>& in, const std::string& n) -> const RegistryValue* {
        for (const RegistryValue& v : in)
            if (v.name == n) return &v;
        return nullptr;
    };
    for (const RegistryValue& v : values) {
        if (v.name == name) continue;
        const RegistryValue* before = first(values, v.name);
        const RegistryValue* now = first(reread, v.name);
        if (now == nullptr || now->type != before->type || now->data != before->data) std::abort();
    }
    return 0;
}
