#include "LargeMemory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#define MIRODEX_HUGE_PAGES 1
#endif

namespace LargeMemory {
namespace {

#ifdef MIRODEX_HUGE_PAGES
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this a huge page would mostly stay empty.
constexpr std::size_t kThreshold = std::size_t(512) << 10;

std::size_t mappedSize(std::size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// Whole huge pages on a huge-page boundary, or null when the system refuses.
void* mapHuge(std::size_t size) {
    const std::size_t span = size + kHugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    const std::size_t tail = start + span - (aligned + size);
    if (tail > 0)
        munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, size, MADV_HUGEPAGE); // only a wish: without it the block still works
    return block;
}
#endif

} // namespace

void* allocate(std::size_t bytes, std::size_t* usable) {
#ifdef MIRODEX_HUGE_PAGES
    if (bytes >= kThreshold) {
        const std::size_t size = mappedSize(bytes);
        if (void* block = mapHuge(size)) {
            if (usable)
                *usable = size;
            return block;
        }
        throw std::bad_alloc();
    }
#endif
    if (usable)
        *usable = bytes;
    return ::operator new(bytes);
}

void release(void* block, std::size_t bytes) noexcept {
    if (!block)
        return;
#ifdef MIRODEX_HUGE_PAGES
    if (bytes >= kThreshold) {
        munmap(block, mappedSize(bytes));
        return;
    }
#endif
    ::operator delete(block);
}

} // namespace LargeMemory
