// A uniform grid over line segments, for finding the segments that come
// within a distance of a query segment.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "page.h"

namespace sandrel {

struct Segment {
    drawing::Point a;
    drawing::Point b;
    std::uint32_t path = 0;   // index of the path it came from
    std::uint32_t layer = 0;  // segments only meet segments of the same layer
};

class SegmentGrid {
  public:
    static constexpr double kFar = 1e300;

    // Every segment is entered in each cell that a point within reach of it
    // lies in, so a query only has to look at the cells its own segment
    // passes through. The outermost rows and columns also take everything
    // beyond them, so a few far-off segments do not stretch the grid.
    SegmentGrid(const std::vector<Segment>& segments, double reach);

    // Calls visit(index) once for each entered segment that may come within
    // reach of s, until visit returns false; segments farther away may be
    // visited too. Of segments entered more than once (the same two ends and
    // layer) only one is visited.
    template <typename Visit>
    void forCandidates(const Segment& s, Visit&& visit) {
        if (++epoch_ == 0) {
            std::fill(stamp_.begin(), stamp_.end(), 0);
            epoch_ = 1;
        }
        bool more = true;
        forCells(s.a, s.b, 0, [&](std::size_t cell) {
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
    template <typename Cell>
    void forCells(drawing::Point a, drawing::Point b, double grow, Cell&& cell) const;
    static int index(double offset, double cell, int count) {
        // Clamped as a double first: a far-off coordinate must not overflow int.
        return static_cast<int>(std::clamp(offset / cell, 0.0, static_cast<double>(count - 1)));
    }

    double x0_ = 0;
    double y0_ = 0;
    double cell_ = 1;
    int nx_ = 1;
    int ny_ = 1;
    std::vector<std::uint32_t> start_;  // per cell, into items_; one more at the end
    std::vector<std::uint32_t> items_;
    std::vector<std::uint32_t> stamp_;
    std::uint32_t epoch_ = 0;
};

template <typename Cell>
void SegmentGrid::forCells(drawing::Point a, drawing::Point b, double grow, Cell&& cell) const {
    // Row by row: the part of the segment whose y lies within grow of the
    // row's band, widened by grow, gives the cells of that row.
    const double lowY = std::min(a.y, b.y) - grow;
    const double highY = std::max(a.y, b.y) + grow;
    const int firstRow = index(lowY - y0_, cell_, ny_);
    const int lastRow = index(highY - y0_, cell_, ny_);
    const double dy = b.y - a.y;
    for (int row = firstRow; row <= lastRow; ++row) {
        const double bandLow = row == 0 ? -kFar : y0_ + row * cell_ - grow;
        const double bandHigh = row == ny_ - 1 ? kFar : y0_ + (row + 1) * cell_ + grow;
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
        const int firstCol = index(std::min(xa, xb) - grow - x0_, cell_, nx_);
        const int lastCol = index(std::max(xa, xb) + grow - x0_, cell_, nx_);
        for (int col = firstCol; col <= lastCol; ++col) {
            cell(static_cast<std::size_t>(row) * static_cast<std::size_t>(nx_) +
                 static_cast<std::size_t>(col));
        }
    }
}

}  // namespace sandrel
