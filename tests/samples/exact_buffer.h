// Hands a reader its input in a heap block of exactly the file's length, so
// that AddressSanitizer reports any read past the end.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "modules/decoded_sample.h"

namespace test_files {

class ExactBuffer {
public:
    explicit ExactBuffer(const std::vector<uint8_t>& bytes, size_t length)
        : size_(length), data_(new uint8_t[length == 0 ? 1 : length]) {
        if (length > 0) std::memcpy(data_.get(), bytes.data(), length);
    }
    explicit ExactBuffer(const std::vector<uint8_t>& bytes) : ExactBuffer(bytes, bytes.size()) {}
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }

private:
    size_t size_;
    std::unique_ptr<uint8_t[]> data_;
};

template <typename Reader>
bool readExact(Reader reader, const std::vector<uint8_t>& bytes, DecodedSample& out,
               const SampleReadOptions& options = SampleReadOptions{}) {
    ExactBuffer buffer(bytes);
    return reader(buffer.data(), buffer.size(), options, out);
}

}  // namespace test_files
