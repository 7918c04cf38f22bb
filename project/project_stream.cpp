#include "project/project_stream.h"

#include <cstring>

#include "project/project_values.h"

bool ProjectStream::readLine(std::string& line) {
    line.clear();
    if (atEnd()) return false;
    const uint8_t* begin = data_ + position_;
    const void* lf = std::memchr(begin, '\n', size_ - position_);
    const size_t length = lf != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - begin)
                                        : size_ - position_;
    line.reserve(length);
    for (size_t i = 0; i < length; ++i)
        if (begin[i] != '\r') line.push_back(static_cast<char>(begin[i]));
    position_ += length + (lf != nullptr ? 1 : 0);
    return true;
}

bool ProjectStream::fits(int64_t count) const {
    return !atEnd() && count >= 0 && static_cast<uint64_t>(count) <= remaining();
}

bool ProjectStream::readRaw(int64_t count, uint8_t* destination) {
    if (!fits(count)) return false;
    if (count > 0) std::memcpy(destination, data_ + position_, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return true;
}

bool ProjectStream::readRaw(int64_t count, std::vector<uint8_t>& destination) {
    if (!fits(count)) return false;
    destination.assign(data_ + position_, data_ + position_ + count);
    position_ += static_cast<size_t>(count);
    return true;
}

bool ProjectStream::skip(int64_t count) {
    if (!fits(count)) return false;
    position_ += static_cast<size_t>(count);
    return true;
}

void ProjectLine::split(std::string_view text) {
    text_.clear();
    starts_.clear();
    lengths_.clear();
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    size_t fieldStart = text_.size();
    size_t fieldLength = 0;
    for (const char c : text) {
        if (c == ';') {
            starts_.push_back(fieldStart);
            lengths_.push_back(fieldLength);
            fieldStart = text_.size();
            fieldLength = 0;
        } else if (fieldLength < kMaxFieldChars) {
            text_.push_back(c);
            ++fieldLength;
        }
    }
    // Characters of an unterminated last field are not a field.
    text_.resize(fieldStart);
}

std::string_view ProjectLine::field(size_t i) const {
    if (i >= starts_.size()) return {};
    return std::string_view(text_).substr(starts_[i], lengths_[i]);
}

int ProjectLine::integer(size_t i) const { return parseInteger(field(i)); }

float ProjectLine::real(size_t i) const { return parseReal(field(i)); }
