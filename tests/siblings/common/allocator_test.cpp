#include "common/allocator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// The end of the program's data, where its heap begins (see end(3)).
extern "C" char end;

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

// The heap grows in steps large enough for huge pages, whatever the block
// that makes it grow.
TEST(SiblingAllocator, TheHeapGrowsByEightMegabytesAtATime) {
    siblings::keepFreedBlocksForReuse();
    std::vector<void*> blocks;
    const std::size_t start = mallinfo2().arena;
    std::size_t before = start;
    int growths = 0;
    // Small blocks until the heap has grown twice (the first growth may be
    // taken up partly by what the free top already held).
    while (growths < 2 && blocks.size() < 100000) {
        blocks.push_back(std::malloc(64 << 10));
        ASSERT_NE(blocks.back(), nullptr);
        const std::size_t now = mallinfo2().arena;
        if (now != before) {
            ++growths;
            if (growths == 2) {
                EXPECT_GE(now - before, std::size_t(siblings::kHeapGrowth));
            }
            before = now;
        }
    }
    EXPECT_EQ(growths, 2);
    for (void* b : blocks) {
        std::free(b);
    }
}

// A block a thread asks for lies in the program's heap, between the end of
// its data and the break, not in a mapping of the thread's own heap.
TEST(SiblingAllocator, ThreadsTakeTheirBlocksFromTheOneHeap) {
    siblings::keepFreedBlocksForReuse();
    siblings::shareOneHeapAcrossThreads();
    std::vector<void*> blocks(4, nullptr);
    {
        std::vector<std::thread> threads;
        for (auto& b : blocks) {
            threads.emplace_back([&b] { b = std::malloc(256 << 10); });
        }
        for (auto& t : threads) {
            t.join();
        }
    }
    const char* top = static_cast<const char*>(sbrk(0));
    for (void* b : blocks) {
        ASSERT_NE(b, nullptr);
        EXPECT_GE(static_cast<const char*>(b), &end);
        EXPECT_LT(static_cast<const char*>(b), top);
        std::free(b);
    }
}
#endif

}  // namespace
