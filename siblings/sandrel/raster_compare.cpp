#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compare.h"
#include "ink.h"
#include "render.h"

namespace sandrel {
namespace {

// Masks, dilations and the result take about eight bytes a pixel; beyond
// this a comparison would take gigabytes.
constexpr double kMaxPixels = 150e6;

}  // namespace

bool compareRasters(const drawing::Page& a, const drawing::Page& b, const Options& options,
                    Result& result, std::string& error) {
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

    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    if (!inkMask(a, grid, first, error) || !inkMask(b, grid, second, error)) {
        return false;
    }
    const int radius = static_cast<int>(std::lround(options.toleranceMm / 25.4 * options.dpi));
    const auto nearFirst = dilate(first, grid.width, grid.height, radius);
    const auto nearSecond = dilate(second, grid.width, grid.height, radius);

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
    std::vector<std::uint8_t> change(regions ? grid.size() : 0, 0);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (first[i] && nearSecond[i]) {
            ++result.pixels.unchanged;
            put(i, options.unchangedColor);
        } else if (first[i]) {
            ++result.pixels.removed;
            put(i, options.removedColor);
            if (regions) {
                change[i] = kPixelRemoved;
            }
        } else if (second[i] && !nearFirst[i]) {
            ++result.pixels.added;
            put(i, options.addedColor);
            if (regions) {
                change[i] = kPixelAdded;
            }
        }
    }
    result.changed = result.pixels.differ();
    if (regions && result.changed) {
        const int gap =
            std::max(1, static_cast<int>(std::lround(options.regionGapMm / 25.4 * grid.dpi)));
        result.regions =
            findPixelRegions(change, grid.width, grid.height, gap, {grid.left, grid.top, unit});
    }
    result.page.rasters.push_back(std::move(out));
    return true;
}

}  // namespace sandrel
