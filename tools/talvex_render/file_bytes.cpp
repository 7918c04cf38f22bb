#include "tools/talvex_render/file_bytes.h"

#include <cstdio>

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path;
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    bool ok = true;
    while (true) {
        size_t got = std::fread(buffer, 1, sizeof(buffer), file);
        if (got == 0) break;
        if (bytes.size() + got > kMaxInputFileBytes) {
            error = path + " is larger than " + std::to_string(kMaxInputFileBytes >> 20) + " MB";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (ok && std::ferror(file)) {
        error = "cannot read " + path;
        ok = false;
    }
    std::fclose(file);
    return ok;
}

bool writeFileBytes(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}
