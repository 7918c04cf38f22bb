#include "tools/projectgen/project_text.h"

#include <cstdio>

namespace projectgen {

namespace {

// Locale-independent: the format always uses a dot.
std::string fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, v);
    for (char* c = text; *c != 0; ++c)
        if (*c == ',') *c = '.';
    return text;
}

}  // namespace

void ProjectText::line(const std::string& key, const std::vector<std::string>& fields) {
    std::string text = key + ";";
    for (const std::string& f : fields) text += f + ";";
    text += "\r\n";
    bytes_.insert(bytes_.end(), text.begin(), text.end());
}

void ProjectText::raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    bytes_.push_back('\r');
    bytes_.push_back('\n');
}

std::string masterReal(double v) { return fixed(v, 6); }
std::string trackReal(double v) { return fixed(v, 4); }
std::string integer(long v) { return std::to_string(v); }

std::string paddedCount(size_t count) {
    char text[32];
    std::snprintf(text, sizeof(text), "%10zu", count);
    return text;
}

}  // namespace projectgen
