// Distances between points and line segments.
#pragma once

#include "drawing/page.h"

namespace sandrel {

struct Interval {
    double lo;
    double hi;
};

// The stretch [lo, hi] of u in [0, length] where p + u * d (d of unit
// length) lies within r of the segment (q0, q1). The segment widened by r is
// convex, so the stretch is one interval. Returns false when it is empty.
// qLength is the length of (q0, q1), std::hypot of its run and rise: the
// caller has it already, and it is the costliest step here.
bool capsuleCut(drawing::PrecisePoint p, drawing::PrecisePoint d, double length,
                drawing::PrecisePoint q0, drawing::PrecisePoint q1, double qLength, double r,
                Interval& cut);

}  // namespace sandrel
