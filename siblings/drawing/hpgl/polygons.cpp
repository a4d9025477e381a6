// Polygons and fills: EA, ER, RA, RR, WG, EW, PM, FP, EP, FT; hatching and
// shading of filled areas.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "drawing/hpgl/plotter.h"

namespace drawing::hpgl {

bool Plotter::emitPath(std::vector<Point>&& pts, bool closed, bool filled, bool evenOdd,
                       std::vector<std::size_t> starts) {
    if (pts.size() < 2 || !addPoints(pts.size())) {
        return !failed_;
    }
    Path path;
    path.points = std::move(pts);
    path.closed = closed;
    path.filled = filled;
    path.evenOdd = evenOdd;
    path.stroke = st_.currentStroke(!filled);
    path.subpathStarts = std::move(starts);
    if (filled && (st_.fillType == 3 || st_.fillType == 4)) {
        return hatch(path);
    }
    if (filled && st_.fillType == 10) {
        // Shading: the pen's colour lightened towards white.
        const double f = std::clamp(st_.fillOption[0], 0.0, 100.0) / 100;
        Rgb c = 0;
        for (int shift = 16; shift >= 0; shift -= 8) {
            const double v = ((path.stroke.color >> shift) & 0xFF) * f + 255 * (1 - f);
            c |= static_cast<Rgb>(std::lround(v)) << shift;
        }
        path.stroke.color = c;
    }
    addPath(std::move(path));
    return true;
}

// Hatching (FT 3 and 4) as line segments between the crossings of each
// hatch line with the outline, by the even-odd rule; cross-hatching is a
// second pass at right angles.
bool Plotter::hatch(const Path& area) {
    double spacing = st_.fillOption[0] * std::fabs(st_.sx);
    if (!std::isfinite(spacing) || spacing <= 0) {
        spacing = 0.01 * std::hypot(st_.p2.x - st_.p1.x, st_.p2.y - st_.p1.y);
    }
    std::vector<std::size_t> starts = {0};
    starts.insert(starts.end(), area.subpathStarts.begin(), area.subpathStarts.end());
    starts.push_back(area.points.size());
    for (int pass = 0; pass < (st_.fillType == 4 ? 2 : 1); ++pass) {
        if (!hatchPass(area, starts, st_.fillOption[1] + 90.0 * pass, spacing)) {
            return false;
        }
    }
    return true;
}

bool Plotter::hatchPass(const Path& area, const std::vector<std::size_t>& starts, double angleDeg,
                        double spacing) {
    constexpr std::size_t kMaxWork = 4'000'000;  // hatch lines times edges
    constexpr double kMaxLines = 2000;
    const double a = angleDeg * std::numbers::pi / 180;
    const double c = std::cos(a), sn = std::sin(a);
    // Rotated so that hatch lines run along x.
    std::vector<Point> r;
    r.reserve(area.points.size());
    double lo = 1e300, hi = -1e300;
    for (const Point& p : area.points) {
        r.push_back({p.x * c + p.y * sn, -p.x * sn + p.y * c});
        lo = std::min<double>(lo, r.back().y);
        hi = std::max<double>(hi, r.back().y);
    }
    double step = spacing;
    if ((hi - lo) / step > kMaxLines) {
        step = (hi - lo) / kMaxLines;
    }
    const double lines = std::floor((hi - lo) / step) + 1;
    if (lines * static_cast<double>(r.size()) > kMaxWork || !std::isfinite(lines)) {
        return true;
    }
    std::vector<double> xs;
    // Counted, not stepped: a step below the precision of y must still end.
    const double first = std::ceil(lo / step) * step;
    for (int line = 0; line < static_cast<int>(lines); ++line) {
        const double y = first + line * step;
        if (y > hi) {
            break;
        }
        xs.clear();
        for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
            for (std::size_t i = starts[k]; i < starts[k + 1]; ++i) {
                const PrecisePoint p = r[i];
                const PrecisePoint q = r[i + 1 < starts[k + 1] ? i + 1 : starts[k]];
                if ((p.y <= y) != (q.y <= y)) {
                    xs.push_back(p.x + (y - p.y) / (q.y - p.y) * (q.x - p.x));
                }
            }
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
            if (!addPoints(2)) {
                return false;
            }
            Path segment;
            segment.stroke = area.stroke;
            segment.points = {{xs[i] * c - y * sn, xs[i] * sn + y * c},
                              {xs[i + 1] * c - y * sn, xs[i + 1] * sn + y * c}};
            addPath(std::move(segment));
        }
    }
    return true;
}

bool Plotter::rectangle(PrecisePoint corner, bool filled) {
    if (!flushPolyline()) {
        return false;
    }
    const PrecisePoint pen = st_.pen;
    std::vector<Point> pts = {st_.toPage(pen), st_.toPage({corner.x, pen.y}), st_.toPage(corner),
                              st_.toPage({pen.x, corner.y})};
    return emitPath(std::move(pts), true, filled, true);
}

bool Plotter::rectangleInstruction(bool relative, bool filled) {
    double v[2] = {};
    if (readNumbers(in_, v, 2) == 2) {
        const PrecisePoint corner = relative ? st_.fromPen(v[0], v[1]) : st_.toPlotter(v[0], v[1]);
        if (!rectangle(corner, filled)) {
            return false;
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::edgeRectangleAbsolute() {
    return rectangleInstruction(false, false);
}

bool Plotter::edgeRectangleRelative() {
    return rectangleInstruction(true, false);
}

bool Plotter::fillRectangleAbsolute() {
    return rectangleInstruction(false, true);
}

bool Plotter::fillRectangleRelative() {
    return rectangleInstruction(true, true);
}

bool Plotter::wedge(double radius, double startDeg, double sweepDeg, double chordDeg, bool filled) {
    if (!std::isfinite(radius) || !std::isfinite(startDeg) || !flushPolyline()) {
        return !failed_;
    }
    const PrecisePoint pen = st_.pen;
    const double r = radius * st_.sx;
    const double a = std::fmod(startDeg, 360.0) * std::numbers::pi / 180;
    const PrecisePoint start = {clampCoordinate(pen.x + r * std::cos(a)),
                                clampCoordinate(pen.y + r * std::sin(a))};
    std::vector<Point> pts = {st_.toPage(pen), st_.toPage(start)};
    for (const PrecisePoint& p : arcPoints(pen, start, sweepDeg, chordDeg)) {
        pts.push_back(st_.toPage(p));
    }
    return emitPath(std::move(pts), true, filled, true);
}

bool Plotter::wedgeInstruction(bool filled) {
    double v[4] = {};
    const int n = readNumbers(in_, v, 4);
    if (n >= 3 &&
        !wedge(v[0], v[1], v[2], chordFor(n >= 4, v[3], std::fabs(v[0] * st_.sx)), filled)) {
        return false;
    }
    endInstruction(in_);
    return true;
}

bool Plotter::fillWedge() {
    return wedgeInstruction(true);
}

bool Plotter::edgeWedge() {
    return wedgeInstruction(false);
}

// The subpaths of the polygon buffer as one path; subpaths of one point go.
bool Plotter::polygonFill(bool filled, bool evenOdd) {
    if (!flushPolyline()) {
        return false;
    }
    // Sized first: a page of glyph outlines holds millions of these points,
    // and a list grown subpath by subpath would keep room to spare.
    std::size_t total = 0;
    std::size_t subpaths = 0;
    for (std::size_t s = 0; s < pmStarts_.size(); ++s) {
        const std::size_t begin = pmStarts_[s];
        const std::size_t end = s + 1 < pmStarts_.size() ? pmStarts_[s + 1] : pmPoints_.size();
        if (end - begin >= 2) {
            total += end - begin;
            ++subpaths;
        }
    }
    std::vector<Point> pts;
    std::vector<std::size_t> starts;
    pts.reserve(total);
    starts.reserve(subpaths > 0 ? subpaths - 1 : 0);
    for (std::size_t s = 0; s < pmStarts_.size(); ++s) {
        const std::size_t begin = pmStarts_[s];
        const std::size_t end = s + 1 < pmStarts_.size() ? pmStarts_[s + 1] : pmPoints_.size();
        if (end - begin < 2) {
            continue;
        }
        if (!pts.empty()) {
            starts.push_back(pts.size());
        }
        pts.insert(pts.end(), pmPoints_.begin() + static_cast<long>(begin),
                   pmPoints_.begin() + static_cast<long>(end));
    }
    pagePoints_ -= std::min(pagePoints_, pts.size());
    return emitPath(std::move(pts), true, filled, evenOdd, std::move(starts));
}

// PM 0 opens the polygon buffer at the pen, PM 1 closes a subpath, PM 2
// the polygon.
bool Plotter::polygonMode() {
    double v[1] = {};
    const int mode = readNumbers(in_, v, 1) == 1 ? toInt(v[0], 0, 2) : 0;
    if (mode == 0) {
        if (!flushPolyline()) {
            return false;
        }
        polygonMode_ = true;
        subClosed_ = false;
        pmPoints_.clear();
        pmStarts_.clear();
        polygonStartSub(st_.toPage(st_.pen));
    } else if (polygonMode_) {
        subClosed_ = true;
        if (mode == 2) {
            polygonMode_ = false;
        }
    }
    endInstruction(in_);
    return true;
}

bool Plotter::fillPolygon() {
    double v[1] = {};
    const int rule = readNumbers(in_, v, 1) == 1 ? toInt(v[0], 0, 1) : 0;
    if (!polygonFill(true, rule == 0)) {
        return false;
    }
    endInstruction(in_);
    return true;
}

bool Plotter::edgePolygon() {
    if (!polygonFill(false, true)) {
        return false;
    }
    endInstruction(in_);
    return true;
}

bool Plotter::fillType() {
    double v[3] = {};
    const int n = readNumbers(in_, v, 3);
    st_.fillType = n >= 1 ? toInt(v[0], 0, 100) : 1;
    st_.fillOption[0] = n >= 2 ? v[1] : 0;
    st_.fillOption[1] = n >= 3 ? v[2] : 0;
    endInstruction(in_);
    return true;
}

}  // namespace drawing::hpgl
