// The comparison's summary for scripts: one JSON object, written where the
// caller asks (MERVIK_COMPARISON_REPORT) beside the result pages.
#pragma once

#include <string>
#include <vector>

#include "sandrel/compare.h"

namespace sandrel {

struct ReportPage {
    int page = 0;      // running number of the result page
    std::string file;  // the page file it belongs to
    bool differ = false;
    bool raster = false;
    Alignment alignment;
    std::vector<Region> regions;
};

struct Report {
    std::vector<ReportPage> pages;
    bool differ = false;  // pages differ, or a page lacks its partner
    bool failed = false;  // some page file could not be compared or written
};

// The report as one line of JSON; region boxes in millimetres from the
// sheet's lower left corner, labels as UTF-8.
std::string reportJson(const Report& report, const Options& options);

}  // namespace sandrel
