#include "segment_grid.h"

#include <cmath>

namespace sandrel {
namespace {

constexpr int kMaxCellsPerSide = 4096;

}  // namespace

SegmentGrid::SegmentGrid(const std::vector<Segment>& segments, double reach, const Box& extent)
    : x0_(extent.minX), y0_(extent.minY), stamp_(segments.size(), 0) {
    const double width = std::max(extent.maxX - extent.minX, 1.0);
    const double height = std::max(extent.maxY - extent.minY, 1.0);
    const double count = static_cast<double>(std::max<std::size_t>(segments.size(), 1));
    double totalLength = 0;
    for (const auto& s : segments) {
        totalLength += std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
    }
    // About one segment per cell, but cells no smaller than an eighth of the
    // mean segment length, so long lines do not fill thousands of cells each.
    cell_ = std::max({std::sqrt(width * height / count), totalLength / count / 8, 2 * reach, 1e-3});
    cell_ = std::max({cell_, width / kMaxCellsPerSide, height / kMaxCellsPerSide});
    nx_ = std::clamp(static_cast<int>(width / cell_) + 1, 1, kMaxCellsPerSide + 1);
    ny_ = std::clamp(static_cast<int>(height / cell_) + 1, 1, kMaxCellsPerSide + 1);

    const std::size_t cells = static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_);
    start_.assign(cells + 1, 0);
    for (const auto& s : segments) {
        forCells(s.a, s.b, reach, [&](std::size_t c) { ++start_[c + 1]; });
    }
    for (std::size_t c = 0; c < cells; ++c) {
        start_[c + 1] += start_[c];
    }
    items_.resize(start_[cells]);
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        forCells(segments[i].a, segments[i].b, reach,
                 [&](std::size_t c) { items_[fill[c]++] = static_cast<std::uint32_t>(i); });
    }
}

}  // namespace sandrel
