#pragma once

// A row of one-bit pixels, most significant bit first, as one byte a pixel.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace drawing {

// Writes pixels bytes to out: off for each clear bit of bits, on for each set
// one. Scans are mostly paper, so bytes that are all clear or all set are
// filled eight pixels at once.
inline void expandBitRow(const std::uint8_t* bits, std::size_t pixels, std::uint8_t off,
                         std::uint8_t on, std::uint8_t* out) {
    const std::size_t whole = pixels / 8;
    for (std::size_t i = 0; i < whole; ++i, out += 8) {
        const std::uint8_t b = bits[i];
        if (b == 0 || b == 0xFF) {
            std::memset(out, b == 0 ? off : on, 8);
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            out[k] = (b >> (7 - k)) & 1 ? on : off;
        }
    }
    for (std::size_t x = whole * 8; x < pixels; ++x) {
        *out++ = (bits[x / 8] >> (7 - x % 8)) & 1 ? on : off;
    }
}

}  // namespace drawing
