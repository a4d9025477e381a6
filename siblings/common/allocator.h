// How the converter and the comparison program have memory handed out.
#pragma once

namespace siblings {

// A run builds and drops blocks of a few hundred KB to some MB many times
// over (compressed pieces, rows, a page's arrays). Left to the C library's
// defaults, each such block is a mapping of its own that the system clears
// anew every time it is touched; this makes blocks below 32 MiB come from
// the heap, whose freed pages are used again, and returns the heap's free
// top only beyond 64 MiB. Call first thing in main.
void keepFreedBlocksForReuse();

}  // namespace siblings
