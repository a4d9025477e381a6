// Page comparison: vector pages as drawings, raster pages pixel by pixel.
#pragma once

#include <cstddef>
#include <string>

#include "page.h"

namespace sandrel {

struct Options {
    double toleranceMm = 0.2;
    drawing::Rgb unchangedColor = 0x404040;
    drawing::Rgb removedColor = 0xFF0000;
    drawing::Rgb addedColor = 0x0000FF;
    double dpi = 200;
    // Off: only geometry counts, so a line that changed pen, colour, width or
    // line type but not its place is unchanged. On: such a line is removed
    // and added.
    bool compareStyle = false;
    // Off: every segment is looked up in a grid of the whole other page,
    // exact copies included, on one thread; the answer is the same, only
    // slower (kept to check the shortcuts against).
    bool shortcuts = true;
    bool threads = true;
};

// What a comparison found, in the unit of the kind compared: plotter units
// of line length and counts of texts and fills for vector pages, pixels for
// raster pages.
struct Tally {
    double unchanged = 0;
    double removed = 0;
    double added = 0;
    bool differ() const { return removed > 0 || added > 0; }
};

struct Result {
    drawing::Page page;
    Tally lines;
    Tally texts;
    Tally fills;
    Tally pixels;
    bool raster = false;  // compared pixel by pixel
    // Anything at all removed or added, dots of no length included.
    bool changed = false;
    bool differ() const { return changed; }
};

// Compares page a (the first file) with page b (the second). A page with a
// raster on it is compared pixel by pixel against its partner, whatever the
// partner holds. Compare a page without a partner against an empty page.
// Returns false with error set only when a raster comparison would need
// more memory than it may take.
bool comparePages(const drawing::Page& a, const drawing::Page& b, const Options& options,
                  Result& result, std::string& error);

// The two halves, for callers that want one of them whatever the pages hold.
Result compareVectors(const drawing::Page& a, const drawing::Page& b, const Options& options);
bool compareRasters(const drawing::Page& a, const drawing::Page& b, const Options& options,
                    Result& result, std::string& error);

}  // namespace sandrel
