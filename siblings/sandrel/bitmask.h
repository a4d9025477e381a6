// Masks of pixels kept eight to a byte, sixty-four to a word, for work on
// whole pages that looks at every pixel: a page of A3 at 200 dpi is a
// megabyte instead of eight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sandrel {

// Row y, pixel x is bit x % 64 of word y * words + x / 64. The bits beyond
// the width in a row's last word are kept clear.
struct BitMask {
    int width = 0;
    int height = 0;
    std::size_t words = 0;  // a row
    std::vector<std::uint64_t> bits;

    BitMask() = default;
    BitMask(int w, int h);
    std::uint64_t* row(int y) { return bits.data() + static_cast<std::size_t>(y) * words; }
    const std::uint64_t* row(int y) const {
        return bits.data() + static_cast<std::size_t>(y) * words;
    }
    bool at(int x, int y) const { return (row(y)[x >> 6] >> (x & 63) & 1u) != 0; }
};

// Bit set where the byte is not 0.
BitMask packMask(const std::vector<std::uint8_t>& mask, int width, int height);

// One byte a pixel, 1 where the bit is set.
std::vector<std::uint8_t> unpackMask(const BitMask& mask);

// Sets every pixel within radius pixels (horizontally and vertically) of a
// set pixel: a square of 2 radius + 1 pixels a side about each.
BitMask dilateBits(const BitMask& mask, int radius);

}  // namespace sandrel
