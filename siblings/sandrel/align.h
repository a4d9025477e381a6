// Laying a scanned page over its partner: the shift, turn and scale that
// best put the ink of the second page on the ink of the first.
#pragma once

#include <cstdint>
#include <vector>

#include "sandrel/bitmask.h"

namespace sandrel {

// Maps a point p of the second page (pixels, rows downwards) to the first:
// q = c + scale * R(angle) * (p - c) + shift, c being the middle of the
// image. angleRad turns from +x towards +y, which on rows running downwards
// is clockwise on the sheet.
struct PixelTransform {
    double angleRad = 0;
    double scale = 1;
    double dx = 0;
    double dy = 0;
};

// Searches turns of up to a little over 2 degrees, scales of up to a
// little over 1% and shifts of up to 3% of the longer side (at least
// 40 pixels) for the one under which most ink of `second` lands on ink of
// `first`. Both masks hold one byte a pixel (non-zero: ink), width by
// height. Returns false when either page holds no ink.
bool estimateAlignment(const std::vector<std::uint8_t>& first,
                       const std::vector<std::uint8_t>& second, int width, int height,
                       PixelTransform& out);

// The same on masks of bits (of one size).
bool estimateAlignment(const BitMask& first, const BitMask& second, PixelTransform& out);

// The share of ink in each square cell of f pixels a side (f a power of
// two, 2 or more), row by row, (width + f - 1) / f cells a row: the
// levels the search works on.
std::vector<float> cellDensity(const BitMask& mask, int f);

// `mask` as it lies under the transform: each pixel takes the value of
// the nearest pixel of mask that maps onto it (0 from beyond its edge).
std::vector<std::uint8_t> transformMask(const std::vector<std::uint8_t>& mask, int width,
                                        int height, const PixelTransform& transform);

// The same on masks of bits: each pixel takes the bit transformMask would
// take from the same mask as bytes.
BitMask transformBits(const BitMask& mask, const PixelTransform& transform);

}  // namespace sandrel
