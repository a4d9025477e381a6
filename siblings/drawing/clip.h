#pragma once

#include <vector>

#include "drawing/page.h"

namespace drawing {

// Clipping to an axis-parallel box lo-hi, shared by the readers that cut
// what lies outside a window or a clip rectangle.

// The part of segment a-b inside the box (Liang-Barsky); false when none is.
bool clipSegment(Point& a, Point& b, Point lo, Point hi);

// The polygon cut to the box (Sutherland-Hodgman); fewer than three points
// when nothing of its area is inside.
std::vector<Point> clipPolygon(std::vector<Point> poly, Point lo, Point hi);

}  // namespace drawing
