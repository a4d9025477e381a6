// Pairs of drawings with known differences, for tests and benchmarks.
#pragma once

#include <cstddef>
#include <vector>

#include "drawing/page.h"

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

// A drawing of the shape real CAD exports have, for benchmarks and for
// checking that the comparison keeps its answers: an A0 sheet whose text is
// written as filled glyph outlines (a few to a few dozen points each, some
// with a hole), some large filled pads of a few hundred points, long wires
// and arcs, a frame and a few labels, up to about `segments` segments.
// The variant replaces about one glyph in two hundred by another glyph in
// the same place, removes one word, adds one, moves one wire by 2 mm and
// changes one character of one label; changes lists the boxes (plotter
// units) of those changes.
struct Box {
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
};

struct DensePair {
    drawing::Page base;
    drawing::Page variant;
    std::size_t replacedGlyphs = 0;
    std::vector<Box> changes;
};

DensePair makeDensePair(std::size_t segments, unsigned seed);

}  // namespace sandrel
