#pragma once

#include <cstddef>
#include <new>

// Memory for the big tables a large phone book needs (entries, their texts).
//
// Touching fresh memory page by page can cost more than decoding the book; where
// the system offers huge pages, a large block asks for them, so a million
// entries cost tens of page faults instead of tens of thousands. Small blocks
// come from the ordinary heap.
namespace LargeMemory {

// At least `bytes` of memory aligned for any type; throws std::bad_alloc when
// there is none. `usable` (optional) receives the size really reserved, which
// the caller may fill entirely.
void* allocate(std::size_t bytes, std::size_t* usable = nullptr);
// Gives back a block from allocate(), with the size asked for there.
void release(void* block, std::size_t bytes) noexcept;

// For standard containers of large tables.
template <typename T> struct Allocator {
    using value_type = T;
    Allocator() = default;
    template <typename U> Allocator(const Allocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(LargeMemory::allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { LargeMemory::release(p, n * sizeof(T)); }
    template <typename U> bool operator==(const Allocator<U>&) const noexcept { return true; }
};

} // namespace LargeMemory
