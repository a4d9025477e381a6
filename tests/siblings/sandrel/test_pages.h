// Small pieces of pages for the comparison's tests.
#pragma once

#include "drawing/page.h"

namespace sandrel::test {

inline constexpr double kMm = drawing::kUnitsPerMm;
// A page keeps its points in single precision: across a sheet, lengths
// and places hold to a few thousandths of a unit.
inline constexpr double kFloatReach = 1e-3;

inline drawing::Path line(drawing::Point a, drawing::Point b) {
    drawing::Path path;
    path.points = {a, b};
    return path;
}

}  // namespace sandrel::test
