#include "effects/dsp/ring_storage.h"

#include <mutex>
#include <new>
#include <vector>

#include "platform/zeroed_pages.h"

namespace fxdsp {

namespace {

class RingStore {
public:
    RingStore() { idle_.reserve(64); }
    ~RingStore() { release(); }

    // An idle block of exactly `slots` floats, or null.
    float* take(std::size_t slots) {
        std::lock_guard<std::mutex> lock(mutex_);
        // The block returned last is the likeliest still in the caches.
        for (std::size_t i = idle_.size(); i-- > 0;) {
            if (idle_[i].slots != slots) continue;
            float* data = idle_[i].data;
            idle_.erase(idle_.begin() + static_cast<std::ptrdiff_t>(i));
            idleBytes_ -= bytesOf(slots);
            countUsed(slots, +1);
            return data;
        }
        return nullptr;
    }

    void countUsed(std::size_t slots, int sign) {
        if (sign > 0) {
            ++usedBlocks_;
            usedBytes_ += bytesOf(slots);
        } else {
            --usedBlocks_;
            usedBytes_ -= bytesOf(slots);
        }
    }
    void countNew(std::size_t slots) {
        std::lock_guard<std::mutex> lock(mutex_);
        countUsed(slots, +1);
    }

    // Kept while the idle blocks stay within the bound, released otherwise.
    void give(float* data, std::size_t slots) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            countUsed(slots, -1);
            if (idleBytes_ + bytesOf(slots) <= kRingStoreIdleBytesMax) {
                idle_.push_back({data, slots});
                idleBytes_ += bytesOf(slots);
                return;
            }
        }
        platform::releaseZeroedPages(data, bytesOf(slots));
    }

    void release() {
        std::vector<Idle> idle;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            idle.swap(idle_);
            idleBytes_ = 0;
        }
        for (const Idle& block : idle) platform::releaseZeroedPages(block.data, bytesOf(block.slots));
    }

    RingStoreFigures figures() {
        std::lock_guard<std::mutex> lock(mutex_);
        return {idle_.size(), idleBytes_, usedBlocks_, usedBytes_};
    }

    static std::size_t bytesOf(std::size_t slots) { return slots * sizeof(float); }

private:
    struct Idle {
        float* data;
        std::size_t slots;
    };
    std::mutex mutex_;
    std::vector<Idle> idle_;
    std::size_t idleBytes_ = 0;
    std::size_t usedBlocks_ = 0;
    std::size_t usedBytes_ = 0;
};

// Made by the first ring, so it outlives every ring of a static object.
RingStore& store() {
    static RingStore instance;
    return instance;
}

}  // namespace

RingStorage::RingStorage(std::size_t slots) : slots_(slots) {
    if (slots == 0) return;
    data_ = store().take(slots);
    if (data_ != nullptr) {
        recycled_ = true;
        return;
    }
    // New pages read as zero; one write to each makes it resident now.
    const std::size_t bytes = RingStore::bytesOf(slots);
    data_ = static_cast<float*>(platform::allocateZeroedPages(bytes));
    if (data_ == nullptr) throw std::bad_alloc();
    platform::touchPages(data_, bytes);
    store().countNew(slots);
}

RingStorage::~RingStorage() {
    if (data_ != nullptr) store().give(data_, slots_);
}

RingStoreFigures ringStoreFigures() { return store().figures(); }

void releaseIdleRingStorage() { store().release(); }

}  // namespace fxdsp
