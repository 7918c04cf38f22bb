#include <windows.h>

#include <atomic>
#include <string>

#include "platform/atomic_file_write.h"

namespace platform {

namespace {
std::atomic<unsigned> g_temporarySequence{0};
}  // namespace

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, unsigned /*mode*/) {
    if (path.empty()) return false;
    const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId()) + "." +
                                  std::to_string(g_temporarySequence.fetch_add(1));
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool complete = true;
    size_t written = 0;
    while (complete && written < size) {
        const DWORD part = static_cast<DWORD>(size - written > 0x40000000u ? 0x40000000u : size - written);
        DWORD n = 0;
        complete = WriteFile(file, data + written, part, &n, nullptr) != 0 && n > 0;
        written += n;
    }
    // On the disk before the name moves, as on Linux.
    complete = complete && FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (!complete ||
        MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
