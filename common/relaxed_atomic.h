// A scalar that one thread writes and others read without ordering needs:
// plain loads and stores, relaxed, so a torn or racing value is impossible
// while the code still reads like a plain field.
#pragma once

#include <atomic>

template <class T>
class Relaxed {
public:
    Relaxed() : value_(T{}) {}
    Relaxed(T value) : value_(value) {}  // NOLINT: implicit by design
    Relaxed(const Relaxed& other) : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); }  // NOLINT: implicit by design
    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};
