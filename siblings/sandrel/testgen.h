// Pairs of drawings with known differences, for tests and benchmarks.
#pragma once

#include <cstddef>
#include <vector>

#include "page.h"

namespace sandrel {

struct Line {
    drawing::Point a;
    drawing::Point b;
};

struct GeneratedPair {
    drawing::Page base;
    drawing::Page variant;
    std::vector<Line> removed;  // base lines the variant does not have
    std::vector<Line> added;    // variant lines the base does not have
    // A base line the variant keeps only up to split, then bends away from
    // (the bend is among added).
    Line partial;
    drawing::Point split;
    Line collinear;  // drawn in the variant as three collinear pieces
    Line shifted;    // moved sideways in the variant by half the tolerance
};

// A base drawing of about `segments` line segments (single lines and short
// polylines, each in a cell of its own, 10 mm apart, so no two lines come
// near each other) and a variant with about one in a hundred lines removed,
// as many added, and one line each partly changed, redrawn in pieces and
// shifted. The variant lists its paths in another order and draws some of
// them backwards. The same seed gives the same pair.
GeneratedPair makePair(std::size_t segments, double toleranceMm, unsigned seed);

}  // namespace sandrel
