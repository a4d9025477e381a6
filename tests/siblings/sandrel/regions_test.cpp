// Change regions and the marks and legend drawn from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "sandrel/compare.h"
#include "sandrel/ink.h"
#include "sandrel/marks.h"
#include "test_pages.h"

namespace sandrel {
namespace {

using drawing::Layer;
using drawing::Page;
using drawing::Path;
using drawing::Point;

using test::kMm;
using test::line;

drawing::Text label(const std::string& s, Point at) {
    drawing::Text t;
    t.origin = at;
    t.text = s;
    t.charWidth = 1.5 * kMm;
    t.charHeight = 2.5 * kMm;
    return t;
}

Result compared(const Page& a, const Page& b) {
    Result result;
    std::string error;
    EXPECT_TRUE(comparePages(a, b, Options{}, result, error)) << error;
    return result;
}

bool hasText(const Page& page, const std::string& s) {
    return std::any_of(page.texts.begin(), page.texts.end(), [&](const auto& t) {
        return t.text.find(s) != std::string::npos && t.stroke.layer == Layer::marks;
    });
}

// Scanned pages are compared pixel by pixel: their changes gather into
// regions all the same, by pixels within the gap of each other.
TEST(Regions, ChangedPixelsGatherIntoRegionsPlacedOnThePage) {
    const int width = 400, height = 300;
    std::vector<std::uint8_t> change(static_cast<std::size_t>(width) * height, 0);
    const auto fill = [&](int x0, int y0, int x1, int y1, std::uint8_t what) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                change[static_cast<std::size_t>(y) * width + x] = what;
            }
        }
    };
    fill(10, 10, 19, 14, kPixelRemoved);  // two blobs 15 pixels apart: one region
    fill(30, 12, 39, 16, kPixelAdded);
    fill(300, 200, 309, 219, kPixelAdded);    // far away: a region of its own
    fill(390, 290, 399, 299, kPixelRemoved);  // in the corner, 70 pixels from it
    const PixelPlace place{1000, 5000, 2};    // pixel (0, 0) at (1000, 5000), 2 units a side
    const std::vector<Region> regions = findPixelRegions(change, width, height, 20, place);
    ASSERT_EQ(regions.size(), 3u);
    const Region& pair = regions[0];  // the top one first
    EXPECT_EQ(pair.removed, 50);
    EXPECT_EQ(pair.added, 50);
    EXPECT_DOUBLE_EQ(pair.x0, 1000 + 10 * 2);
    EXPECT_DOUBLE_EQ(pair.x1, 1000 + 40 * 2);
    EXPECT_DOUBLE_EQ(pair.y1, 5000 - 10 * 2);
    EXPECT_DOUBLE_EQ(pair.y0, 5000 - 17 * 2);
    EXPECT_EQ(regions[1].added, 200);
    EXPECT_DOUBLE_EQ(regions[1].x0, 1000 + 300 * 2);
    EXPECT_EQ(regions[2].removed, 100);
    EXPECT_DOUBLE_EQ(regions[2].y0, 5000 - 300 * 2);

    // A larger gap joins all; nothing changed gives nothing.
    EXPECT_EQ(findPixelRegions(change, width, height, 200, place).size(), 1u);
    EXPECT_TRUE(
        findPixelRegions(std::vector<std::uint8_t>(change.size(), 0), width, height, 20, place)
            .empty());
}

TEST(Regions, KnownChangesGiveTheirRegionsInReadingOrder) {
    Page first;
    first.width = 297 * kMm;
    first.height = 210 * kMm;
    first.paths = {line({10 * kMm, 10 * kMm}, {30 * kMm, 10 * kMm}),
                   line({10 * kMm, 12 * kMm}, {30 * kMm, 12 * kMm}),  // 2 mm apart: one region
                   line({150 * kMm, 150 * kMm}, {200 * kMm, 150 * kMm})};
    first.texts = {label("1nF", {200 * kMm, 50 * kMm})};
    Page second = first;
    second.paths = {first.paths[2], line({100 * kMm, 180 * kMm}, {120 * kMm, 180 * kMm})};
    second.texts = {label("100pF", {200 * kMm, 50 * kMm})};

    const Result result = compared(first, second);
    ASSERT_EQ(result.regions.size(), 3u);
    // From the top down: the added line, the label, the two removed lines.
    const Region& added = result.regions[0];
    EXPECT_EQ(added.added, 1);
    EXPECT_EQ(added.removed, 0);
    EXPECT_DOUBLE_EQ(added.x0, 100 * kMm);
    EXPECT_DOUBLE_EQ(added.x1, 120 * kMm);
    EXPECT_DOUBLE_EQ(added.y0, 180 * kMm);
    const Region& text = result.regions[1];
    EXPECT_EQ(text.removedTexts, std::vector<std::string>{"1nF"});
    EXPECT_EQ(text.addedTexts, std::vector<std::string>{"100pF"});
    const Region& removed = result.regions[2];
    EXPECT_EQ(removed.removed, 2);
    EXPECT_DOUBLE_EQ(removed.x0, 10 * kMm);
    EXPECT_DOUBLE_EQ(removed.y0, 10 * kMm);
    EXPECT_DOUBLE_EQ(removed.x1, 30 * kMm);
    EXPECT_DOUBLE_EQ(removed.y1, 12 * kMm);
    EXPECT_EQ(regionCounts(removed), "2 removed");
    EXPECT_EQ(regionCounts(text), "1 removed, 1 added");

    // Nothing changed: no regions.
    EXPECT_TRUE(compared(first, first).regions.empty());
}

TEST(Regions, AFrameRemovedAroundChangesDoesNotSwallowThem) {
    Page first;
    Path frame;
    frame.closed = true;
    frame.points = {{0, 0}, {400 * kMm, 0}, {400 * kMm, 300 * kMm}, {0, 300 * kMm}};
    first.paths = {frame, line({100 * kMm, 100 * kMm}, {120 * kMm, 100 * kMm})};
    Page second;
    second.paths = {line({300 * kMm, 200 * kMm}, {320 * kMm, 200 * kMm})};
    const Result result = compared(first, second);
    // The frame's box holds the others, so the boxes merge into one.
    EXPECT_EQ(result.regions.size(), 1u);
    Options off;
    off.regionGapMm = 0;
    Result none;
    std::string error;
    ASSERT_TRUE(comparePages(first, second, off, none, error));
    EXPECT_TRUE(none.regions.empty());
}

// A result page of many small changed outlines (text drawn as glyphs): each
// group of them, its members spread over the whole list of paths, is one
// region, however the work of finding them is shared out.
TEST(Regions, ManyChangedOutlinesGatherByPlaceNotByOrder) {
    Page page;
    page.width = 400 * kMm;
    page.height = 300 * kMm;
    constexpr int kGroups = 12 * 8;
    constexpr int kPerGroup = 40;
    for (int j = 0; j < kGroups * kPerGroup; ++j) {
        const int group = j % kGroups;
        const int member = j / kGroups;
        // Groups 30 mm apart, members 1 mm apart in a row of a group.
        const double x = 10 * kMm + (group % 12) * 30 * kMm + (member % 10) * kMm;
        const double y = 10 * kMm + (group / 12) * 30 * kMm + (member / 10) * 2 * kMm;
        Path glyph;
        glyph.closed = true;
        for (int k = 0; k < 60; ++k) {
            const double a = 6.283185307179586 * k / 60;
            glyph.points.push_back({x + 0.3 * kMm * std::cos(a), y + 0.4 * kMm * std::sin(a)});
        }
        glyph.stroke.pen = member % 3 == 0 ? kAddedPen : kRemovedPen;
        page.paths.push_back(std::move(glyph));
    }
    const std::vector<Region> regions = findRegions(page, 5 * kMm);
    ASSERT_EQ(regions.size(), static_cast<std::size_t>(kGroups));
    for (const Region& r : regions) {
        EXPECT_EQ(r.added + r.removed, kPerGroup);
        EXPECT_EQ(r.added, 14);
        EXPECT_NEAR(r.x1 - r.x0, 9.6 * kMm, 1e-6);
        EXPECT_NEAR(r.y1 - r.y0, 6.8 * kMm, 1e-6);
    }
    // Reading order: the top row first, from left to right.
    EXPECT_GT(regions.front().y0, regions.back().y0);
    EXPECT_LT(regions.front().x0, regions[1].x0);
}

// An outline that wanders over the same few cells for a long time and only
// then heads off still joins what it reaches, whether it heads beyond its
// cells or across them; so does one that passes more cells than are kept
// track of and comes back.
TEST(Regions, AStrokeLeavingItsCellsLateStillJoinsWhatItReaches) {
    Page page;
    const auto changed = [&](Path path) {
        path.stroke.pen = kRemovedPen;
        page.paths.push_back(std::move(path));
    };
    // An outline that wanders among points 0.1 mm apart from `at` on and
    // only then heads to `to`, and a change of its own near there.
    const auto wanderThenGo = [&](Point at, int steps, int across, int up, Point to, Point mark) {
        Path path;
        for (int k = 0; k < steps; ++k) {
            path.points.push_back({at.x + (k % across) * 0.1 * kMm, at.y + (k % up) * 0.1 * kMm});
        }
        path.points.push_back(to);
        changed(path);
        changed(line(mark, {mark.x + 1 * kMm, mark.y}));
    };
    wanderThenGo({10 * kMm, 10 * kMm}, 400, 7, 5, {100 * kMm, 10 * kMm}, {103 * kMm, 10 * kMm});
    // Across forty cells of 5 mm and back to its start, beside a mark there.
    Path zigzag;
    for (int k = 0; k <= 40; ++k) {
        zigzag.points.push_back({10 * kMm + k * 5 * kMm, (k % 2 == 0 ? 100 : 103) * kMm});
    }
    zigzag.points.push_back({10 * kMm, 100 * kMm});
    zigzag.points.push_back({10 * kMm, 60 * kMm});
    changed(zigzag);
    changed(line({7 * kMm, 57 * kMm}, {7 * kMm, 50 * kMm}));
    // A small one whose last stroke alone crosses its box, to a change by
    // its far corner.
    wanderThenGo({20 * kMm, 150 * kMm}, 200, 3, 4, {30 * kMm, 160 * kMm}, {32 * kMm, 162 * kMm});
    // Far from everything.
    changed(line({300 * kMm, 300 * kMm}, {301 * kMm, 300 * kMm}));
    const std::vector<Region> regions = findRegions(page, 5 * kMm);
    ASSERT_EQ(regions.size(), 4u);
    for (const Region& r : regions) {
        EXPECT_EQ(r.removed, r.x1 > 250 * kMm ? 1 : 2);
    }
}

TEST(Marks, BoxesNumbersAndLegendLieOnTheMarksLayerBesideTheSheet) {
    Page first;
    first.width = 297 * kMm;
    first.height = 210 * kMm;
    first.paths = {line({10 * kMm, 10 * kMm}, {30 * kMm, 10 * kMm})};
    first.texts = {label("Rev C", {200 * kMm, 20 * kMm})};
    Page second = first;
    second.texts = {label("Rev D", {200 * kMm, 20 * kMm})};
    Result result = compared(first, second);
    ASSERT_EQ(result.regions.size(), 1u);
    const std::size_t paths = result.page.paths.size();
    const std::vector<drawing::Path> before = result.page.paths;
    LegendInfo info;
    info.firstName = "old.hgl";
    info.secondName = "new.hgl";
    info.notes = {"file 2 has 1 more page: 2, not compared"};
    addMarks(result, info, Options{});
    EXPECT_GT(result.page.width, 297 * kMm);
    EXPECT_DOUBLE_EQ(result.page.height, 210 * kMm);
    // What was compared stays as it was, under the marks.
    for (std::size_t i = 0; i < paths; ++i) {
        EXPECT_EQ(result.page.paths[i], before[i]);
    }
    for (std::size_t i = paths; i < result.page.paths.size(); ++i) {
        EXPECT_EQ(result.page.paths[i].stroke.layer, Layer::marks);
        for (const auto& p : result.page.paths[i].points) {
            EXPECT_LE(p.x, result.page.width);
        }
    }
    EXPECT_TRUE(hasText(result.page, "old.hgl"));
    EXPECT_TRUE(hasText(result.page, "new.hgl"));
    EXPECT_TRUE(hasText(result.page, "1: 1 removed, 1 added"));
    EXPECT_TRUE(hasText(result.page, "\"Rev C\" -> \"Rev D\""));
    EXPECT_TRUE(hasText(result.page, "file 2 has 1 more page: 2, not compared"));
    // The region's box is drawn around the changed label, in the mark colour.
    const auto box = std::find_if(result.page.paths.begin() + static_cast<std::ptrdiff_t>(paths),
                                  result.page.paths.end(), [](const Path& p) {
                                      return p.stroke.pen == kMarkPen && p.closed &&
                                             p.points.front().x > 200 * kMm;
                                  });
    ASSERT_NE(box, result.page.paths.end());
    EXPECT_EQ(box->stroke.color, Options{}.markColor);

    Result same = compared(first, first);
    addMarks(same, info, Options{});
    EXPECT_TRUE(hasText(same.page, "no differences"));
}

// Where the page's ink of one colour lies at 150 dpi: its box in pixels and
// how many pixels it inks.
struct InkBox {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    int count = 0;
};

// Only the sheet is looked at (the legend beside it has samples of each
// colour).
InkBox inkOfColour(const Page& page, drawing::Rgb color, double sheetWidth) {
    Page only;
    only.width = page.width;
    only.height = page.height;
    for (const auto& p : page.paths) {
        if (p.stroke.color == color) {
            only.paths.push_back(p);
        }
    }
    for (const auto& t : page.texts) {
        if (t.stroke.color == color) {
            only.texts.push_back(t);
        }
    }
    PixelGrid grid;
    grid.dpi = 150;
    grid.top = page.height;
    grid.width = static_cast<int>(sheetWidth / grid.unitsPerPixel());
    grid.height = static_cast<int>(page.height / grid.unitsPerPixel());
    std::vector<std::uint8_t> mask;
    std::string error;
    EXPECT_TRUE(inkMask(only, grid, mask, error)) << error;
    InkBox box;
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            if (mask[static_cast<std::size_t>(y) * grid.width + x] != 0) {
                box.x0 = std::min(box.x0, x);
                box.y0 = std::min(box.y0, y);
                box.x1 = std::max(box.x1, x);
                box.y1 = std::max(box.y1, y);
                ++box.count;
            }
        }
    }
    return box;
}

// A value changed in place on an A4 sheet, rendered at 150 dpi: the old and
// the new text each ink a box of their own, neither over the other, both
// beside the region's number.
TEST(Marks, ChangedLabelReadsOldAndNewAtTheRegion) {
    Page first;
    first.width = 297 * kMm;
    first.height = 210 * kMm;
    first.paths = {line({100 * kMm, 95 * kMm}, {100 * kMm, 110 * kMm})};
    first.texts = {label("C7 1nF", {104 * kMm, 100 * kMm})};
    Page second = first;
    second.texts = {label("C7 100pF", {104 * kMm, 100 * kMm})};
    Result result = compared(first, second);
    ASSERT_EQ(result.regions.size(), 1u);
    addMarks(result, LegendInfo{}, Options{});
    const Options defaults;
    const InkBox old = inkOfColour(result.page, defaults.removedColor, first.width);
    const InkBox now = inkOfColour(result.page, defaults.addedColor, first.width);
    // A 2.5 mm text is about 15 pixels high at 150 dpi.
    EXPECT_GT(old.count, 40);
    EXPECT_GT(now.count, 40);
    EXPECT_GE(now.y1 - now.y0, 8);
    EXPECT_GE(old.y1 - old.y0, 8);
    // The old text, struck through, stands wholly above the new one.
    EXPECT_LT(old.y1, now.y0);
    // Both within the region's box (plus its rounding) on the sheet.
    const Region& r = result.regions[0];
    const double unit = drawing::kUnitsPerInch / 150;
    for (const InkBox* box : {&old, &now}) {
        EXPECT_GE(box->x0 * unit, r.x0 - 3 * kMm);
        EXPECT_LE(box->x1 * unit, r.x1 + 3 * kMm);
        EXPECT_GE(first.height - box->y1 * unit, r.y0 - 3 * kMm);
        EXPECT_LE(first.height - box->y0 * unit, r.y1 + 3 * kMm);
    }
    ASSERT_EQ(r.removedTexts.size(), 1u);
    EXPECT_EQ(r.removedTexts[0], "C7 1nF");
    EXPECT_EQ(r.addedTexts[0], "C7 100pF");
}

}  // namespace
}  // namespace sandrel
