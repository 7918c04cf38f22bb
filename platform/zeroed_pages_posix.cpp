#include "platform/zeroed_pages.h"

#include <sys/mman.h>

namespace platform {

void* allocateZeroedPages(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void releaseZeroedPages(void* pages, std::size_t bytes) {
    if (pages != nullptr) munmap(pages, bytes);
}

}  // namespace platform
