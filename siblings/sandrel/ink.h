// Where a page puts ink, as a mask of pixels: just enough rendering for a
// pixel comparison, not for showing a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "page.h"

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

// 1 where the page draws ink, 0 elsewhere. Outlines are drawn with their
// width (at least one pixel), fills by their rule, placed rasters where
// their pixels are not near white, and texts as the outlines of their
// character cells, which is as close as a program without fonts can come.
std::vector<std::uint8_t> inkMask(const drawing::Page& page, const PixelGrid& grid);

// Sets every pixel within radius pixels (horizontally and vertically) of an
// ink pixel.
std::vector<std::uint8_t> dilate(const std::vector<std::uint8_t>& mask, int width, int height,
                                 int radius);

}  // namespace sandrel
