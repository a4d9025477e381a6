// Page comparison: vector pages as drawings, raster pages pixel by pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/page.h"
#include "sandrel/bitmask.h"

namespace sandrel {

// Pens of the result pages: what both have, what only the first has, what
// only the second has, and the marks and legend (on Layer::marks, with the
// legend's colour samples on the pens after it).
inline constexpr int kUnchangedPen = 1;
inline constexpr int kRemovedPen = 2;
inline constexpr int kAddedPen = 3;
inline constexpr int kMarkPen = 4;

struct Options {
    double toleranceMm = 0.2;
    // Unchanged ink is light, so that what changed stands out.
    drawing::Rgb unchangedColor = 0xB4B4B4;
    drawing::Rgb removedColor = 0xFF0000;
    drawing::Rgb addedColor = 0x0000FF;
    // Boxes around the change regions, their numbers and the legend.
    drawing::Rgb markColor = 0xFF9900;
    // Changes closer together than this (mm) make one region; 0 turns the
    // regions and the legend off.
    double regionGapMm = 5;
    double dpi = 200;
    // Off: only geometry counts, so a line that changed pen, colour, width or
    // line type but not its place is unchanged. On: such a line is removed
    // and added.
    bool compareStyle = false;
    // On: a line drawn in another width (beyond both tolerances below) or
    // another line type is removed and added even when compareStyle is off.
    // Thick and thin lines mean different things on most drawings.
    bool compareWidth = true;
    double widthTolerancePercent = 25;
    double widthToleranceMm = 0.1;
    // On: a page holding a raster (a scan) is shifted, turned and scaled
    // onto its partner before the pixels are compared.
    bool alignScans = true;
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
    friend bool operator==(const Tally&, const Tally&) = default;
};

// Changed elements close together: their box (plotter units), how many
// removed and added elements it holds, and the strings of changed labels.
struct Region {
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
    int removed = 0;
    int added = 0;
    std::vector<std::string> removedTexts;
    std::vector<std::string> addedTexts;
    // Widths (mm) of the region's removed and added lines: equal low and
    // high ends mean one width; below 0 none.
    double removedWidthLow = -1;
    double removedWidthHigh = -1;
    double addedWidthLow = -1;
    double addedWidthHigh = -1;
};

// What changed in a region: its lines were only drawn in another width
// (width), labels changed (text), or anything else (geometry).
enum class RegionKind { geometry, width, text };
RegionKind regionKind(const Region& region, const Options& options);
const char* regionKindName(RegionKind kind);

// Whether two line widths (mm) count as the same under the options.
bool sameWidth(double a, double b, const Options& options);

// How page 2 of a raster comparison was laid over page 1 before comparing.
struct Alignment {
    bool tried = false;   // page 2 is a scan and both pages hold ink
    bool moved = false;   // a correction was found and used
    bool unsure = false;  // no fit to trust: compared as it is, though far apart
    double angleDeg = 0;  // anticlockwise
    double scale = 1;
    double rightMm = 0;  // page 2 moved right (negative: left)
    double upMm = 0;     // page 2 moved up (negative: down)
};

struct Result {
    drawing::Page page;
    // In reading order: from the top down, then from left to right.
    std::vector<Region> regions;
    Tally lines;
    Tally texts;
    Tally fills;
    Tally pixels;
    bool raster = false;  // compared pixel by pixel
    Alignment alignment;
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
// The same for pages the caller has done with: their paths move into the
// result instead of being copied, which on a large page saves a copy of it.
bool comparePages(drawing::Page&& a, drawing::Page&& b, const Options& options, Result& result,
                  std::string& error);

// The two halves, for callers that want one of them whatever the pages hold.
Result compareVectors(const drawing::Page& a, const drawing::Page& b, const Options& options);
Result compareVectors(drawing::Page&& a, drawing::Page&& b, const Options& options);
bool compareRasters(const drawing::Page& a, const drawing::Page& b, const Options& options,
                    Result& result, std::string& error);
// The same for pages the caller has done with: they are let go as soon as
// their ink is found, before the alignment and the result need memory.
bool compareRasters(drawing::Page&& a, drawing::Page&& b, const Options& options, Result& result,
                    std::string& error);

// Groups the removed and added elements of a vector result page into
// regions: elements whose boxes come within gap (plotter units) of each
// other are one region.
std::vector<Region> findRegions(const drawing::Page& page, double gap);

// The same for a page compared pixel by pixel: change holds one byte a
// pixel (0 none, kPixelRemoved, kPixelAdded), rows from the top; place
// tells where pixel (0, 0) lies and its size in plotter units. Counts are
// of pixels.
inline constexpr std::uint8_t kPixelRemoved = 1;
inline constexpr std::uint8_t kPixelAdded = 2;
struct PixelPlace {
    double left = 0;
    double top = 0;
    double unit = 1;
};
std::vector<Region> findPixelRegions(const std::vector<std::uint8_t>& change, int width, int height,
                                     int gapPixels, const PixelPlace& place);
// The same with the removed and the added pixels as masks of bits (of one
// size, with no pixel in both).
std::vector<Region> findPixelRegions(const BitMask& removed, const BitMask& added, int gapPixels,
                                     const PixelPlace& place);

}  // namespace sandrel
