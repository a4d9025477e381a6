#include "common/allocator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
// After the call, blocks of some MB come from the heap and stay there when
// freed: the C library's default maps each one of its own (from 128 KiB on,
// and from the size of the largest one freed since) and unmaps it again.
TEST(SiblingAllocator, BlocksOfSomeMegabytesComeFromTheHeapAndAreKept) {
    siblings::keepFreedBlocksForReuse();
    for (std::size_t mb : {1, 3, 8, 24}) {
        const std::size_t mappedBefore = mallinfo2().hblkhd;
        void* block = std::malloc(mb << 20);
        ASSERT_NE(block, nullptr);
        std::memset(block, 1, mb << 20);
        EXPECT_EQ(mallinfo2().hblkhd, mappedBefore) << mb << " MB were mapped apart";
        const std::size_t heapBefore = mallinfo2().arena;
        std::free(block);
        // Freed, it stays in the heap for the next block.
        EXPECT_EQ(mallinfo2().arena, heapBefore) << mb << " MB were given back";
    }
}
#endif

}  // namespace
