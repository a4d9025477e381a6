#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "sandrel/align.h"
#include "sandrel/compare.h"
#include "sandrel/ink.h"
#include "sandrel/marks.h"
#include "test_pages.h"

namespace sandrel {
namespace {

using drawing::Page;
using drawing::Path;
using drawing::Point;
using test::kMm;

constexpr double kWidthMm = 150;
constexpr double kHeightMm = 100;
constexpr double kPi = 3.14159265358979323846;

// Where the one real change lies, in mm on the untouched sheet.
constexpr Point kChangeMm = {112, 30};

// A small drawing sheet, turned about its middle by angleDeg and shifted,
// as a scanner might have laid it: frame, title block, parts, labels.
Page sheet(double angleDeg, double rightMm, double upMm, bool changed) {
    const double a = angleDeg * kPi / 180;
    const auto place = [&](double x, double y) {
        const double vx = x - kWidthMm / 2;
        const double vy = y - kHeightMm / 2;
        return Point{(kWidthMm / 2 + vx * std::cos(a) - vy * std::sin(a) + rightMm) * kMm,
                     (kHeightMm / 2 + vx * std::sin(a) + vy * std::cos(a) + upMm) * kMm};
    };
    Page page;
    page.width = kWidthMm * kMm;
    page.height = kHeightMm * kMm;
    const auto poly = [&](std::vector<Point> mm, bool closed, double widthMm = 0.35) {
        Path p;
        for (const auto& q : mm) {
            p.points.push_back(place(q.x, q.y));
        }
        p.closed = closed;
        p.stroke.widthMm = widthMm;
        page.paths.push_back(std::move(p));
    };
    poly({{8, 8}, {142, 8}, {142, 92}, {8, 92}}, true, 0.5);
    poly({{95, 8}, {95, 24}, {142, 24}}, false);
    poly({{20, 60}, {60, 60}, {60, 80}, {20, 80}}, true);
    poly({{30, 20}, {70, 45}}, false);
    poly({{70, 45}, {85, 45}, {85, 70}}, false);
    for (int k = 0; k < 6; ++k) {
        poly({{100.0 + 6 * k, 40}, {100.0 + 6 * k, 75}}, false, 0.25);
    }
    const auto label = [&](Point mm, const char* text) {
        drawing::Text t;
        t.origin = place(mm.x, mm.y);
        t.text = text;
        t.charWidth = 1.8 * kMm;
        t.charHeight = 2.5 * kMm;
        t.angleDeg = angleDeg;
        page.texts.push_back(t);
    };
    label({98, 14}, "PUMP HOUSE 2");
    label({22, 84}, "TANK A");
    if (changed) {
        poly({{kChangeMm.x - 2, kChangeMm.y - 2},
              {kChangeMm.x + 2, kChangeMm.y - 2},
              {kChangeMm.x + 2, kChangeMm.y + 2},
              {kChangeMm.x - 2, kChangeMm.y + 2}},
             true);
    }
    return page;
}

// The page as a bi-level scan at the comparison's resolution.
Page scanned(const Page& page, double dpi) {
    PixelGrid grid;
    grid.dpi = dpi;
    grid.left = 0;
    grid.top = page.height;
    grid.width = static_cast<int>(std::ceil(page.width / grid.unitsPerPixel()));
    grid.height = static_cast<int>(std::ceil(page.height / grid.unitsPerPixel()));
    std::vector<std::uint8_t> mask;
    std::string error;
    EXPECT_TRUE(inkMask(page, grid, mask, error)) << error;
    drawing::Raster r;
    r.dpi = dpi;
    r.width = grid.width;
    r.height = grid.height;
    r.origin = {0, page.height};
    r.channels = 1;
    r.pixels.resize(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) {
        r.pixels[i] = mask[i] != 0 ? 0 : 0xFF;
    }
    Page out;
    out.width = page.width;
    out.height = page.height;
    out.rasters = {std::move(r)};
    return out;
}

class AlignTest : public ::testing::Test {
  protected:
    Options options;
    Result compare(const Page& a, const Page& b) {
        Result result;
        std::string error;
        EXPECT_TRUE(comparePages(a, b, options, result, error)) << error;
        return result;
    }
};

TEST_F(AlignTest, TurnedAndShiftedScanIsUnchangedButForTheRealChange) {
    const Page first = scanned(sheet(0, 0, 0, false), options.dpi);
    for (const double angle : {0.2, 0.5, 1.0}) {
        SCOPED_TRACE(angle);
        // A few pixels right and down (a pixel is 0.127 mm at 200 dpi).
        const double right = 0.5;
        const double up = -0.4;
        const Result same = compare(first, scanned(sheet(angle, right, up, false), options.dpi));
        EXPECT_TRUE(same.alignment.moved);
        EXPECT_NEAR(same.alignment.angleDeg, -angle, 0.05);
        EXPECT_NEAR(same.alignment.rightMm, -right, 0.15);
        EXPECT_NEAR(same.alignment.upMm, -up, 0.15);
        EXPECT_FALSE(same.differ())
            << same.pixels.removed << " removed, " << same.pixels.added << " added";
        EXPECT_TRUE(same.regions.empty());
        const std::string note = alignmentNote(same.alignment);
        char expected[64];
        std::snprintf(expected, sizeof expected, "page 2 aligned: rotated %.2f\u00B0",
                      same.alignment.angleDeg);
        EXPECT_EQ(note.rfind(expected, 0), 0u) << note;
        EXPECT_NE(note.find("mm left"), std::string::npos) << note;
        EXPECT_NE(note.find("mm up"), std::string::npos) << note;
        Result marked = same;
        addMarks(marked, LegendInfo{}, options);
        EXPECT_TRUE(std::any_of(marked.page.texts.begin(), marked.page.texts.end(), [](auto& t) {
            return t.stroke.layer == drawing::Layer::marks &&
                   t.text.rfind("page 2 aligned:", 0) == 0;
        }));

        const Result changed = compare(first, scanned(sheet(angle, right, up, true), options.dpi));
        ASSERT_EQ(changed.regions.size(), 1u);
        const Region& r = changed.regions[0];
        EXPECT_EQ(r.removed, 0);
        EXPECT_GT(r.added, 0);
        EXPECT_LT(r.x0, kChangeMm.x * kMm);
        EXPECT_GT(r.x1, kChangeMm.x * kMm);
        EXPECT_LT(r.y0, kChangeMm.y * kMm);
        EXPECT_GT(r.y1, kChangeMm.y * kMm);
        EXPECT_LT(r.x1 - r.x0, 6 * kMm);
    }
    // The same pair compared as it lies is one mass of changes.
    options.alignScans = false;
    const Result raw = compare(first, scanned(sheet(0.5, 0.5, -0.4, false), options.dpi));
    EXPECT_FALSE(raw.alignment.tried);
    EXPECT_GT(raw.pixels.added, 1000);
}

TEST_F(AlignTest, ScanOfAnotherSheetIsComparedAsItIsAndSaysSo) {
    const Page first = scanned(sheet(0, 0, 0, false), options.dpi);
    Page other;
    other.width = first.width;
    other.height = first.height;
    for (int k = 0; k < 12; ++k) {
        Path p;
        p.points = {{(10 + 11.0 * k) * kMm, 12 * kMm}, {(14 + 9.0 * k) * kMm, 88 * kMm}};
        other.paths.push_back(p);
    }
    const Result result = compare(first, scanned(other, options.dpi));
    EXPECT_TRUE(result.alignment.tried);
    EXPECT_FALSE(result.alignment.moved);
    EXPECT_TRUE(result.alignment.unsure);
    EXPECT_EQ(alignmentNote(result.alignment),
              "page 2 not aligned: no fit found, compared as it is");
    EXPECT_TRUE(result.differ());
}

TEST_F(AlignTest, DrawnPagesAreNeverMoved) {
    // A scan against a drawing turned by half a degree: the drawing stays
    // where it was drawn, and so does a scan compared with a drawing.
    const Page scan = scanned(sheet(0, 0, 0, false), options.dpi);
    const Result result = compare(scan, sheet(0.5, 0, 0, false));
    EXPECT_FALSE(result.alignment.tried);
    EXPECT_TRUE(result.differ());
}

// A label changed in place: "4.7nF" to "4.7pF". Most of the new "p" lies
// within the tolerance of the old "n"; the region still shows the old
// letter's own ink red and the new one's blue.
TEST_F(AlignTest, ScannedChangedWordShowsOldAndNewInk) {
    const auto labelled = [](const char* text) {
        Page page;
        page.width = 60 * kMm;
        page.height = 30 * kMm;
        drawing::Text t;
        t.origin = {10 * kMm, 12 * kMm};
        t.text = text;
        t.charWidth = 2 * kMm;
        t.charHeight = 3 * kMm;
        page.texts.push_back(t);
        Path frame;
        frame.points = {{2 * kMm, 2 * kMm}, {58 * kMm, 2 * kMm}, {58 * kMm, 28 * kMm}};
        page.paths.push_back(frame);
        return page;
    };
    const Result result =
        compare(scanned(labelled("4.7nF"), options.dpi), scanned(labelled("4.7pF"), options.dpi));
    ASSERT_EQ(result.regions.size(), 1u);
    const Region& r = result.regions[0];
    const drawing::Raster& out = result.page.rasters.at(0);
    const double unit = drawing::kUnitsPerInch / options.dpi;
    int red = 0;
    int blue = 0;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const auto* p = &out.pixels[3 * (static_cast<std::size_t>(y) * out.width + x)];
            const drawing::Rgb c = (drawing::Rgb(p[0]) << 16) | (drawing::Rgb(p[1]) << 8) | p[2];
            const double px = out.origin.x + (x + 0.5) * unit;
            const double py = out.origin.y - (y + 0.5) * unit;
            const double around = 2 * kMm;
            const bool inside = px >= r.x0 - around && px <= r.x1 + around && py >= r.y0 - around &&
                                py <= r.y1 + around;
            if (c == options.removedColor) {
                EXPECT_TRUE(inside) << x << "," << y;
                ++red;
            } else if (c == options.addedColor) {
                EXPECT_TRUE(inside) << x << "," << y;
                ++blue;
            }
        }
    }
    // With the tolerance alone the "n" left no red at all, and the "p"
    // only its descender.
    EXPECT_GT(red, 5);
    EXPECT_GT(blue, r.added);
    EXPECT_EQ(r.removed, 0);
}

TEST(AlignMasks, EstimateUndoesATurnScaleAndShift) {
    // Outlined boxes of several sizes over the whole image, turned by 1
    // degree, scaled by half a percent and moved.
    const int w = 400;
    const int h = 300;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(w) * h, 0);
    const auto set = [&](int x, int y) { mask[static_cast<std::size_t>(y) * w + x] = 1; };
    const int boxes[][4] = {{30, 30, 120, 90},
                            {250, 40, 370, 70},
                            {60, 180, 90, 270},
                            {200, 150, 330, 260},
                            {160, 100, 175, 115}};
    for (const auto& b : boxes) {
        for (int x = b[0]; x <= b[2]; ++x) {
            set(x, b[1]);
            set(x, b[3]);
        }
        for (int y = b[1]; y <= b[3]; ++y) {
            set(b[0], y);
            set(b[2], y);
        }
    }
    const PixelTransform turn{1.0 * kPi / 180, 1.005, 6, -4};
    const auto moved = transformMask(mask, w, h, turn);
    PixelTransform back;
    ASSERT_TRUE(estimateAlignment(mask, moved, w, h, back));
    EXPECT_NEAR(back.angleRad, -turn.angleRad, 0.1 * kPi / 180);
    EXPECT_NEAR(back.scale, 1 / turn.scale, 0.002);
    // Moving back lays nearly every ink pixel on ink again.
    const auto again = transformMask(moved, w, h, back);
    std::size_t hit = 0;
    std::size_t ink = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        ink += again[i] != 0;
        hit += again[i] != 0 && mask[i] != 0;
    }
    EXPECT_GT(hit, ink * 6 / 10);
    std::vector<std::uint8_t> empty(mask.size(), 0);
    EXPECT_FALSE(estimateAlignment(mask, empty, w, h, back));
}

// A drawing-like mask: a frame, boxes and lines of a few pixels' width
// laid out at random.
std::vector<std::uint8_t> drawingMask(int w, int h, unsigned seed) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(w) * h, 0);
    const auto line = [&](int x0, int y0, int x1, int y1) {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int k = 0; k <= steps; ++k) {
            const int x = x0 + (steps == 0 ? 0 : (x1 - x0) * k / steps);
            const int y = y0 + (steps == 0 ? 0 : (y1 - y0) * k / steps);
            for (int v = y; v < std::min(h, y + 2); ++v) {
                for (int u = x; u < std::min(w, x + 2); ++u) {
                    mask[static_cast<std::size_t>(v) * w + u] = 1;
                }
            }
        }
    };
    line(20, 20, w - 22, 20);
    line(w - 22, 20, w - 22, h - 22);
    line(w - 22, h - 22, 20, h - 22);
    line(20, h - 22, 20, 20);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> xs(40, w - 140);
    std::uniform_int_distribution<int> ys(40, h - 140);
    std::uniform_int_distribution<int> size(8, 100);
    for (int k = 0; k < 150; ++k) {
        const int x = xs(rng);
        const int y = ys(rng);
        const int a = size(rng);
        const int b = size(rng);
        if (k % 3 == 0) {
            line(x, y, x + a, y + b);
        } else {
            line(x, y, x + a, y);
            line(x + a, y, x + a, y + b);
            line(x + a, y + b, x, y + b);
            line(x, y + b, x, y);
        }
    }
    return mask;
}

TEST(AlignMasks, DrawingTurnedScaledAndShiftedToTheEdgeOfTheRangeIsFoundAgain) {
    // One page small enough to be searched down to single pixels, one
    // searched down to cells of two; each moved as far as a scan may be.
    struct Case {
        int w, h;
        PixelTransform t;
    };
    const Case cases[] = {
        {1200, 850, {2.0 * kPi / 180, 1.01, 30, -22}},
        {2500, 1700, {-1.5 * kPi / 180, 0.992, -41, 17.5}},
    };
    for (const Case& c : cases) {
        const auto mask = drawingMask(c.w, c.h, 9);
        const auto moved = transformMask(mask, c.w, c.h, c.t);
        PixelTransform back;
        ASSERT_TRUE(estimateAlignment(mask, moved, c.w, c.h, back));
        EXPECT_NEAR(back.angleRad, -c.t.angleRad, 0.02 * kPi / 180) << c.w;
        EXPECT_NEAR(back.scale, 1 / c.t.scale, 0.0005) << c.w;
        // Laid back, the ink lands on the original's (within a pixel).
        const auto again = transformMask(moved, c.w, c.h, back);
        const auto near = dilate(mask, c.w, c.h, 1);
        std::size_t hit = 0;
        std::size_t ink = 0;
        for (std::size_t i = 0; i < mask.size(); ++i) {
            ink += again[i] != 0;
            hit += again[i] != 0 && near[i] != 0;
        }
        EXPECT_GT(hit, ink * 97 / 100) << c.w;

        // The page laid on itself needs no correction.
        PixelTransform still;
        ASSERT_TRUE(estimateAlignment(mask, mask, c.w, c.h, still));
        EXPECT_LT(std::abs(still.angleRad) * c.w, 0.5);
        EXPECT_LT(std::abs(still.scale - 1) * c.w, 0.5);
        EXPECT_LT(std::hypot(still.dx, still.dy), 0.5);
    }
}

}  // namespace
}  // namespace sandrel
