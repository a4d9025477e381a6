// What a result page shows beyond the comparison itself: a box with a
// number around each change region and a legend on a margin added to the
// right of the page, all on a layer of their own (Layer::marks).
#pragma once

#include <string>
#include <vector>

#include "sandrel/compare.h"

namespace sandrel {

struct LegendInfo {
    std::string firstName;
    std::string secondName;
    int page = 1;           // running number of the result page
    bool partnered = true;  // false: the second file has no such page
    // Lines about the whole comparison (on the first page) and about pages
    // only one file has (on the last page).
    std::vector<std::string> summary;
    std::vector<std::string> notes;
};

// Draws the marks and the legend onto result.page, widening the page by the
// legend's margin.
void addMarks(Result& result, const LegendInfo& info, const Options& options);

// "3 removed, 2 added", "1 removed", ...
std::string regionCounts(const Region& region);

// "page 2 aligned: rotated 0.21°, shifted 1.3 mm right" for a scan moved
// onto its partner, a word for one that could not be, else empty.
std::string alignmentNote(const Alignment& alignment);

// "width 0.50 -> 1.00 mm" for a region whose lines only changed width,
// else empty.
std::string widthChange(const Region& region, const Options& options);

}  // namespace sandrel
