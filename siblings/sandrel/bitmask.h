// Masks of pixels kept eight to a byte, sixty-four to a word, for work on
// whole pages that looks at every pixel: a page of A3 at 200 dpi is a
// megabyte instead of eight.
#pragma once

#include <bit>
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

// The set bits of a word. Where the processor has no instruction for it
// (a build for any x86-64), std::popcount calls a library routine: the
// sum in parallel is several times cheaper.
inline int bitCount(std::uint64_t v) {
#if defined(__POPCNT__) || !(defined(__x86_64__) || defined(__i386__))
    return std::popcount(v);
#else
    v -= (v >> 1) & 0x5555555555555555ull;
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((v * 0x0101010101010101ull) >> 56);
#endif
}

// Bit set where the byte is not 0.
BitMask packMask(const std::vector<std::uint8_t>& mask, int width, int height);

// One byte a pixel, 1 where the bit is set.
std::vector<std::uint8_t> unpackMask(const BitMask& mask);

// Sets every pixel within radius pixels (horizontally and vertically) of a
// set pixel: a square of 2 radius + 1 pixels a side about each.
BitMask dilateBits(const BitMask& mask, int radius);

}  // namespace sandrel
