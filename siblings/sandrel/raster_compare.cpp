#include <algorithm>
#include <cmath>
#include <limits>

#include "compare.h"
#include "ink.h"
#include "render.h"

namespace sandrel {
namespace {

// Masks, dilations and the result take about eight bytes a pixel; beyond
// this a comparison would take gigabytes.
constexpr double kMaxPixels = 150e6;

struct Bounds {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    void add(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return;
        }
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    bool empty() const { return minX > maxX; }
};

void addPage(Bounds& bounds, const drawing::Page& page) {
    if (page.width > 0 && page.height > 0) {
        bounds.add(0, 0);
        bounds.add(page.width, page.height);
    }
    for (const auto& path : page.paths) {
        const double margin = path.filled ? 0 : path.stroke.widthMm * drawing::kUnitsPerMm;
        for (const auto& p : path.points) {
            bounds.add(p.x - margin, p.y - margin);
            bounds.add(p.x + margin, p.y + margin);
        }
    }
    for (const auto& text : page.texts) {
        const double reach =
            1.5 * text.charWidth * static_cast<double>(text.text.size()) + text.charHeight;
        bounds.add(text.origin.x - reach, text.origin.y - reach);
        bounds.add(text.origin.x + reach, text.origin.y + reach);
    }
    for (const auto& image : page.rasters) {
        if (image.dpi > 0) {
            const double unit = drawing::kUnitsPerInch / image.dpi;
            bounds.add(image.origin.x, image.origin.y);
            bounds.add(image.origin.x + image.width * unit, image.origin.y - image.height * unit);
        }
    }
}

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
    Bounds bounds;
    addPage(bounds, a);
    addPage(bounds, b);
    if (bounds.empty()) {
        return true;
    }
    PixelGrid grid;
    grid.dpi = options.dpi;
    grid.left = bounds.minX;
    grid.top = bounds.maxY;
    const double unit = grid.unitsPerPixel();
    const double columns = std::ceil((bounds.maxX - bounds.minX) / unit);
    const double rows = std::ceil((bounds.maxY - bounds.minY) / unit);
    if (columns * rows > kMaxPixels || columns > drawing::kMaxRasterSide ||
        rows > drawing::kMaxRasterSide) {
        error =
            "page too large to compare pixel by pixel at " + std::to_string(options.dpi) + " dpi";
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
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (first[i] && nearSecond[i]) {
            ++result.pixels.unchanged;
            put(i, options.unchangedColor);
        } else if (first[i]) {
            ++result.pixels.removed;
            put(i, options.removedColor);
        } else if (second[i] && !nearFirst[i]) {
            ++result.pixels.added;
            put(i, options.addedColor);
        }
    }
    result.changed = result.pixels.differ();
    result.page.rasters.push_back(std::move(out));
    return true;
}

}  // namespace sandrel
