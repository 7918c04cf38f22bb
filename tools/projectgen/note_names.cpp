#include "tools/projectgen/note_names.h"

#include <cctype>
#include <cstdlib>

namespace projectgen {

std::optional<int> keyFromText(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int key = 0;
    size_t at = 0;
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        for (char c : text) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || key > 1000) return std::nullopt;
            key = key * 10 + (c - '0');
        }
    } else {
        static const int kPitchClass[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        if (letter < 'A' || letter > 'G') return std::nullopt;
        key = kPitchClass[letter - 'A'];
        at = 1;
        if (at < text.size() && text[at] == '#') {
            ++key;
            ++at;
        } else if (at < text.size() && text[at] == 'b') {
            --key;
            ++at;
        }
        bool negative = false;
        if (at < text.size() && text[at] == '-') {
            negative = true;
            ++at;
        }
        if (at + 1 != text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return std::nullopt;
        const int octave = (text[at] - '0') * (negative ? -1 : 1);
        key += (octave + 1) * 12;
    }
    if (key < 0 || key > 127) return std::nullopt;
    return key;
}

std::string keyName(int key) {
    static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (key < 0 || key > 127) return std::to_string(key);
    return std::string(kNames[key % 12]) + std::to_string(key / 12 - 1);
}

}  // namespace projectgen
