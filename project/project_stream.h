// Reading a project's bytes: a cursor over the data, lines ended by LF with
// every CR dropped (CRLF and LF files read alike), fields ended by ";", and
// raw byte runs for the module states embedded between lines. The bytes are
// untrusted; nothing here reads past the end of the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ProjectStream {
public:
    ProjectStream(const uint8_t* data, size_t size) : data_(data), size_(data != nullptr ? size : 0) {}

    bool atEnd() const { return position_ >= size_; }
    size_t position() const { return position_; }
    size_t remaining() const { return size_ - position_; }
    const uint8_t* current() const { return data_ + position_; }

    // The next line without its CR bytes and LF; false at the end of data.
    bool readLine(std::string& line);
    // Copies count bytes and moves past them. Refused (false, nothing read,
    // position unchanged) at the end of data, and for a count that is
    // negative or larger than what is left.
    bool readRaw(int64_t count, uint8_t* destination);
    bool readRaw(int64_t count, std::vector<uint8_t>& destination);
    // Moves past count bytes under the same conditions.
    bool skip(int64_t count);

private:
    bool fits(int64_t count) const;

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// One line split into fields. Field 0 is the key.
class ProjectLine {
public:
    // A field keeps at most this many characters; the rest of it is dropped.
    static constexpr size_t kMaxFieldChars = 512;

    // Each field ends with ";"; text after the last ";" is discarded, and a
    // NUL byte ends the line. Empty fields are kept.
    void split(std::string_view text);

    size_t count() const { return starts_.size(); }
    // Empty for a field the line does not have.
    std::string_view field(size_t i) const;
    std::string_view key() const { return field(0); }
    bool is(std::string_view key) const { return count() > 0 && field(0) == key; }
    // Field i read as a lenient integer or real; 0 when missing.
    int integer(size_t i) const;
    float real(size_t i) const;

private:
    std::string text_;  // the fields back to back
    std::vector<size_t> starts_;
    std::vector<size_t> lengths_;
};
