#include "ui/qt/BlockMemory.h"

#include <sys/mman.h>

#include <new>

namespace {

// Smaller blocks come from the heap, whose pages are mostly in use already.
constexpr std::size_t kMappedFrom = 64 * 1024;

}  // namespace

void* AllocateBlock(std::size_t bytes) {
    if (bytes < kMappedFrom) return ::operator new(bytes);
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    return block;
}

void FreeBlock(void* block, std::size_t bytes) {
    if (!block) return;
    if (bytes < kMappedFrom) {
        ::operator delete(block);
        return;
    }
    munmap(block, bytes);
}
