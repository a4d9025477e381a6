// An allocator for the large arrays of a comparison (segments, the
// exact-copy set, the grid): on a large page they hold tens of megabytes
// that are read in no particular order, and with the system's small pages
// nearly every such read also misses the address translation cache, which
// fetching ahead does not hide. Blocks of several megabytes are asked for
// on large pages where the system offers them; smaller ones come from the
// ordinary heap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sandrel {

inline constexpr std::size_t kLargePage = std::size_t{2} << 20;
// Below this a block is not worth a large page of its own.
inline constexpr std::size_t kLargeBlock = 2 * kLargePage;

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    explicit LargePageAllocator(const LargePageAllocator<U>&) {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlock) {
            return static_cast<T*>(::operator new(bytes));
        }
        const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        void* p = std::aligned_alloc(kLargePage, rounded);
        if (p == nullptr) {
            throw std::bad_alloc();
        }
#if defined(__linux__)
        // Only a hint: without large pages the block works all the same.
        madvise(p, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < kLargeBlock) {
            ::operator delete(p);
        } else {
            std::free(p);
        }
    }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

}  // namespace sandrel
