#include "platform/zeroed_pages.h"

#include <windows.h>

namespace platform {

// Committed pages read as zero and join the working set when first touched.
void* allocateZeroedPages(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseZeroedPages(void* pages, std::size_t /*bytes*/) {
    if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace platform
