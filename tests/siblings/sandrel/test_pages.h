// Small pieces of pages for the comparison's tests.
#pragma once

#include "drawing/page.h"

namespace sandrel::test {

inline constexpr double kMm = drawing::kUnitsPerMm;

inline drawing::Path line(drawing::Point a, drawing::Point b) {
    drawing::Path path;
    path.points = {a, b};
    return path;
}

}  // namespace sandrel::test
