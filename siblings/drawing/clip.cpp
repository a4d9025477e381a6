#include "drawing/clip.h"

#include <algorithm>

namespace drawing {

bool clipSegment(Point& a, Point& b, Point lo, Point hi) {
    double t0 = 0;
    double t1 = 1;
    // In double: the difference of two floats is exact there.
    const PrecisePoint s = a;
    const double dx = b.x - s.x;
    const double dy = b.y - s.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {s.x - lo.x, hi.x - s.x, s.y - lo.y, hi.y - s.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) {
                return false;
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return false;
        }
    }
    a = {s.x + t0 * dx, s.y + t0 * dy};
    b = {s.x + t1 * dx, s.y + t1 * dy};
    return true;
}

std::vector<Point> clipPolygon(std::vector<Point> poly, Point lo, Point hi) {
    std::vector<Point> in;
    // Edges: x >= lo.x, x <= hi.x, y >= lo.y, y <= hi.y.
    for (int edge = 0; edge < 4 && !poly.empty(); ++edge) {
        const bool onX = edge < 2;
        const double limit = edge == 0 ? lo.x : edge == 1 ? hi.x : edge == 2 ? lo.y : hi.y;
        const bool keepAbove = edge % 2 == 0;
        auto inside = [&](const Point& p) {
            const double v = onX ? p.x : p.y;
            return keepAbove ? v >= limit : v <= limit;
        };
        auto cross = [&](PrecisePoint a, PrecisePoint b) {
            const double t = onX ? (limit - a.x) / (b.x - a.x) : (limit - a.y) / (b.y - a.y);
            return Point{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
        };
        in.swap(poly);
        poly.clear();
        for (std::size_t i = 0; i < in.size(); ++i) {
            const Point& cur = in[i];
            const Point& prev = in[(i + in.size() - 1) % in.size()];
            if (inside(cur)) {
                if (!inside(prev)) {
                    poly.push_back(cross(prev, cur));
                }
                poly.push_back(cur);
            } else if (inside(prev)) {
                poly.push_back(cross(prev, cur));
            }
        }
    }
    return poly;
}

}  // namespace drawing
