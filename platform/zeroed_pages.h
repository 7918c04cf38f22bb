// Zeroed memory taken straight from the operating system in whole pages. A
// page becomes resident only when it is first written, so a buffer sized
// for the longest block a host may send costs memory only for the part the
// blocks really use. Allocate and release off the audio thread.
#pragma once

#include <cstddef>
#include <utility>

namespace platform {

// Null when the system refuses; bytes may be 0 (null then too).
void* allocateZeroedPages(std::size_t bytes);
void releaseZeroedPages(void* pages, std::size_t bytes);

// Makes the pages under bytes from p resident now, keeping what they hold:
// one byte of each page is read and written back. It is the write that
// counts, as a page only read maps the shared zero page and faults again at
// its first write. No other thread may write there meanwhile.
inline void touchPages(void* p, std::size_t bytes) {
    constexpr std::size_t kStepBytes = 4096;  // the smallest page of the systems served
    if (p == nullptr || bytes == 0) return;
    auto* at = static_cast<volatile unsigned char*>(p);
    for (std::size_t i = 0; i < bytes; i += kStepBytes) at[i] = at[i];
    at[bytes - 1] = at[bytes - 1];  // the last page, when p is not on a page start
}

// An array of count zeroed T (T trivially constructible) in such pages.
template <class T>
class ZeroedArray {
public:
    ZeroedArray() = default;
    explicit ZeroedArray(std::size_t count)
        : data_(static_cast<T*>(allocateZeroedPages(count * sizeof(T)))), count_(data_ != nullptr ? count : 0) {}
    ZeroedArray(ZeroedArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    ZeroedArray& operator=(ZeroedArray&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = std::exchange(other.data_, nullptr);
            count_ = std::exchange(other.count_, 0);
        }
        return *this;
    }
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;
    ~ZeroedArray() { reset(); }

    void reset() {
        if (data_ != nullptr) releaseZeroedPages(data_, count_ * sizeof(T));
        data_ = nullptr;
        count_ = 0;
    }
    T* data() { return data_; }
    const T* data() const { return data_; }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace platform
