// Collects every page a reader hands on, with its outcome.
#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/page.h"

namespace drawing::test {

// A page keeps its points in single precision: read back, a place on a
// sheet holds to a few thousandths of a unit.
inline constexpr double kFloatReach = 1e-3;

struct Read {
    bool ok = false;
    ReadError error;
    std::vector<Page> pages;
};

// read(sink, error) is one reader's call on one input.
template <typename Reader>
Read readAll(Reader read) {
    Read r;
    r.ok = read(
        [&](Page&& p) {
            r.pages.push_back(std::move(p));
            return true;
        },
        r.error);
    return r;
}

// One page holding the raster alone, as the HP-GL writer writes it.
inline std::string writeRasterPage(const Raster& r, double width, double height) {
    Page page;
    page.width = width;
    page.height = height;
    page.rasters.push_back(r);
    std::ostringstream out;
    HpglWriter writer(out);
    writer.writePage(page);
    writer.finish();
    return out.str();
}

}  // namespace drawing::test
