#include <windows.h>

#include "platform/registry_store.h"

namespace platform {

namespace {
HKEY openKey(const std::string& keyPath, bool create) {
    HKEY key = nullptr;
    LONG rc = create ? RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_WRITE, nullptr, &key, nullptr)
                     : RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key);
    return rc == ERROR_SUCCESS ? key : nullptr;
}
}  // namespace

std::string RegistryStore::keyFilePath(const std::string& /*keyPath*/) { return std::string(); }

bool RegistryStore::readDword(const std::string& keyPath, const char* name, uint32_t& value) {
    HKEY key = openKey(keyPath, false);
    if (key == nullptr) return false;
    DWORD type = 0, data = 0, size = sizeof(data);
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return false;
    value = data;
    return true;
}

bool RegistryStore::readString(const std::string& keyPath, const char* name, std::string& value, size_t maxChars) {
    HKEY key = openKey(keyPath, false);
    if (key == nullptr) return false;
    std::vector<char> buffer(maxChars + 2, 0);
    DWORD type = 0, size = static_cast<DWORD>(buffer.size() - 1);
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc == ERROR_MORE_DATA) {
        // Longer than the field: read it whole and cut it.
        DWORD needed = 0;
        RegQueryValueExA(key, name, nullptr, &type, nullptr, &needed);
        buffer.assign(static_cast<size_t>(needed) + 2, 0);
        size = needed;
        rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    value.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    if (value.size() > maxChars) value.resize(maxChars);
    return true;
}

bool RegistryStore::readBinary(const std::string& keyPath, const char* name, std::vector<uint8_t>& value) {
    HKEY key = openKey(keyPath, false);
    if (key == nullptr) return false;
    DWORD largest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &largest,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    std::vector<uint8_t> buffer(largest);
    DWORD type = 0, size = largest;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, buffer.empty() ? nullptr : buffer.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_BINARY) return false;
    buffer.resize(size);
    value.swap(buffer);
    return true;
}

bool RegistryStore::writeDword(const std::string& keyPath, const char* name, uint32_t value) {
    HKEY key = openKey(keyPath, true);
    if (key == nullptr) return false;
    DWORD data = value;
    LONG rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool RegistryStore::writeString(const std::string& keyPath, const char* name, const std::string& value) {
    HKEY key = openKey(keyPath, true);
    if (key == nullptr) return false;
    LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool RegistryStore::writeBinary(const std::string& keyPath, const char* name, const uint8_t* data, size_t size) {
    HKEY key = openKey(keyPath, true);
    if (key == nullptr) return false;
    LONG rc = RegSetValueExA(key, name, 0, REG_BINARY, data, static_cast<DWORD>(size));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace platform
