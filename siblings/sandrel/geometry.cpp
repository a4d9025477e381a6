#include "sandrel/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace sandrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The values of x with c0 + c1 * x within [low, high].
Interval solveRange(double c0, double c1, double low, double high) {
    if (std::abs(c1) < 1e-12) {
        return (c0 >= low && c0 <= high) ? Interval{-kInf, kInf} : Interval{kInf, -kInf};
    }
    double u0 = (low - c0) / c1;
    double u1 = (high - c0) / c1;
    if (u0 > u1) {
        std::swap(u0, u1);
    }
    return {u0, u1};
}

}  // namespace

bool capsuleCut(drawing::PrecisePoint p, drawing::PrecisePoint d, double length,
                drawing::PrecisePoint q0, drawing::PrecisePoint q1, double qLength, double r,
                Interval& cut) {
    double lo = kInf;
    double hi = -kInf;
    const auto disk = [&](drawing::PrecisePoint c) {
        const double wx = c.x - p.x;
        const double wy = c.y - p.y;
        const double along = wx * d.x + wy * d.y;
        const double across = d.x * wy - d.y * wx;
        if (across * across <= r * r) {
            const double h = std::sqrt(r * r - across * across);
            lo = std::min(lo, along - h);
            hi = std::max(hi, along + h);
        }
    };
    disk(q0);
    disk(q1);
    const double tx = q1.x - q0.x;
    const double ty = q1.y - q0.y;
    const double tLength = qLength;
    if (tLength > 0) {
        const double ex = tx / tLength;
        const double ey = ty / tLength;
        const double wx = p.x - q0.x;
        const double wy = p.y - q0.y;
        const Interval along = solveRange(wx * ex + wy * ey, d.x * ex + d.y * ey, 0.0, tLength);
        const Interval across = solveRange(wx * -ey + wy * ex, d.x * -ey + d.y * ex, -r, r);
        const double slabLo = std::max(along.lo, across.lo);
        const double slabHi = std::min(along.hi, across.hi);
        if (slabLo <= slabHi) {
            lo = std::min(lo, slabLo);
            hi = std::max(hi, slabHi);
        }
    }
    cut.lo = std::max(lo, 0.0);
    cut.hi = std::min(hi, length);
    return cut.lo <= cut.hi;
}

}  // namespace sandrel
