#include <gtest/gtest.h>

#include <algorithm>

#include "sandrel/compare.h"

namespace sandrel {
namespace {

using drawing::Page;
using drawing::Raster;

constexpr int kSize = 100;

// A white grey-scale raster of kSize pixels square at the comparison's
// resolution, with its lower left corner at the page origin, so that its
// pixels are the comparison's pixels.
Raster blank(double dpi) {
    Raster r;
    r.dpi = dpi;
    r.width = r.height = kSize;
    r.origin = {0, kSize * drawing::kUnitsPerInch / dpi};
    r.pixels.assign(kSize * kSize, 0xFF);
    return r;
}

void box(Raster& r, int x0, int y0, int x1, int y1, std::uint8_t value = 0) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            r.pixels[static_cast<std::size_t>(y) * r.width + x] = value;
        }
    }
}

drawing::Rgb pixel(const Raster& r, int x, int y) {
    const auto* p = &r.pixels[3 * (static_cast<std::size_t>(y) * r.width + x)];
    return (drawing::Rgb(p[0]) << 16) | (drawing::Rgb(p[1]) << 8) | p[2];
}

class RasterCompareTest : public ::testing::Test {
  protected:
    Options options;
    Result compare(const Page& a, const Page& b) {
        Result result;
        std::string error;
        EXPECT_TRUE(comparePages(a, b, options, result, error)) << error;
        EXPECT_TRUE(result.raster);
        return result;
    }
    const Raster& only(const Result& result) {
        EXPECT_EQ(result.page.rasters.size(), 1u);
        EXPECT_TRUE(result.page.paths.empty());
        return result.page.rasters.front();
    }
};

TEST_F(RasterCompareTest, InkIsSortedIntoThreeColoursOnWhite) {
    Raster first = blank(options.dpi);
    box(first, 10, 10, 30, 30);
    box(first, 50, 10, 60, 20);
    Raster second = blank(options.dpi);
    box(second, 10, 10, 30, 30);
    box(second, 70, 70, 80, 90);
    Page a;
    a.rasters = {first};
    Page b;
    b.rasters = {second};
    const Result result = compare(a, b);
    const Raster& out = only(result);
    ASSERT_EQ(out.channels, 3);
    ASSERT_EQ(out.width, kSize);
    ASSERT_EQ(out.height, kSize);
    EXPECT_EQ(pixel(out, 20, 20), options.unchangedColor);
    EXPECT_EQ(pixel(out, 55, 15), options.removedColor);
    EXPECT_EQ(pixel(out, 75, 80), options.addedColor);
    EXPECT_EQ(pixel(out, 5, 95), drawing::kWhite);
    EXPECT_EQ(result.pixels.unchanged, 400);
    EXPECT_EQ(result.pixels.removed, 100);
    EXPECT_EQ(result.pixels.added, 200);
    EXPECT_TRUE(result.differ());
}

TEST_F(RasterCompareTest, ShiftWithinToleranceAndLightPixels) {
    // 0.2 mm at 200 dpi rounds to 2 pixels.
    Raster first = blank(options.dpi);
    box(first, 10, 10, 90, 12);
    box(first, 10, 50, 90, 52, 200);  // too light to be ink
    Raster second = blank(options.dpi);
    box(second, 10, 12, 90, 14);
    Page a;
    a.rasters = {first};
    Page b;
    b.rasters = {second};
    EXPECT_FALSE(compare(a, b).differ());
    // Beyond the tolerance; alignment would lay it back.
    options.alignScans = false;
    Raster far = blank(options.dpi);
    box(far, 10, 15, 90, 17);
    b.rasters = {far};
    const Result moved = compare(a, b);
    EXPECT_EQ(moved.pixels.removed, 160);
    EXPECT_EQ(moved.pixels.added, 160);
}

TEST_F(RasterCompareTest, RasterAgainstVectorRendersTheVectorPage) {
    Raster scan = blank(options.dpi);
    box(scan, 10, 40, 90, 41);  // one pixel high, row 40
    Page a;
    a.rasters = {scan};
    const double unit = drawing::kUnitsPerInch / options.dpi;
    const double top = kSize * unit;
    const auto rowY = [&](int row) { return top - (row + 0.5) * unit; };
    drawing::Path same;
    same.points = {{10.5 * unit, rowY(40)}, {89.5 * unit, rowY(40)}};
    same.stroke.widthMm = 0.1;
    drawing::Path extra;
    extra.points = {{10.5 * unit, rowY(80)}, {89.5 * unit, rowY(80)}};
    extra.stroke.widthMm = 0.1;
    Page b;
    b.paths = {same};
    b.width = b.height = top;
    EXPECT_FALSE(compare(a, b).differ());
    EXPECT_FALSE(compare(b, a).differ());

    b.paths = {extra};
    const Result result = compare(a, b);
    const Raster& out = only(result);
    EXPECT_EQ(pixel(out, 50, 40), options.removedColor);
    EXPECT_EQ(pixel(out, 50, 80), options.addedColor);
    EXPECT_EQ(result.pixels.removed, 80);
    EXPECT_EQ(result.pixels.added, 80);
}

// Within a region's marks (and a little around it) each page's own ink
// shows whatever the tolerance says: ink of both pages stays the unchanged
// colour, ink of one page alone takes that page's colour. Dots of one and
// two pixels over the middle, some of them changed.
TEST_F(RasterCompareTest, WithinARegionEachPagesOwnInkShows) {
    options.alignScans = false;
    Raster first = blank(options.dpi);
    Raster second = blank(options.dpi);
    unsigned seed = 12345;
    const auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int y = 20; y < 80; ++y) {
        for (int x = 15; x < 85; ++x) {
            const unsigned r = next() % 16;
            const std::size_t i = static_cast<std::size_t>(y) * kSize + x;
            if (r < 3) {
                first.pixels[i] = second.pixels[i] = 0;
            } else if (r == 3 && x > 40 && x < 70) {
                first.pixels[i] = 0;
            } else if (r == 4 && x > 40 && x < 70) {
                second.pixels[i] = 0;
            }
        }
    }
    Page a;
    a.rasters = {first};
    Page b;
    b.rasters = {second};
    const Result result = compare(a, b);
    ASSERT_FALSE(result.regions.empty());
    const Raster& out = only(result);
    const double unit = drawing::kUnitsPerInch / options.dpi;
    const double around = 2 * drawing::kUnitsPerMm;
    int checked[3] = {0, 0, 0};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double px = out.origin.x + (x + 0.5) * unit;
            const double py = out.origin.y - (y + 0.5) * unit;
            const bool inside =
                std::any_of(result.regions.begin(), result.regions.end(), [&](const Region& r) {
                    return px >= r.x0 - around && px <= r.x1 + around && py >= r.y0 - around &&
                           py <= r.y1 + around;
                });
            if (!inside) {
                continue;
            }
            const std::size_t i = static_cast<std::size_t>(y) * kSize + x;
            const bool one = first.pixels[i] == 0;
            const bool two = second.pixels[i] == 0;
            if (one && two) {
                EXPECT_EQ(pixel(out, x, y), options.unchangedColor) << x << "," << y;
                ++checked[0];
            } else if (one) {
                EXPECT_EQ(pixel(out, x, y), options.removedColor) << x << "," << y;
                ++checked[1];
            } else if (two) {
                EXPECT_EQ(pixel(out, x, y), options.addedColor) << x << "," << y;
                ++checked[2];
            } else {
                EXPECT_EQ(pixel(out, x, y), drawing::kWhite) << x << "," << y;
            }
        }
    }
    EXPECT_GT(checked[0], 50);
    EXPECT_GT(checked[1], 20);
    EXPECT_GT(checked[2], 20);
}

// Pages handed over are let go once their ink is found: the answer must be
// the one for pages kept, a scan against a scan (which is aligned) and
// against a drawing (which is not).
TEST_F(RasterCompareTest, TakenPagesGiveTheSameAnswerAndAreLetGo) {
    Raster first = blank(options.dpi);
    box(first, 10, 10, 60, 14);
    box(first, 20, 30, 24, 80);
    box(first, 70, 70, 80, 80);
    Raster second = blank(options.dpi);
    box(second, 12, 11, 62, 15);
    box(second, 22, 31, 26, 81);
    box(second, 40, 50, 50, 60);
    Page a;
    a.rasters = {first};
    Page scan;
    scan.rasters = {second};
    drawing::Path line;
    const double unit = drawing::kUnitsPerInch / options.dpi;
    line.points = {{10 * unit, 50 * unit}, {90 * unit, 50 * unit}};
    line.stroke.widthMm = 0.3;
    Page drawn;
    drawn.paths = {line};
    drawn.width = drawn.height = kSize * unit;
    for (const Page* b : {&scan, &drawn}) {
        const Result kept = compare(a, *b);
        Page takenA = a;
        Page takenB = *b;
        Result taken;
        std::string error;
        ASSERT_TRUE(comparePages(std::move(takenA), std::move(takenB), options, taken, error))
            << error;
        EXPECT_TRUE(kept.differ());
        EXPECT_TRUE(taken.page == kept.page);
        EXPECT_EQ(taken.pixels.unchanged, kept.pixels.unchanged);
        EXPECT_EQ(taken.pixels.removed, kept.pixels.removed);
        EXPECT_EQ(taken.pixels.added, kept.pixels.added);
        EXPECT_EQ(taken.regions.size(), kept.regions.size());
        EXPECT_EQ(taken.alignment.tried, kept.alignment.tried);
        EXPECT_EQ(taken.alignment.moved, kept.alignment.moved);
        EXPECT_EQ(taken.alignment.rightMm, kept.alignment.rightMm);
        EXPECT_EQ(taken.alignment.upMm, kept.alignment.upMm);
        EXPECT_TRUE(takenA.rasters.empty() && takenB.rasters.empty() && takenB.paths.empty());
    }
}

TEST_F(RasterCompareTest, RasterWithoutPartnerIsAllRemoved) {
    Raster first = blank(options.dpi);
    box(first, 0, 0, 10, 10);
    Page a;
    a.rasters = {first};
    const Result result = compare(a, Page{});
    EXPECT_EQ(result.pixels.removed, 100);
    EXPECT_EQ(result.pixels.unchanged, 0);
    EXPECT_EQ(pixel(only(result), 5, 5), options.removedColor);
}

TEST_F(RasterCompareTest, FillsAndDifferentResolutions) {
    // A raster at twice the resolution against a filled square covering the
    // same area: the same ink.
    Raster fine = blank(2 * options.dpi);
    box(fine, 20, 20, 60, 60);
    Page a;
    a.rasters = {fine};
    const double unit = drawing::kUnitsPerInch / (2 * options.dpi);
    const double top = kSize * unit;
    drawing::Path square;
    square.points = {{20 * unit, top - 20 * unit},
                     {60 * unit, top - 20 * unit},
                     {60 * unit, top - 60 * unit},
                     {20 * unit, top - 60 * unit}};
    square.filled = true;
    Page b;
    b.paths = {square};
    const Result result = compare(a, b);
    EXPECT_FALSE(result.differ());
    EXPECT_EQ(result.pixels.unchanged, 400);  // 20 x 20 at the coarser resolution
}

TEST_F(RasterCompareTest, TextsAreRenderedAsGlyphs) {
    Page a;
    a.width = a.height = 50 * drawing::kUnitsPerMm;
    a.texts.push_back({{200, 800}, "EXIT 4", 100, 150, 0, 0, 1, {}});
    Page b = a;
    Result result;
    std::string error;
    ASSERT_TRUE(compareRasters(a, b, options, result, error)) << error;
    EXPECT_FALSE(result.differ());
    EXPECT_GT(result.pixels.unchanged, 200);
    b.texts[0].text = "EXIT 5";
    ASSERT_TRUE(compareRasters(a, b, options, result, error)) << error;
    EXPECT_GT(result.pixels.removed, 10);
    EXPECT_GT(result.pixels.added, 10);
    // Only the changed glyph differs.
    EXPECT_GT(result.pixels.unchanged, result.pixels.removed * 3);
}

TEST_F(RasterCompareTest, OversizedPageIsAnErrorNotAnAllocation) {
    Raster huge = blank(options.dpi);
    huge.origin = {0, 1e9};
    Page a;
    a.rasters = {huge};
    a.width = 1e9;
    a.height = 1e9;
    Result result;
    std::string error;
    EXPECT_FALSE(comparePages(a, Page{}, options, result, error));
    EXPECT_NE(error.find("too large"), std::string::npos);
}

}  // namespace
}  // namespace sandrel
