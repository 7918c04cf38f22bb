#include <cstdlib>
#include <string>
#include <vector>

#include "tools/player/player_app.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string executableFolder() {
#if defined(_WIN32)
    char path[MAX_PATH] = {0};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    const size_t slash = text.find_last_of("\\/");
#else
    char path[4096] = {0};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string text(path, length > 0 ? static_cast<size_t>(length) : 0);
    const size_t slash = text.rfind('/');
#endif
    return slash == std::string::npos ? std::string(".") : text.substr(0, slash);
}

bool exists(const std::string& path) {
#if defined(_WIN32)
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
#endif
}

}  // namespace

std::string defaultPluginPath() {
    const std::string folder = executableFolder();
#if defined(_WIN32)
    const std::vector<std::string> candidates = {folder + "\\Talvex.dll", folder + "\\..\\plugins\\Talvex.dll"};
#else
    // Installed: bin/talvex beside lib/vst/Talvex.so; in a build tree:
    // bin/talvex beside plugins/Talvex.so.
    // Then the folders hosts scan, for a plug-in installed apart.
    std::vector<std::string> candidates = {folder + "/../lib/vst/Talvex.so", folder + "/Talvex.so",
                                           folder + "/../plugins/Talvex.so"};
    if (const char* home = std::getenv("HOME")) candidates.push_back(std::string(home) + "/.vst/Talvex.so");
    candidates.push_back("/usr/local/lib/vst/Talvex.so");
    candidates.push_back("/usr/lib/vst/Talvex.so");
#endif
    for (const std::string& candidate : candidates)
        if (exists(candidate)) return candidate;
    return candidates.front();
}
