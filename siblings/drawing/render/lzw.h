// TIFF's LZW compression of one strip, as readers expect it: 9 to 12 bit
// codes written most significant bit first, a clear code first and whenever
// the table fills, the code width grown one code early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drawing {

// Appends the compressed strip to out. The encoding is plain greedy LZW,
// so any TIFF reader decodes it; runs of zero bytes (paper in a palette
// image whose white is entry 0) are matched a whole table string at a time
// instead of byte by byte, which makes a mostly white page cheap.
void lzwEncode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace drawing
