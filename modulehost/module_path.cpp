#include "modulehost/module_path.h"

#include <cstring>

std::string moduleFileTitle(const std::string& path) {
    const size_t separator = path.find_last_of("\\/:");
    const size_t start = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = path.find('.', start);
    return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

std::string absoluteModulePath(const std::string& path, const std::string& pluginDirectory) {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return pluginDirectory + path;
    return path;
}

namespace {

struct ShortName {
    const char* product;
    const char* shortName;
};

// Letter case as the modules report their product strings.
const ShortName kShortNames[] = {
    {"KAVO chorus", "Chorus"},   {"KAVO reverb", "Reverb"},   {"KAVO delay", "Delay"},
    {"KAVO compressor", "Compress"}, {"KAVO Limiter", "Limiter"}, {"KAVO flanger", "Flanger"},
    {"KAVO Filter", "Filter"},
};

}  // namespace

const char* moduleShortName(const char* productName) {
    if (productName == nullptr) return "";
    for (const auto& entry : kShortNames)
        if (std::strcmp(entry.product, productName) == 0) return entry.shortName;
    return "";
}
