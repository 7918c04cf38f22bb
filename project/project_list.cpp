#include "project/project_list.h"

#include <string_view>

#include "project/project_stream.h"

namespace {

// Each byte is XORed with a key that walks with its position and then
// rotated, so equal letters in a line scramble to different bytes.
constexpr uint8_t kKeyStart = 0xA7;
constexpr uint8_t kKeyStep = 0x3D;
constexpr unsigned kRotation = 3;

uint8_t keyAt(size_t i) { return static_cast<uint8_t>(kKeyStart + kKeyStep * (i & 0xFF) + (i >> 8)); }
uint8_t rotateLeft(uint8_t b) { return static_cast<uint8_t>((b << kRotation) | (b >> (8 - kRotation))); }
uint8_t rotateRight(uint8_t b) { return static_cast<uint8_t>((b >> kRotation) | (b << (8 - kRotation))); }

constexpr std::string_view kProjectSuffix = ".prg";

}  // namespace

std::vector<uint8_t> scrambleProjectList(const uint8_t* text, size_t size) {
    std::vector<uint8_t> out(text != nullptr ? size : 0);
    for (size_t i = 0; i < out.size(); ++i) out[i] = rotateLeft(static_cast<uint8_t>(text[i] ^ keyAt(i)));
    return out;
}

std::vector<uint8_t> unscrambleProjectList(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out(data != nullptr ? size : 0);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(rotateRight(data[i]) ^ keyAt(i));
    return out;
}

std::vector<std::string> readProjectList(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> text = unscrambleProjectList(data, size);
    std::vector<std::string> names;
    ProjectStream stream(text.data(), text.size());
    std::string line;
    while (stream.readLine(line)) {
        const size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        if (line.size() <= kProjectSuffix.size()) continue;  // a bare ".prg" names nothing
        if (std::string_view(line).substr(line.size() - kProjectSuffix.size()) != kProjectSuffix) continue;
        names.push_back(line.substr(0, line.size() - kProjectSuffix.size()));
    }
    return names;
}
