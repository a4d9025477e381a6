#include "common/allocator.h"

// Any header of the C library tells which library it is: without one
// __GLIBC__ is not yet defined here, and the settings below would silently
// be left out.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace siblings {

void keepFreedBlocksForReuse() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, kHeapGrowth);
#endif
}

void shareOneHeapAcrossThreads() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace siblings
