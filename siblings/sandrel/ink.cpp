#include "ink.h"

#include <algorithm>
#include <cmath>

#include "geometry.h"

namespace sandrel {
namespace {

using drawing::Point;

// A pixel is ink when any channel is this much darker than white, so that
// yellow counts as well as black.
constexpr int kInkDepth = 64;

class Canvas {
  public:
    Canvas(const PixelGrid& grid) : grid_(grid), mask_(grid.size(), 0) {}
    std::vector<std::uint8_t> take() { return std::move(mask_); }

    double rowY(int row) const { return grid_.top - (row + 0.5) * grid_.unitsPerPixel(); }
    double columnX(int column) const { return grid_.left + (column + 0.5) * grid_.unitsPerPixel(); }
    int rowAt(double y) const {
        return clampIndex((grid_.top - y) / grid_.unitsPerPixel(), grid_.height);
    }
    int columnAt(double x) const {
        return clampIndex((x - grid_.left) / grid_.unitsPerPixel(), grid_.width);
    }

    // Ink on the pixels of one row whose centres lie in [x0, x1].
    void span(int row, double x0, double x1) {
        const double unit = grid_.unitsPerPixel();
        const double first = std::ceil((x0 - grid_.left) / unit - 0.5);
        const double last = std::floor((x1 - grid_.left) / unit - 0.5);
        if (last < 0 || first > grid_.width - 1 || first > last) {
            return;
        }
        const auto begin = static_cast<std::size_t>(std::max(first, 0.0));
        const auto end = static_cast<std::size_t>(std::min(last, grid_.width - 1.0)) + 1;
        auto* line = mask_.data() + static_cast<std::size_t>(row) * grid_.width;
        std::fill(line + begin, line + end, 1);
    }

    // A line of the given half width, with round ends, at least one pixel wide.
    void line(Point a, Point b, double halfWidth) {
        if (!finite(a) || !finite(b) || !std::isfinite(halfWidth)) {
            return;
        }
        const double unit = grid_.unitsPerPixel();
        const double r = std::max(halfWidth, unit * 0.75);
        const int firstRow = rowAt(std::max(a.y, b.y) + r);
        const int lastRow = rowAt(std::min(a.y, b.y) - r);
        const double span0 = grid_.left - r - unit;
        const double spanLength = grid_.width * unit + 2 * (r + unit);
        for (int row = firstRow; row <= lastRow; ++row) {
            Interval cut{};
            if (capsuleCut({span0, rowY(row)}, {1, 0}, spanLength, a, b, r, cut)) {
                span(row, span0 + cut.lo, span0 + cut.hi);
            }
        }
    }

    // A polygon of several outlines by the even-odd or the non-zero rule.
    void fill(const drawing::Path& path) {
        struct Edge {
            Point a;
            Point b;
        };
        std::vector<Edge> edges;
        double minY = path.points.empty() ? 0 : path.points[0].y;
        double maxY = minY;
        for (std::size_t k = 0; k <= path.subpathStarts.size(); ++k) {
            const std::size_t begin =
                std::min(k == 0 ? 0 : path.subpathStarts[k - 1], path.points.size());
            const std::size_t end = std::clamp(
                k < path.subpathStarts.size() ? path.subpathStarts[k] : path.points.size(), begin,
                path.points.size());
            for (std::size_t j = begin; j < end; ++j) {
                const Point a = path.points[j];
                const Point b = path.points[j + 1 < end ? j + 1 : begin];
                if (!finite(a) || !finite(b)) {
                    return;  // no shape to fill
                }
                minY = std::min(minY, a.y);
                maxY = std::max(maxY, a.y);
                if (a.y != b.y) {
                    edges.push_back({a, b});
                }
            }
        }
        std::vector<std::pair<double, int>> crossings;
        for (int row = rowAt(maxY); row <= rowAt(minY); ++row) {
            const double y = rowY(row);
            crossings.clear();
            for (const auto& e : edges) {
                const bool up = e.a.y < e.b.y;
                const double low = up ? e.a.y : e.b.y;
                const double high = up ? e.b.y : e.a.y;
                if (y >= low && y < high) {
                    const double x = e.a.x + (y - e.a.y) / (e.b.y - e.a.y) * (e.b.x - e.a.x);
                    crossings.emplace_back(x, up ? 1 : -1);
                }
            }
            std::sort(crossings.begin(), crossings.end());
            int winding = 0;
            for (std::size_t k = 0; k + 1 < crossings.size(); ++k) {
                winding += path.evenOdd ? 1 : crossings[k].second;
                const bool inside = path.evenOdd ? (winding % 2) != 0 : winding != 0;
                if (inside) {
                    span(row, crossings[k].first, crossings[k + 1].first);
                }
            }
        }
    }

    void raster(const drawing::Raster& image) {
        if (image.width <= 0 || image.height <= 0 || image.dpi <= 0 ||
            (image.channels != 1 && image.channels != 3) ||
            image.pixels.size() < static_cast<std::size_t>(image.width) * image.height *
                                      static_cast<std::size_t>(image.channels)) {
            return;
        }
        if (!finite(image.origin)) {
            return;
        }
        const double source = drawing::kUnitsPerInch / image.dpi;
        const Point far{image.origin.x + image.width * source,
                        image.origin.y - image.height * source};
        for (int row = rowAt(image.origin.y); row <= rowAt(far.y); ++row) {
            const double sy = (image.origin.y - rowY(row)) / source;
            if (sy < 0 || sy >= image.height) {
                continue;
            }
            const auto* line = image.pixels.data() + static_cast<std::size_t>(sy) * image.width *
                                                         static_cast<std::size_t>(image.channels);
            auto* out = mask_.data() + static_cast<std::size_t>(row) * grid_.width;
            for (int column = columnAt(image.origin.x); column <= columnAt(far.x); ++column) {
                const double sx = (columnX(column) - image.origin.x) / source;
                if (sx < 0 || sx >= image.width) {
                    continue;
                }
                const auto* pixel =
                    line + static_cast<std::size_t>(sx) * static_cast<std::size_t>(image.channels);
                const int darkest =
                    image.channels == 1 ? pixel[0] : std::min({pixel[0], pixel[1], pixel[2]});
                if (255 - darkest >= kInkDepth) {
                    out[column] = 1;
                }
            }
        }
    }

  private:
    static bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }
    static int clampIndex(double v, int count) {
        return static_cast<int>(std::clamp(std::floor(v), 0.0, count - 1.0));
    }

    const PixelGrid& grid_;
    std::vector<std::uint8_t> mask_;
};

void strokePath(Canvas& canvas, const drawing::Path& path) {
    const double halfWidth = path.stroke.widthMm * drawing::kUnitsPerMm / 2;
    for (std::size_t k = 0; k <= path.subpathStarts.size(); ++k) {
        const std::size_t begin =
            std::min(k == 0 ? 0 : path.subpathStarts[k - 1], path.points.size());
        const std::size_t end =
            std::clamp(k < path.subpathStarts.size() ? path.subpathStarts[k] : path.points.size(),
                       begin, path.points.size());
        if (end - begin == 1) {
            canvas.line(path.points[begin], path.points[begin], halfWidth);
        }
        for (std::size_t j = begin + 1; j < end; ++j) {
            canvas.line(path.points[j - 1], path.points[j], halfWidth);
        }
        if (path.closed && end - begin > 2) {
            canvas.line(path.points[end - 1], path.points[begin], halfWidth);
        }
    }
}

void textCells(Canvas& canvas, const drawing::Text& text) {
    const double angle = text.angleDeg * 3.14159265358979323846 / 180.0;
    const Point along{std::cos(angle), std::sin(angle)};
    const Point up{-along.y, along.x};
    const double advance = text.charWidth * 1.5;
    const double halfWidth = text.stroke.widthMm * drawing::kUnitsPerMm / 2;
    const auto at = [&](double u, double v) {
        return Point{text.origin.x + along.x * u + up.x * v,
                     text.origin.y + along.y * u + up.y * v};
    };
    for (std::size_t k = 0; k < text.text.size(); ++k) {
        if (text.text[k] == ' ') {
            continue;
        }
        const double u = advance * static_cast<double>(k);
        const Point corners[4] = {at(u, 0), at(u + text.charWidth, 0),
                                  at(u + text.charWidth, text.charHeight), at(u, text.charHeight)};
        for (int c = 0; c < 4; ++c) {
            canvas.line(corners[c], corners[(c + 1) % 4], halfWidth);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> inkMask(const drawing::Page& page, const PixelGrid& grid) {
    Canvas canvas(grid);
    if (grid.size() == 0) {
        return canvas.take();
    }
    for (const auto& image : page.rasters) {
        canvas.raster(image);
    }
    for (const auto& path : page.paths) {
        if (path.filled) {
            canvas.fill(path);
        }
    }
    for (const auto& path : page.paths) {
        if (!path.filled) {
            strokePath(canvas, path);
        }
    }
    for (const auto& text : page.texts) {
        textCells(canvas, text);
    }
    return canvas.take();
}

std::vector<std::uint8_t> dilate(const std::vector<std::uint8_t>& mask, int width, int height,
                                 int radius) {
    if (radius <= 0) {
        return mask;
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto r = static_cast<std::size_t>(radius);
    // Two passes of a sliding window count: each pixel's cost is fixed
    // whatever the radius.
    std::vector<std::uint8_t> across(mask.size(), 0);
    for (std::size_t y = 0; y < h; ++y) {
        const auto* in = mask.data() + y * w;
        auto* out = across.data() + y * w;
        std::size_t count = 0;
        for (std::size_t x = 0; x < std::min(r, w); ++x) {
            count += in[x];
        }
        for (std::size_t x = 0; x < w; ++x) {
            if (x + r < w) {
                count += in[x + r];
            }
            if (x > r) {
                count -= in[x - r - 1];
            }
            out[x] = count > 0 ? 1 : 0;
        }
    }
    std::vector<std::uint8_t> result(mask.size(), 0);
    std::vector<std::size_t> counts(w, 0);
    for (std::size_t y = 0; y < std::min(r, h); ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            counts[x] += across[y * w + x];
        }
    }
    for (std::size_t y = 0; y < h; ++y) {
        if (y + r < h) {
            for (std::size_t x = 0; x < w; ++x) {
                counts[x] += across[(y + r) * w + x];
            }
        }
        if (y > r) {
            for (std::size_t x = 0; x < w; ++x) {
                counts[x] -= across[(y - r - 1) * w + x];
            }
        }
        for (std::size_t x = 0; x < w; ++x) {
            result[y * w + x] = counts[x] > 0 ? 1 : 0;
        }
    }
    return result;
}

}  // namespace sandrel
