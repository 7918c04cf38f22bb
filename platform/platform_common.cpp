#include <cctype>

#include "platform/platform.h"

namespace platform {

bool equalsIgnoreCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    while (*a != 0 && *b != 0) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

std::string pluginDirectory() {
    std::string path = pluginFilePath();
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return std::string();
    return path.substr(0, cut);
}

}  // namespace platform
