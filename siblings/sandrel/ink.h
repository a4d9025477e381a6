// Where a page puts ink, as a mask of pixels, for comparing pages pixel by
// pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/page.h"
#include "sandrel/bitmask.h"

namespace sandrel {

// A window onto the page: pixel (0, 0) is the upper left corner at
// (left, top) in plotter units; rows run downwards.
struct PixelGrid {
    double left = 0;
    double top = 0;
    double dpi = 200;
    int width = 0;
    int height = 0;
    double unitsPerPixel() const { return drawing::kUnitsPerInch / dpi; }
    std::size_t size() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
};

// 1 where the page draws ink, 0 elsewhere: the page rendered as the
// converter renders it, without antialiasing, and every pixel that is not
// near white counted as ink. Rendered in bands, so the memory beyond the
// mask stays small. False with error when rendering failed.
bool inkMask(const drawing::Page& page, const PixelGrid& grid, std::vector<std::uint8_t>& mask,
             std::string& error);

// The two ways inkMask takes. A page of nothing but images whose pixels
// are the grid's own (a scan compared at its resolution, lying on whole
// pixels) is read straight from its pixels: true then. Anything else is
// left to renderInkMask (false, mask untouched).
bool inkOfGridRasters(const drawing::Page& page, const PixelGrid& grid,
                      std::vector<std::uint8_t>& mask);
bool renderInkMask(const drawing::Page& page, const PixelGrid& grid,
                   std::vector<std::uint8_t>& mask, std::string& error);

// inkMask as bits: a page of grid images is read straight into them,
// without a byte a pixel between.
bool inkBits(const drawing::Page& page, const PixelGrid& grid, BitMask& bits, std::string& error);
bool inkBitsOfGridRasters(const drawing::Page& page, const PixelGrid& grid, BitMask& bits);

// Sets every pixel within radius pixels (horizontally and vertically) of an
// ink pixel.
std::vector<std::uint8_t> dilate(const std::vector<std::uint8_t>& mask, int width, int height,
                                 int radius);

}  // namespace sandrel
