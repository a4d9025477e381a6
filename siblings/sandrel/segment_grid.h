// A uniform grid over line segments, for finding the segments that come
// within a distance of a query segment.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "drawing/page.h"

namespace sandrel {

// Two ends in single precision, as a page's points are, and a layer: 20
// bytes. Which path a segment came from its place in the list tells (the
// comparison keeps each path's range of segments): on a page of glyph
// outlines, with millions of segments, every byte here counts.
struct Segment {
    drawing::Point pa;
    drawing::Point pb;
    std::uint32_t layer = 0;  // segments only meet segments of the same layer
    drawing::Point a() const { return pa; }
    drawing::Point b() const { return pb; }
};

template <class S>
class BasicSegmentGrid {
  public:
    // Every segment is entered in each cell that a point within reach of it
    // lies in, so a query only has to look at the cells its own segment
    // passes through. The outermost rows and columns also take everything
    // beyond them, so a few far-off segments do not stretch the grid.
    BasicSegmentGrid(const std::vector<S>& segments, double reach);
    // Only the segments that `keep` names (indexes into segments, ascending)
    // are entered; visit still gets indexes into segments. With
    // repeatsDropped the caller has already left out all but the first of
    // equal segments, and the grid does not look for them again.
    BasicSegmentGrid(const std::vector<S>& segments, std::vector<std::uint32_t> keep, double reach,
                     bool repeatsDropped = false);

    // Calls visit(index) once for each entered segment that may come within
    // reach of s, until visit returns false; segments farther away may be
    // visited too. Of segments entered more than once (the same two ends and
    // layer) only one is visited.
    template <typename Visit>
    void forCandidates(const S& s, Visit&& visit) {
        if (++epoch_ == 0) {
            std::fill(stamp_.begin(), stamp_.end(), 0);
            epoch_ = 1;
        }
        bool more = true;
        forCells(s.a(), s.b(), 0, [&](std::size_t cell) {
            for (auto k = start_[cell]; more && k < start_[cell + 1]; ++k) {
                const auto index = items_[k];
                if (stamp_[index] != epoch_) {
                    stamp_[index] = epoch_;
                    more = visit(index);
                }
            }
        });
    }

  private:
    void build(const std::vector<S>& segments, std::vector<std::uint32_t> unique, double reach,
               bool repeatsDropped);
    template <typename Cell>
    void forCells(drawing::PrecisePoint a, drawing::PrecisePoint b, double grow, Cell&& cell) const;

    double x0_ = 0;
    double y0_ = 0;
    double cell_ = 1;
    int nx_ = 1;
    int ny_ = 1;
    std::vector<std::uint32_t> start_;  // per cell, into items_; one more at the end
    std::vector<std::uint32_t> items_;
    // The query that last visited each segment: two bytes a segment of the
    // other page, all cleared once in 65535 queries.
    std::vector<std::uint16_t> stamp_;
    std::uint16_t epoch_ = 0;
};

// The index of a grid cell along one side: clamped as a double first, so
// that a far-off coordinate does not overflow int.
inline int cellIndex(double offset, double side, int count) {
    return static_cast<int>(std::clamp(offset / side, 0.0, static_cast<double>(count - 1)));
}

// The cell (as forEachCell numbers them) that point p lies in: one of those
// forEachCell visits for any segment from p, however far it grows.
inline std::size_t cellOf(drawing::PrecisePoint p, double x0, double y0, double cell, int nx,
                          int ny) {
    return static_cast<std::size_t>(cellIndex(p.y - y0, cell, ny)) * static_cast<std::size_t>(nx) +
           static_cast<std::size_t>(cellIndex(p.x - x0, cell, nx));
}

// Calls cell(index) for each cell of a grid (origin x0, y0, square cells of
// side `cell`, nx by ny, the outermost rows and columns reaching to
// infinity) that a point within grow of the segment (a, b) lies in.
template <typename Cell>
void forEachCell(drawing::PrecisePoint a, drawing::PrecisePoint b, double grow, double x0,
                 double y0, double cell, int nx, int ny, Cell&& visit) {
    const auto index = cellIndex;
    constexpr double kFar = 1e300;
    // Row by row: the part of the segment whose y lies within grow of the
    // row's band, widened by grow, gives the cells of that row.
    const double lowY = std::min(a.y, b.y) - grow;
    const double highY = std::max(a.y, b.y) + grow;
    const int firstRow = index(lowY - y0, cell, ny);
    const int lastRow = index(highY - y0, cell, ny);
    const double dy = b.y - a.y;
    for (int row = firstRow; row <= lastRow; ++row) {
        const double bandLow = row == 0 ? -kFar : y0 + row * cell - grow;
        const double bandHigh = row == ny - 1 ? kFar : y0 + (row + 1) * cell + grow;
        double t0 = 0;
        double t1 = 1;
        if (dy != 0) {
            t0 = (bandLow - a.y) / dy;
            t1 = (bandHigh - a.y) / dy;
            if (t0 > t1) {
                std::swap(t0, t1);
            }
            t0 = std::max(t0, 0.0);
            t1 = std::min(t1, 1.0);
            if (t0 > t1) {
                continue;
            }
        }
        const double xa = a.x + (b.x - a.x) * t0;
        const double xb = a.x + (b.x - a.x) * t1;
        const int firstCol = index(std::min(xa, xb) - grow - x0, cell, nx);
        const int lastCol = index(std::max(xa, xb) + grow - x0, cell, nx);
        for (int col = firstCol; col <= lastCol; ++col) {
            visit(static_cast<std::size_t>(row) * static_cast<std::size_t>(nx) +
                  static_cast<std::size_t>(col));
        }
    }
}

template <class S>
template <typename Cell>
void BasicSegmentGrid<S>::forCells(drawing::PrecisePoint a, drawing::PrecisePoint b, double grow,
                                   Cell&& cell) const {
    forEachCell(a, b, grow, x0_, y0_, cell_, nx_, ny_, cell);
}

using SegmentGrid = BasicSegmentGrid<Segment>;

}  // namespace sandrel
