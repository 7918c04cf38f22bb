// Writes the project text format: ";"-terminated fields, CRLF line ends,
// master reals with six decimals, track reals with four, integers plain, and
// raw byte runs after the line that announces them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace projectgen {

class ProjectText {
public:
    // A line of a key and ready-made fields.
    void line(const std::string& key, const std::vector<std::string>& fields = {});
    // Raw bytes that follow the previous line, ended by CRLF (which then
    // reads as an empty, ignored line).
    void raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

std::string masterReal(double v);  // "127.000000"
std::string trackReal(double v);   // "90.9489"
std::string integer(long v);       // "127"
// PRESET_SIZE's count, right-aligned in ten characters.
std::string paddedCount(size_t count);

}  // namespace projectgen
