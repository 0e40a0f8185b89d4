#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Allocator for the big arrays of a large phone book (tens of MB each at a
// million entries). Linux hands out fresh memory one 4 KiB page at a time,
// each first touch a fault; on the 2-core development VM a fault costs about
// 23 µs, so 100 MB took 600 ms to touch. Blocks of 2 MiB and more are mapped
// on their own, aligned to 2 MiB and advised as transparent huge pages: one
// fault per 2 MiB (the same 100 MB took 10–20 ms), and freeing one gives its
// memory back at once. Elsewhere, and for small blocks, it is std::allocator.
template <class T> struct LargeAllocator {
    using value_type = T;
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;

    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T) - kHugePage)
            throw std::bad_array_new_length();
#if defined(__linux__)
        if (n * sizeof(T) >= kHugePage) {
            const std::size_t bytes = rounded(n);
            // Map one huge page more than needed and cut the ends to a 2 MiB boundary.
            void* mapped = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped == MAP_FAILED)
                throw std::bad_alloc();
            const auto start = reinterpret_cast<std::uintptr_t>(mapped);
            const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
            if (aligned > start)
                munmap(mapped, aligned - start);
            if (const std::size_t tail = kHugePage - (aligned - start))
                munmap(reinterpret_cast<void*>(aligned + bytes), tail);
            madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE); // advice: failing costs speed only
            return reinterpret_cast<T*>(aligned);
        }
#endif
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }

    void deallocate(T* p, [[maybe_unused]] std::size_t n) noexcept {
#if defined(__linux__)
        if (n * sizeof(T) >= kHugePage) {
            munmap(p, rounded(n));
            return;
        }
#endif
        ::operator delete(p);
    }

    template <class U> bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }

private:
    static std::size_t rounded(std::size_t n) {
        return (n * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage;
    }
};

template <class T> using LargeVector = std::vector<T, LargeAllocator<T>>;
