// How the converter and the comparison program have memory handed out.
#pragma once

namespace siblings {

// A run builds and drops blocks of a few hundred KB to some MB many times
// over (compressed pieces, rows, a page's arrays). Left to the C library's
// defaults, each such block is a mapping of its own that the system clears
// anew every time it is touched; this makes blocks below 32 MiB come from
// the heap, whose freed pages are used again, and returns the heap's free
// top only beyond 64 MiB.
//
// The heap also grows by at least kHeapGrowth at a time. Started with
// GLIBC_TUNABLES=glibc.malloc.hugetlb=1, the C library asks for transparent
// huge pages on every growth of 2 MiB or more, so that a page model growing
// into fresh memory takes one trap per 2 MiB instead of one per 4 KiB.
// Mervik starts the siblings with that setting and with the same growth
// (glibc.malloc.top_pad) from the first allocation on, which does better
// still: the heap's first megabytes are then backed by huge pages too.
// Without huge pages the growth is only address space, taken up page by
// page as before. Call first thing in main.
inline constexpr int kHeapGrowth = 8 << 20;
void keepFreedBlocksForReuse();

// Threads take their blocks from the one heap as well, rather than each
// from a heap of its own: only the one grows by kHeapGrowth on huge pages,
// a thread's own heap takes a trap per 4 KiB page it touches, and the
// allocator holds the free memory of each. For a program whose threads
// mostly work on blocks made before (the comparison program's two sides),
// not one that allocates on all of them at once. Call before the first
// thread starts.
void shareOneHeapAcrossThreads();

}  // namespace siblings
