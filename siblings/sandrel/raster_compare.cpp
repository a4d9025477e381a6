#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "drawing/render/render.h"
#include "sandrel/align.h"
#include "sandrel/bitmask.h"
#include "sandrel/compare.h"
#include "sandrel/ink.h"

namespace sandrel {
namespace {

// Masks, dilations and the result take about eight bytes a pixel; beyond
// this a comparison would take gigabytes.
constexpr double kMaxPixels = 150e6;
// How far around a region (mm) each page's own ink shows; the marks' box
// keeps at least this much room.
constexpr double kExactInkAroundMm = 2;

// The alignment's levels and targets, some megabytes, are freed by the
// time the result is made, but the C library keeps a freed top of its heap
// below a threshold that grows with the largest block given back (here a
// page's image): without this the result's raster would come on top of
// them.
void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Ink of one mask with no ink of the other near it.
std::size_t unmatched(const BitMask& ink, const BitMask& near) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < ink.bits.size(); ++i) {
        count += static_cast<std::size_t>(bitCount(ink.bits[i] & ~near.bits[i]));
    }
    return count;
}

std::size_t inkOf(const BitMask& mask) {
    std::size_t count = 0;
    for (const std::uint64_t word : mask.bits) {
        count += static_cast<std::size_t>(bitCount(word));
    }
    return count;
}

// Lays second over first when a shift, turn or scale clearly fits better
// than none: it must leave less than half the unmatched ink. Then
// secondBits holds the moved page; otherwise it is left alone. Where the
// choice needed it, nearSecond is left holding the second page's ink as it
// finally lies, widened by radius; otherwise it is left empty.
void align(const BitMask& firstBits, BitMask& secondBits, const BitMask& nearFirst,
           BitMask& nearSecond, const PixelGrid& grid, int radius, Alignment& alignment) {
    PixelTransform t;
    const bool found = estimateAlignment(firstBits, secondBits, t);
    returnFreedMemory();
    if (!found) {
        return;
    }
    alignment.tried = true;
    const double reach = 0.5 * std::hypot(grid.width, grid.height);
    // A fit that moves no point by half a pixel is no correction.
    if (std::abs(t.angleRad) * reach < 0.5 && std::abs(t.scale - 1) * reach < 0.5 &&
        std::hypot(t.dx, t.dy) < 0.5) {
        return;
    }
    nearSecond = dilateBits(secondBits, radius);
    const std::size_t before = unmatched(firstBits, nearSecond) + unmatched(secondBits, nearFirst);
    BitMask movedBits = transformBits(secondBits, t);
    BitMask nearMoved = dilateBits(movedBits, radius);
    const std::size_t after = unmatched(firstBits, nearMoved) + unmatched(movedBits, nearFirst);
    if (!(after < before / 2)) {
        // Pages that already lie on each other but for a few real changes
        // need no word; pages far apart that no fit helps do.
        const std::size_t ink = inkOf(firstBits) + inkOf(secondBits);
        alignment.unsure = static_cast<double>(before) > 0.1 * static_cast<double>(ink);
        return;
    }
    secondBits = std::move(movedBits);
    nearSecond = std::move(nearMoved);
    alignment.moved = true;
    // Rows run downwards, so a turn towards +y is clockwise on the sheet.
    alignment.angleDeg = -t.angleRad * 180 / std::numbers::pi;
    alignment.scale = t.scale;
    const double mmPerPixel = 25.4 / grid.dpi;
    alignment.rightMm = t.dx * mmPerPixel;
    alignment.upMm = -t.dy * mmPerPixel;
}

}  // namespace

namespace {

// The comparison; ownA and ownB, where given, are a and b themselves, the
// caller's to let go once their ink is found.
bool compareRasters(const drawing::Page& a, const drawing::Page& b, drawing::Page* ownA,
                    drawing::Page* ownB, const Options& options, Result& result,
                    std::string& error) {
    result = Result{};
    result.raster = true;
    result.page.width = std::max(a.width, b.width);
    result.page.height = std::max(a.height, b.height);
    if (!(options.dpi > 0)) {
        error = "the resolution must be above 0 dpi";
        return false;
    }
    // Both pages as the converter would show them: their media, or their
    // content where they have none. A blank page without media, such as the
    // stand-in for a missing partner, takes the other's frame.
    const auto shown = [](const drawing::Page& page) {
        return !page.empty() || (page.width > 0 && page.height > 0);
    };
    const drawing::Frame one = drawing::pageFrame(shown(a) || !shown(b) ? a : b);
    const drawing::Frame other = drawing::pageFrame(shown(b) ? b : a);
    const double left = std::min(one.x0, other.x0);
    const double bottom = std::min(one.y0, other.y0);
    const double right = std::max(one.x0 + one.width, other.x0 + other.width);
    const double top = std::max(one.y0 + one.height, other.y0 + other.height);
    PixelGrid grid;
    grid.dpi = options.dpi;
    grid.left = left;
    grid.top = top;
    const double unit = grid.unitsPerPixel();
    const double columns = std::ceil((right - left) / unit);
    const double rows = std::ceil((top - bottom) / unit);
    if (!std::isfinite(columns * rows) || columns * rows > kMaxPixels ||
        columns > drawing::kMaxRasterSide || rows > drawing::kMaxRasterSide) {
        char dpi[32];
        std::snprintf(dpi, sizeof dpi, "%g", options.dpi);
        error = std::string("page too large to compare pixel by pixel at ") + dpi + " dpi";
        return false;
    }
    grid.width = std::max(1, static_cast<int>(columns));
    grid.height = std::max(1, static_cast<int>(rows));

    // Each page's ink is kept as bits.
    BitMask firstBits;
    BitMask secondBits;
    for (const auto& [page, bits] : {std::pair{&a, &firstBits}, std::pair{&b, &secondBits}}) {
        if (!inkBits(*page, grid, *bits, error)) {
            return false;
        }
    }
    // Only a page that holds a raster (a scan) is moved; a drawing is where
    // it was drawn.
    const bool secondIsScan = !b.rasters.empty();
    for (drawing::Page* own : {ownA, ownB}) {
        if (own != nullptr) {
            *own = drawing::Page{};
        }
    }
    const int radius = static_cast<int>(std::lround(options.toleranceMm / 25.4 * options.dpi));
    const BitMask nearFirst = dilateBits(firstBits, radius);
    BitMask nearSecond;
    if (options.alignScans && secondIsScan) {
        align(firstBits, secondBits, nearFirst, nearSecond, grid, radius, result.alignment);
    }
    if (nearSecond.bits.empty()) {
        nearSecond = dilateBits(secondBits, radius);
    }

    drawing::Raster out;
    out.origin = {grid.left, grid.top};
    out.dpi = grid.dpi;
    out.width = grid.width;
    out.height = grid.height;
    out.channels = 3;
    out.pixels.assign(grid.size() * 3, 0xFF);
    const auto put = [&](std::size_t i, drawing::Rgb color) {
        out.pixels[3 * i] = static_cast<std::uint8_t>(color >> 16);
        out.pixels[3 * i + 1] = static_cast<std::uint8_t>(color >> 8);
        out.pixels[3 * i + 2] = static_cast<std::uint8_t>(color);
    };
    const bool regions = options.regionGapMm > 0;
    BitMask removedBits = regions ? BitMask(grid.width, grid.height) : BitMask();
    BitMask addedBits = regions ? BitMask(grid.width, grid.height) : BitMask();
    // A word at a time: ink of the first with ink of the second near it is
    // unchanged, without it removed; ink of the second alone, with no ink
    // of the first near it, added.
    const auto w = static_cast<std::size_t>(grid.width);
    for (int y = 0; y < grid.height; ++y) {
        const std::uint64_t* one = firstBits.row(y);
        const std::uint64_t* two = secondBits.row(y);
        const std::uint64_t* nearOne = nearFirst.row(y);
        const std::uint64_t* nearTwo = nearSecond.row(y);
        const std::size_t rowStart = static_cast<std::size_t>(y) * w;
        for (std::size_t k = 0; k < firstBits.words; ++k) {
            if ((one[k] | two[k]) == 0) {
                continue;
            }
            const std::uint64_t kinds[3] = {one[k] & nearTwo[k], one[k] & ~nearTwo[k],
                                            two[k] & ~nearOne[k] & ~one[k]};
            const drawing::Rgb colors[3] = {options.unchangedColor, options.removedColor,
                                            options.addedColor};
            double* counts[3] = {&result.pixels.unchanged, &result.pixels.removed,
                                 &result.pixels.added};
            for (int kind = 0; kind < 3; ++kind) {
                std::uint64_t bits = kinds[kind];
                *counts[kind] += bitCount(bits);
                for (; bits != 0; bits &= bits - 1) {
                    const std::size_t i =
                        rowStart + 64 * k + static_cast<std::size_t>(std::countr_zero(bits));
                    put(i, colors[kind]);
                }
            }
            if (regions) {
                removedBits.row(y)[k] = kinds[1];
                addedBits.row(y)[k] = kinds[2];
            }
        }
    }
    result.changed = result.pixels.differ();
    if (regions && result.changed) {
        const int gap =
            std::max(1, static_cast<int>(std::lround(options.regionGapMm / 25.4 * grid.dpi)));
        result.regions = findPixelRegions(removedBits, addedBits, gap, {grid.left, grid.top, unit});
        // Within a region the tolerance would hide most of a changed word
        // (its old and new strokes lie close, and what is left may be a
        // descender): there, and a little around it, within the box the
        // marks draw, each page's own ink shows, so that both the old and
        // the new letters read.
        const double around = kExactInkAroundMm * drawing::kUnitsPerMm;
        for (const Region& r : result.regions) {
            const int x0 =
                std::max(0, static_cast<int>(std::floor((r.x0 - around - grid.left) / unit)));
            const int x1 = std::min(
                grid.width, static_cast<int>(std::ceil((r.x1 + around - grid.left) / unit)));
            const int y0 =
                std::max(0, static_cast<int>(std::floor((grid.top - r.y1 - around) / unit)));
            const int y1 = std::min(grid.height,
                                    static_cast<int>(std::ceil((grid.top - r.y0 + around) / unit)));
            if (x0 >= x1) {
                continue;
            }
            // A word at a time, cut to the box's columns.
            const auto first = static_cast<std::size_t>(x0);
            const auto last = static_cast<std::size_t>(x1 - 1);
            for (int y = y0; y < y1; ++y) {
                const std::uint64_t* one = firstBits.row(y);
                const std::uint64_t* two = secondBits.row(y);
                const std::size_t rowStart = static_cast<std::size_t>(y) * w;
                for (std::size_t k = first >> 6; k <= last >> 6; ++k) {
                    std::uint64_t within = ~std::uint64_t{0};
                    if (k == first >> 6) {
                        within &= ~std::uint64_t{0} << (first & 63);
                    }
                    if (k == last >> 6) {
                        within &= ~std::uint64_t{0} >> (63 - (last & 63));
                    }
                    for (const auto& [bits, color] :
                         {std::pair{one[k] & ~two[k] & within, options.removedColor},
                          std::pair{two[k] & ~one[k] & within, options.addedColor}}) {
                        for (std::uint64_t b = bits; b != 0; b &= b - 1) {
                            put(rowStart + 64 * k + static_cast<std::size_t>(std::countr_zero(b)),
                                color);
                        }
                    }
                }
            }
        }
    }
    result.page.rasters.push_back(std::move(out));
    return true;
}

}  // namespace

bool compareRasters(const drawing::Page& a, const drawing::Page& b, const Options& options,
                    Result& result, std::string& error) {
    return compareRasters(a, b, nullptr, nullptr, options, result, error);
}

bool compareRasters(drawing::Page&& a, drawing::Page&& b, const Options& options, Result& result,
                    std::string& error) {
    return compareRasters(a, b, &a, &b, options, result, error);
}

}  // namespace sandrel
