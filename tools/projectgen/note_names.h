// Keys as a musician writes them: "C3" is key 48 (so "A4" is 440 Hz, key
// 69), sharps as "F#2", flats as "Bb2"; a plain number is the key itself.
#pragma once

#include <optional>
#include <string>

namespace projectgen {

// The key 0..127 a name or number gives; nothing when the text is neither
// or the key lies outside 0..127.
std::optional<int> keyFromText(const std::string& text);

// "A2", "C#4": the name keyFromText reads back as key.
std::string keyName(int key);

}  // namespace projectgen
