#include "tests/support/recycling_allocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// Each block carries its key (the requested size, and the alignment when
// it asked for more than malloc's 16 bytes) and where its memory begins,
// just ahead of it; a kept block links to the next kept one of its key
// through its first bytes.
struct Header {
    std::uint64_t key;
    void* base;
};
static_assert(sizeof(Header) == 16);

struct FreeList {
    std::uint64_t key;  // 0: slot unused
    void* head;
};

constexpr std::size_t kLists = 4096;  // keys kept; blocks of others are released
constexpr std::size_t kPlainAlignment = 16;
FreeList gLists[kLists];
std::atomic<bool> gRecycling{false};
std::atomic_flag gLock = ATOMIC_FLAG_INIT;

struct Locked {
    Locked() {
        while (gLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Locked() { gLock.clear(std::memory_order_release); }
};

// The list of one key, found by open addressing; with `add`, an unused
// slot is taken for it. Null when there is none (and no room).
FreeList* listFor(std::uint64_t key, bool add) {
    std::size_t at = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 52) % kLists;
    for (std::size_t probe = 0; probe < kLists; ++probe, at = (at + 1) % kLists) {
        if (gLists[at].key == key) return &gLists[at];
        if (gLists[at].key == 0) {
            if (!add) return nullptr;
            gLists[at].key = key;
            return &gLists[at];
        }
    }
    return nullptr;
}

Header* headerOf(void* block) { return static_cast<Header*>(block) - 1; }

void* allocate(std::size_t size, std::size_t alignment) noexcept {
    if (size == 0) size = 1;
    if (alignment < kPlainAlignment) alignment = kPlainAlignment;
    const std::uint64_t key =
        static_cast<std::uint64_t>(size) | (alignment > kPlainAlignment ? static_cast<std::uint64_t>(alignment) << 40 : 0);
    if (gRecycling.load(std::memory_order_relaxed)) {
        Locked lock;
        if (FreeList* list = listFor(key, false); list != nullptr && list->head != nullptr) {
            void* block = list->head;
            list->head = *static_cast<void**>(block);
            return block;
        }
    }
    // The header takes the first alignment step of the memory.
    const std::size_t room = alignment + (size + alignment - 1) / alignment * alignment;
    void* base = alignment > kPlainAlignment ? std::aligned_alloc(alignment, room) : std::malloc(room);
    if (base == nullptr) return nullptr;
    void* block = static_cast<char*>(base) + alignment;
    *headerOf(block) = Header{key, base};
    return block;
}

void release(void* block) noexcept {
    if (block == nullptr) return;
    Header* header = headerOf(block);
    if (gRecycling.load(std::memory_order_relaxed)) {
        Locked lock;
        if (FreeList* list = listFor(header->key, true); list != nullptr) {
            *static_cast<void**>(block) = list->head;
            list->head = block;
            return;
        }
    }
    std::free(header->base);
}

}  // namespace

namespace test_recycling {
void setRecycling(bool on) { gRecycling.store(on); }
}  // namespace test_recycling

// Every form of new and delete goes through the pair above, the nothrow
// and aligned forms included, or a block would reach a delete that does
// not know its header.
void* operator new(std::size_t size) {
    if (void* p = allocate(size, 0)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size, 0)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t a) {
    if (void* p = allocate(size, static_cast<std::size_t>(a))) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t a) {
    if (void* p = allocate(size, static_cast<std::size_t>(a))) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
