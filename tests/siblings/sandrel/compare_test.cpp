#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>
#include <utility>

#include "drawing/hpgl/hpgl.h"
#include "sandrel/compare.h"
#include "sandrel/testgen.h"
#include "test_pages.h"

namespace sandrel {
namespace {

using drawing::Page;
using drawing::Path;
using drawing::Point;
using drawing::PrecisePoint;

using test::kMm;
using test::line;

double length(const Path& path) {
    double sum = 0;
    for (std::size_t i = 1; i < path.points.size(); ++i) {
        sum += std::hypot(path.points[i].x - path.points[i - 1].x,
                          path.points[i].y - path.points[i - 1].y);
    }
    return sum;
}

std::vector<Path> ofColor(const Page& page, drawing::Rgb color) {
    std::vector<Path> out;
    for (const auto& path : page.paths) {
        if (path.stroke.color == color) {
            out.push_back(path);
        }
    }
    return out;
}

double lengthOf(const Page& page, drawing::Rgb color) {
    double sum = 0;
    for (const auto& path : ofColor(page, color)) {
        sum += length(path);
    }
    return sum;
}

double distance(PrecisePoint p, PrecisePoint q) {
    return std::hypot(p.x - q.x, p.y - q.y);
}

// Whether some path of the colour runs from a to b (either way) within reach.
bool drawn(const Page& page, drawing::Rgb color, PrecisePoint a, PrecisePoint b, double reach) {
    for (const auto& path : ofColor(page, color)) {
        const Point first = path.points.front();
        const Point last = path.points.back();
        if ((distance(first, a) <= reach && distance(last, b) <= reach) ||
            (distance(first, b) <= reach && distance(last, a) <= reach)) {
            return true;
        }
    }
    return false;
}

// Whether point p lies on some path of the colour.
bool covers(const Page& page, drawing::Rgb color, PrecisePoint p) {
    for (const auto& path : ofColor(page, color)) {
        for (std::size_t i = 1; i < path.points.size(); ++i) {
            const Point a = path.points[i - 1];
            const Point b = path.points[i];
            if (std::abs(distance(a, p) + distance(p, b) - distance(a, b)) < test::kFloatReach) {
                return true;
            }
        }
    }
    return false;
}

PrecisePoint lerp(PrecisePoint a, PrecisePoint b, double f) {
    return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
}

class CompareTest : public ::testing::Test {
  protected:
    Options options;
    Result compare(const Page& a, const Page& b) { return compareVectors(a, b, options); }
    Result compareWithRegions(const Page& a, const Page& b) {
        Result result;
        std::string error;
        EXPECT_TRUE(comparePages(a, b, options, result, error)) << error;
        return result;
    }
};

TEST_F(CompareTest, GeneratedPairShowsExactlyTheKnownChanges) {
    const GeneratedPair pair = makePair(2000, options.toleranceMm, 7);
    const Result result = compare(pair.base, pair.variant);
    const Page& page = result.page;
    const double reach = 1e-6;
    ASSERT_FALSE(pair.removed.empty());
    for (const auto& l : pair.removed) {
        EXPECT_TRUE(drawn(page, options.removedColor, l.a, l.b, reach));
    }
    for (const auto& l : pair.added) {
        EXPECT_TRUE(drawn(page, options.addedColor, l.a, l.b, reach));
    }
    // Nothing else is red or blue: the partial line adds its lost part.
    const auto& p = pair.partial;
    double removedLength = distance(pair.split, p.b);
    for (const auto& l : pair.removed) {
        removedLength += distance(l.a, l.b);
    }
    double addedLength = 0;
    for (const auto& l : pair.added) {
        addedLength += distance(l.a, l.b);
    }
    const double tolerance = options.toleranceMm * kMm;
    // The kept part of the partial line reaches the tolerance past the split.
    EXPECT_NEAR(lengthOf(page, options.removedColor), removedLength, tolerance + test::kFloatReach);
    EXPECT_NEAR(lengthOf(page, options.addedColor), addedLength, tolerance + test::kFloatReach);
    EXPECT_NEAR(result.lines.removed, lengthOf(page, options.removedColor), test::kFloatReach);
    EXPECT_TRUE(result.differ());

    // The partial line: grey up to the split, red after it.
    EXPECT_TRUE(covers(page, options.unchangedColor, lerp(p.a, pair.split, 0.5)));
    EXPECT_TRUE(covers(page, options.removedColor, lerp(pair.split, p.b, 0.5)));
    // The red part begins where the kept part, widened by the tolerance, ends.
    EXPECT_TRUE(drawn(page, options.removedColor, pair.split, p.b, tolerance * 1.001));
    EXPECT_FALSE(drawn(page, options.removedColor, pair.split, p.b, tolerance * 0.999));
    // Pieces and the small shift are unchanged, not drawn in red or blue.
    for (const auto* l : {&pair.collinear, &pair.shifted}) {
        EXPECT_TRUE(drawn(page, options.unchangedColor, l->a, l->b, reach));
        EXPECT_FALSE(covers(page, options.removedColor, lerp(l->a, l->b, 0.5)));
    }
}

TEST_F(CompareTest, IdenticalAndReorderedPagesAreTheSame) {
    const GeneratedPair pair = makePair(500, options.toleranceMm, 3);
    Page reversed = pair.base;
    std::reverse(reversed.paths.begin(), reversed.paths.end());
    for (auto& path : reversed.paths) {
        std::reverse(path.points.begin(), path.points.end());
    }
    const Result result = compare(pair.base, reversed);
    EXPECT_FALSE(result.differ());
    EXPECT_EQ(result.page.paths.size(), pair.base.paths.size());
    EXPECT_EQ(lengthOf(result.page, options.removedColor), 0);
    EXPECT_EQ(lengthOf(result.page, options.addedColor), 0);
}

TEST_F(CompareTest, PageWithoutPartnerIsAllRemoved) {
    const GeneratedPair pair = makePair(100, options.toleranceMm, 5);
    Page withText = pair.base;
    withText.texts.push_back({{10, 10}, "A-1", 40, 60, 0, 0, 1, {}});
    const Result result = compare(withText, Page{});
    EXPECT_EQ(result.page.paths.size(), pair.base.paths.size());
    EXPECT_EQ(ofColor(result.page, options.removedColor).size(), pair.base.paths.size());
    ASSERT_EQ(result.page.texts.size(), 1u);
    EXPECT_EQ(result.page.texts[0].stroke.color, options.removedColor);

    const Result none = compare(Page{}, Page{});
    EXPECT_FALSE(none.differ());
    EXPECT_TRUE(none.page.empty());
}

TEST_F(CompareTest, ShiftAtTheToleranceBoundary) {
    const Point a{0, 0};
    const Point b{100 * kMm, 0};
    const double tolerance = options.toleranceMm * kMm;
    Page first;
    first.paths = {line(a, b)};
    Page within;
    within.paths = {line({0, tolerance * 0.99}, {b.x, tolerance * 0.99})};
    Page beyond;
    beyond.paths = {line({0, tolerance * 1.5}, {b.x, tolerance * 1.5})};
    EXPECT_FALSE(compare(first, within).differ());
    const Result moved = compare(first, beyond);
    EXPECT_NEAR(moved.lines.removed, b.x, 1e-6);
    EXPECT_NEAR(moved.lines.added, b.x, 1e-6);
    EXPECT_EQ(moved.lines.unchanged, 0);
}

TEST_F(CompareTest, LongerLineIsSplitWhereTheShorterEnds) {
    Page first;
    first.paths = {line({0, 0}, {100 * kMm, 0})};
    Page second;
    second.paths = {line({0, 0}, {40 * kMm, 0})};
    const Result result = compare(first, second);
    const double tolerance = options.toleranceMm * kMm;
    EXPECT_NEAR(result.lines.unchanged, 40 * kMm + tolerance, 1e-6);
    EXPECT_NEAR(result.lines.removed, 60 * kMm - tolerance, 1e-6);
    EXPECT_EQ(result.lines.added, 0);
    EXPECT_TRUE(
        drawn(result.page, options.removedColor, {40 * kMm + tolerance, 0}, {100 * kMm, 0}, 1e-6));
    // Covering is not symmetric in length: the short line is all in the long one.
    const Result back = compare(second, first);
    EXPECT_NEAR(back.lines.unchanged, 40 * kMm, 1e-6);
    EXPECT_NEAR(back.lines.added, 60 * kMm - tolerance, 1e-6);
}

TEST_F(CompareTest, PolylineSplitKeepsRunsTogether) {
    // A closed square; the other page lacks the middle of its top side.
    Path square;
    square.points = {{0, 0}, {400, 0}, {400, 400}, {0, 400}};
    square.closed = true;
    Page first;
    first.paths = {square};
    Page second;
    Path open;
    open.points = {{300, 400}, {400, 400}, {400, 0}, {0, 0}, {0, 400}, {100, 400}};
    second.paths = {open};
    const Result result = compare(first, second);
    const double tolerance = options.toleranceMm * kMm;
    const auto red = ofColor(result.page, options.removedColor);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_NEAR(length(red[0]), 200 - 2 * tolerance, 1e-6);
    EXPECT_TRUE(covers(result.page, options.removedColor, {200, 400}));
    EXPECT_TRUE(covers(result.page, options.unchangedColor, {0, 200}));
    EXPECT_EQ(result.lines.added, 0);
}

// The result lists what stayed, then what went, then what came, each in
// the order of its page, runs of a partly changed line in its place among
// whole paths; so changes lie on top. The same whether the pages are kept
// or taken.
TEST_F(CompareTest, ResultPathsInPageOrderUnchangedThenRemovedThenAdded) {
    const double t = options.toleranceMm * kMm;
    Path fill;
    fill.filled = true;
    fill.points = {{0, 300 * kMm}, {20 * kMm, 300 * kMm}, {20 * kMm, 320 * kMm}};
    // The partly changed line's runs keep its look.
    drawing::Stroke dashed;
    dashed.widthMm = 0.5;
    dashed.lineType = 2;
    dashed.dashMm = {2, 1};
    Path half = line({0, 100 * kMm}, {100 * kMm, 100 * kMm});
    half.stroke = dashed;
    Path shorter = line({0, 100 * kMm}, {40 * kMm, 100 * kMm});
    shorter.stroke = dashed;
    Page first;
    first.paths = {line({0, 0}, {100 * kMm, 0}),                  // stays
                   half,                                          // half of it stays
                   line({0, 200 * kMm}, {100 * kMm, 200 * kMm}),  // goes
                   fill};                                         // stays
    Page second;
    second.paths = {line({0, 400 * kMm}, {50 * kMm, 400 * kMm}),  // comes
                    fill, line({0, 0}, {100 * kMm, 0}), shorter};
    Result kept;
    Result taken;
    std::string error;
    ASSERT_TRUE(comparePages(first, second, options, kept, error)) << error;
    Page a = first;
    Page b = second;
    ASSERT_TRUE(comparePages(std::move(a), std::move(b), options, taken, error)) << error;
    EXPECT_TRUE(taken.page == kept.page);
    const std::vector<std::pair<drawing::Rgb, std::vector<Point>>> expected = {
        {options.unchangedColor, {{0, 0}, {100 * kMm, 0}}},
        {options.unchangedColor, {{0, 100 * kMm}, {40 * kMm + t, 100 * kMm}}},
        {options.unchangedColor, fill.points},
        {options.removedColor, {{40 * kMm + t, 100 * kMm}, {100 * kMm, 100 * kMm}}},
        {options.removedColor, {{0, 200 * kMm}, {100 * kMm, 200 * kMm}}},
        {options.addedColor, {{0, 400 * kMm}, {50 * kMm, 400 * kMm}}},
    };
    for (const Result* result : {&kept, &taken}) {
        const auto& paths = result->page.paths;
        ASSERT_EQ(paths.size(), expected.size());
        for (const std::size_t run : {1u, 3u}) {
            EXPECT_EQ(paths[run].stroke.widthMm, dashed.widthMm) << "path " << run;
            EXPECT_EQ(paths[run].stroke.dashMm, dashed.dashMm) << "path " << run;
        }
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(paths[i].stroke.color, expected[i].first) << "path " << i;
            ASSERT_EQ(paths[i].points.size(), expected[i].second.size()) << "path " << i;
            for (std::size_t k = 0; k < paths[i].points.size(); ++k) {
                EXPECT_NEAR(paths[i].points[k].x, expected[i].second[k].x, 1e-6) << "path " << i;
                EXPECT_NEAR(paths[i].points[k].y, expected[i].second[k].y, 1e-6) << "path " << i;
            }
        }
    }
}

TEST_F(CompareTest, CrossingLinesDoNotCoverEachOther) {
    Page first;
    first.paths = {line({0, 0}, {400, 0})};
    Page second;
    second.paths = {line({200, -200}, {200, 200})};
    const Result result = compare(first, second);
    EXPECT_EQ(result.lines.unchanged, 0);
    EXPECT_NEAR(result.lines.removed, 400, 1e-6);
    EXPECT_NEAR(result.lines.added, 400, 1e-6);
}

TEST_F(CompareTest, ChordsOfAnArcWithinToleranceAreTheSame) {
    // A circle of radius 50 mm as 360 chords against 180: the chords differ
    // by well under 0.2 mm.
    const auto circle = [](int steps) {
        Path path;
        for (int i = 0; i < steps; ++i) {
            const double t = 2 * 3.14159265358979323846 * i / steps;
            path.points.push_back({2000 * std::cos(t), 2000 * std::sin(t)});
        }
        path.closed = true;
        return path;
    };
    Page first;
    first.paths = {circle(360)};
    Page second;
    second.paths = {circle(180)};
    EXPECT_FALSE(compare(first, second).differ());
}

TEST_F(CompareTest, PenAndColourAreIgnoredUnlessStyleIsCompared) {
    Page first;
    first.paths = {line({0, 0}, {400, 0})};
    Page second = first;
    second.paths[0].stroke.pen = 4;
    second.paths[0].stroke.color = 0x00FF00;
    EXPECT_FALSE(compare(first, second).differ());
    options.compareStyle = true;
    const Result styled = compare(first, second);
    EXPECT_NEAR(styled.lines.removed, 400, 1e-6);
    EXPECT_NEAR(styled.lines.added, 400, 1e-6);
}

// A track widened from 0.5 to 1.0 mm beside one drawn 0.35 instead of 0.3 mm
// (below the tolerance) and one in another line type.
TEST_F(CompareTest, WidthAndLineTypeChangesBeyondTheTolerance) {
    Page first;
    first.paths = {line({0, 0}, {4000, 0}), line({0, 2000}, {4000, 2000}),
                   line({0, 4000}, {4000, 4000})};
    first.paths[0].stroke.widthMm = 0.5;
    first.paths[1].stroke.widthMm = 0.3;
    Page second = first;
    second.paths[0].stroke.widthMm = 1.0;
    second.paths[1].stroke.widthMm = 0.35;
    second.paths[2].stroke.lineType = 2;
    second.paths[2].stroke.dashMm = {2, 1};
    Result result = compareWithRegions(first, second);
    ASSERT_EQ(result.regions.size(), 2u);
    // Reading order: the dashed line at the top first.
    EXPECT_EQ(regionKind(result.regions[0], options), RegionKind::geometry);
    EXPECT_EQ(regionKind(result.regions[1], options), RegionKind::width);
    EXPECT_EQ(result.regions[1].removedWidthLow, 0.5);
    EXPECT_EQ(result.regions[1].addedWidthLow, 1.0);
    EXPECT_NEAR(result.lines.removed, 8000, 1e-6);
    EXPECT_NEAR(result.lines.added, 8000, 1e-6);
    // The new stroke lies over the old one.
    const auto removedAt = std::find_if(result.page.paths.begin(), result.page.paths.end(),
                                        [&](const Path& p) { return p.stroke.pen == kRemovedPen; });
    const auto addedAt = std::find_if(result.page.paths.begin(), result.page.paths.end(),
                                      [&](const Path& p) { return p.stroke.pen == kAddedPen; });
    EXPECT_LT(removedAt, addedAt);

    // Both tolerances must be exceeded: 0.30 against 0.45 mm is 50% but
    // only 0.15 mm, which a larger millimetre tolerance forgives.
    options.widthToleranceMm = 0.2;
    second.paths[1].stroke.widthMm = 0.45;
    EXPECT_EQ(compareWithRegions(first, second).regions.size(), 2u);
    options.widthToleranceMm = 0.1;
    EXPECT_EQ(compareWithRegions(first, second).regions.size(), 3u);

    options.compareWidth = false;
    result = compareWithRegions(first, second);
    EXPECT_FALSE(result.differ());
    EXPECT_TRUE(result.regions.empty());
}

TEST_F(CompareTest, FillsTakeTheStatusOfTheirBoundary) {
    const auto box = [](double x, double size) {
        Path path;
        path.points = {{x, 0}, {x + size, 0}, {x + size, size}, {x, size}};
        path.filled = true;
        return path;
    };
    Page first;
    first.paths = {box(0, 400), box(1000, 400)};
    Page second;
    second.paths = {box(0, 400), box(1000, 300)};
    // An outline on the same place as a fill is not the fill.
    Path outline = box(2000, 400);
    outline.filled = false;
    outline.closed = true;
    first.paths.push_back(outline);
    second.paths.push_back(box(2000, 400));
    const Result result = compare(first, second);
    EXPECT_EQ(result.fills.unchanged, 1);
    EXPECT_EQ(result.fills.removed, 1);
    EXPECT_EQ(result.fills.added, 2);
    EXPECT_NEAR(result.lines.removed, 1600, 1e-6);
    int greyFills = 0;
    for (const auto& path : result.page.paths) {
        if (path.filled && path.stroke.color == options.unchangedColor) {
            ++greyFills;
            EXPECT_EQ(path.points.front().x, 0);
        }
    }
    EXPECT_EQ(greyFills, 1);
}

TEST_F(CompareTest, TextsMatchByStringSizeAngleAndPlace) {
    const drawing::Text base{{100, 100}, "PUMP 2", 30, 45, 90, 0, 1, {}};
    Page first;
    first.texts = {base, base, base, base};
    first.texts[1].origin.x = 500;
    first.texts[2].origin.x = 900;
    first.texts[3].origin.x = 1300;
    Page second = first;
    second.texts[0].origin.y += options.toleranceMm * kMm / 2;  // same
    second.texts[1].text = "PUMP 3";
    second.texts[2].charHeight = 60;
    second.texts[3].angleDeg = 0;
    std::reverse(second.texts.begin(), second.texts.end());
    const Result result = compare(first, second);
    EXPECT_EQ(result.texts.unchanged, 1);
    EXPECT_EQ(result.texts.removed, 3);
    EXPECT_EQ(result.texts.added, 3);
    EXPECT_EQ(result.page.texts.size(), 7u);
}

// A label used all over the sheet matches its nearest namesake within the
// tolerance; one moved farther is removed and added, the old one set above
// the new and struck through.
TEST_F(CompareTest, ALabelUsedAllOverMatchesOnlyItsOwnNamesake) {
    const double reach = options.toleranceMm * kMm;
    Page first;
    for (int k = 0; k < 60; ++k) {
        first.texts.push_back(
            {{1000.0 + 400 * (k % 10), 1000.0 + 400 * (k / 10)}, "GND", 30, 45, 0, 0, 1, {}});
    }
    Page second = first;
    second.texts[7].origin.x += reach / 2;
    second.texts[23].origin.x += 3 * reach;
    second.texts[41].origin.y -= 3 * reach;
    std::reverse(second.texts.begin(), second.texts.end());
    const Result result = compare(first, second);
    EXPECT_EQ(result.texts.unchanged, 58);
    EXPECT_EQ(result.texts.removed, 2);
    EXPECT_EQ(result.texts.added, 2);
    const auto struck =
        std::count_if(result.page.paths.begin(), result.page.paths.end(),
                      [](const Path& p) { return p.stroke.layer == drawing::Layer::marks; });
    EXPECT_EQ(struck, 2);
    for (const auto& text : result.page.texts) {
        if (text.stroke.color == options.addedColor) {
            EXPECT_TRUE(text.origin == second.texts[59 - 23].origin ||
                        text.origin == second.texts[59 - 41].origin);
        }
    }
}

// As far out as a page holds every whole unit (2^24 units, 419 m), two lines
// half a millimetre apart stay two.
TEST_F(CompareTest, CoordinatesAsFarAsAPageHoldsWholeUnitsKeepTheirPlaces) {
    const double x = 16'000'000;
    Page first;
    first.paths = {line({x, 0}, {x, 40 * kMm}), line({0, 0}, {100, 100})};
    Page second;
    second.paths = {line({x + 20, 0}, {x + 20, 40 * kMm}), line({0, 0}, {100, 100})};
    const Result result = compare(first, second);
    EXPECT_NEAR(result.lines.removed, 40 * kMm, 1e-6);
    EXPECT_NEAR(result.lines.added, 40 * kMm, 1e-6);
    EXPECT_NEAR(result.lines.unchanged, std::hypot(100, 100), 1e-6);
}

TEST_F(CompareTest, FarOffAndLongSegmentsStillMeetTheirPartners) {
    // Lines far beyond the bulk of the drawing land in the grid's border
    // cells; they must still find their partners there.
    GeneratedPair pair = makePair(3000, options.toleranceMm, 9);
    const std::vector<Path> far = {line({-1e8, -1e8}, {-1e8 + 400, -1e8}),
                                   line({5e8, 3e8}, {5e8, 3e8 + 400}),
                                   line({-1e8, 5e8}, {5e8, -1e8})};
    for (const auto& path : far) {
        pair.base.paths.push_back(path);
        Path copy = path;
        std::reverse(copy.points.begin(), copy.points.end());
        pair.variant.paths.insert(pair.variant.paths.begin(), copy);
    }
    Path nowhere = line({0, 0}, {std::nan(""), 1});
    pair.base.paths.push_back(nowhere);
    const Result result = compare(pair.base, pair.variant);
    for (const auto& path : far) {
        EXPECT_TRUE(drawn(result.page, options.unchangedColor, path.points[0], path.points[1], 0));
    }
    double removedLength = distance(pair.split, pair.partial.b);
    for (const auto& l : pair.removed) {
        removedLength += distance(l.a, l.b);
    }
    EXPECT_NEAR(result.lines.removed, removedLength, options.toleranceMm * kMm + 1e-6);
}

TEST_F(CompareTest, LinesDrawnManyTimesOver) {
    Page many;
    for (int i = 0; i < 1000; ++i) {
        many.paths.push_back(line({0, 0}, {400, 0}));
        many.paths.push_back(line({400, 0}, {0, 0}));
    }
    many.paths.push_back(line({0, 0}, {400, 0}));
    many.paths.back().filled = true;  // another layer: not a copy
    Page once;
    once.paths = {line({0, 0}, {400, 0})};
    const Result extra = compare(many, once);
    EXPECT_EQ(extra.lines.removed, 0);
    EXPECT_EQ(extra.fills.removed, 1);
    EXPECT_NEAR(extra.lines.unchanged, 2000 * 400, 1e-3);
    EXPECT_EQ(compare(once, many).lines.added, 0);
    Page aside;
    aside.paths = {line({0, 20}, {400, 20})};
    EXPECT_NEAR(compare(many, aside).lines.removed, 2000 * 400, 1e-3);
}

TEST_F(CompareTest, DotsAndDegenerateSegments) {
    Path dot;
    dot.points = {{50, 50}};
    Path zero = line({500, 500}, {500, 500});
    Page first;
    first.paths = {dot, zero};
    Page second;
    second.paths = {line({50, 52}, {50, 52})};
    const Result result = compare(first, second);
    ASSERT_EQ(result.page.paths.size(), 2u);
    EXPECT_EQ(result.page.paths[0].stroke.color, options.unchangedColor);
    EXPECT_EQ(result.page.paths[1].stroke.color, options.removedColor);
    EXPECT_TRUE(result.differ());  // though a dot has no length to count
}

TEST_F(CompareTest, AShortTickAcrossALineCoversNoneOfIt) {
    // A line removed in the second drawing, which keeps only a tick of 0.3 mm
    // across its middle: the whole line is removed, the tick added.
    Page first;
    first.paths = {line({0, 0}, {40 * kMm, 0})};
    Page second;
    second.paths = {line({20 * kMm, -6}, {20 * kMm, 6})};
    const Result result = compare(first, second);
    EXPECT_EQ(result.lines.unchanged, 0);
    EXPECT_NEAR(result.lines.removed, 40 * kMm, 1e-6);
    EXPECT_NEAR(result.lines.added, 12, 1e-6);
    // A short piece along the line still covers what it runs along.
    second.paths = {line({20 * kMm, 1}, {20 * kMm + 6, 1})};
    const Result along = compare(first, second);
    EXPECT_NEAR(along.lines.added, 0, 1e-6);
    EXPECT_GT(along.lines.unchanged, 6);
}

TEST_F(CompareTest, APointRepeatedInALineIsNoDot) {
    // Outlines flattened to whole units repeat a quarter of their points. A
    // repeated point is no dot, which would meet a tick across the line
    // there whatever its direction: the tick is added as anywhere else.
    Page first;
    Path repeated = line({0, 0}, {40 * kMm, 0});
    repeated.points.insert(repeated.points.begin() + 1, 2, Point{20 * kMm, 0});
    first.paths = {repeated};
    Page second;
    second.paths = {line({20 * kMm, -6}, {20 * kMm, 6})};
    Result result = compare(first, second);
    EXPECT_NEAR(result.lines.removed, 40 * kMm, 1e-6);
    EXPECT_NEAR(result.lines.added, 12, 1e-6);
    result = compare(second, first);
    EXPECT_NEAR(result.lines.removed, 12, 1e-6);
    // A path of one place however often repeated is a dot still, and the
    // line with its repeated point is the same as without it.
    Path still;
    still.points = {{500, 500}, {500, 500}, {500, 500}};
    first.paths.push_back(still);
    second.paths = {line({0, 0}, {40 * kMm, 0})};
    result = compare(first, second);
    EXPECT_EQ(result.lines.removed, 0);
    EXPECT_EQ(result.lines.added, 0);
    EXPECT_TRUE(result.differ());
    EXPECT_EQ(ofColor(result.page, options.removedColor).size(), 1u);
}

TEST_F(CompareTest, GlyphSizedShapesAreComparedAsWholes) {
    // Text as outlines: an "O"-like outer box, and in the other drawing the
    // same box with a counter in it. The box's outline is all covered by the
    // other's, but the shapes differ: both are changed.
    const auto shape = [](double size, bool counter) {
        Path p;
        p.filled = true;
        p.points = {{0, 0}, {size, 0}, {size, 1.5 * size}, {0, 1.5 * size}};
        if (counter) {
            p.subpathStarts = {4};
            for (const Point q :
                 {Point{0.3, 0.3}, Point{0.3, 1.2}, Point{0.7, 1.2}, Point{0.7, 0.3}}) {
                p.points.push_back({q.x * size, q.y * size});
            }
        }
        return p;
    };
    Page first;
    first.paths = {shape(2 * kMm, false)};
    Page second;
    second.paths = {shape(2 * kMm, true)};
    const Result small = compare(first, second);
    EXPECT_EQ(small.fills.unchanged, 0);
    EXPECT_EQ(small.fills.removed, 1);
    EXPECT_EQ(small.fills.added, 1);
    // The same glyph in both is unchanged.
    EXPECT_FALSE(compare(second, second).differ());
    // A large area keeps the rule of boundaries: covered is unchanged.
    first.paths = {shape(40 * kMm, false)};
    second.paths = {shape(40 * kMm, true)};
    const Result large = compare(first, second);
    EXPECT_EQ(large.fills.unchanged, 1);
    EXPECT_EQ(large.fills.added, 1);
}

// A letter is compared whole: it stays only with a letter of the other
// drawing in its box. Two letters that together cover its outline do not
// keep it; a letter moved by the tolerance still has its partner, one moved
// further has none, on either side, among a row or a column of unchanged
// letters.
TEST_F(CompareTest, ALetterStaysOnlyWithALetterInItsBox) {
    const auto letter = [](double x0, double y0, double x1, double y1) {
        Path p;
        p.filled = true;
        p.closed = true;
        p.points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        return p;
    };
    Page first;
    first.paths = {letter(0, 0, 1 * kMm, 3 * kMm)};
    Page second;
    second.paths = {letter(0, 0, 0.5 * kMm, 3 * kMm), letter(0.5 * kMm, 0, 1 * kMm, 3 * kMm)};
    const Result halves = compare(first, second);
    EXPECT_EQ(halves.fills.removed, 1);
    EXPECT_EQ(halves.fills.added, 2);

    // A row of letters, and a column of them, all at one left edge.
    const double tolerance = options.toleranceMm * kMm;
    for (const bool column : {false, true}) {
        const auto at = [&](int k, double shift) {
            // A tenth of a millimetre in, so that the shift takes the
            // letter's corner past some rounder coordinate.
            const double x = (column ? 0 : k * 2 * kMm) + 0.1 * kMm + shift;
            const double y = column ? k * 4 * kMm : 0;
            return letter(x, y, x + 1 * kMm, y + 3 * kMm);
        };
        Page line;
        for (int k = 0; k < 200; ++k) {
            line.paths.push_back(at(k, 0));
        }
        for (const double shift : {0.99 * tolerance, 1.5 * tolerance}) {
            Page moved = line;
            moved.paths[100] = at(100, shift);
            for (const bool forth : {true, false}) {
                const Result result = forth ? compare(line, moved) : compare(moved, line);
                EXPECT_EQ(result.fills.unchanged, shift < tolerance ? 200 : 199) << shift;
                EXPECT_EQ(result.fills.removed, shift < tolerance ? 0 : 1) << shift;
                EXPECT_EQ(result.fills.added, shift < tolerance ? 0 : 1) << shift;
            }
        }
    }
}

// Text plotted as glyph outlines fills each letter and edges it with the
// thinnest line. The edge goes with its fill: whole, in the fill's status,
// however the lines of the other page cover it.
TEST_F(CompareTest, AHairlineEdgeOfAFillGoesWithItsFill) {
    const auto letter = [](double x, double width) {
        Path fill;
        fill.filled = true;
        fill.closed = true;
        fill.points = {{x, 0}, {x + 2 * kMm, 0}, {x + 2 * kMm, 3 * kMm}, {x, 3 * kMm}};
        fill.stroke.widthMm = 0;
        Path edge = fill;
        edge.filled = false;
        edge.stroke.widthMm = width;
        return std::pair{fill, edge};
    };
    const auto [stays, staysEdge] = letter(0, 0);
    const auto [moves, movesEdge] = letter(10 * kMm, 0);
    const auto [moved, movedEdge] = letter(10.5 * kMm, 0);
    Page first;
    first.paths = {stays, staysEdge, moves, movesEdge};
    Page second;
    // The moved letter's old place is half drawn over by a plain line of
    // the new page: before, its edge came out partly unchanged.
    second.paths = {stays, staysEdge, moved, movedEdge, line({10 * kMm, 0}, {12 * kMm, 0})};
    const Result result = compare(first, second);
    EXPECT_EQ(result.fills.unchanged, 1);
    EXPECT_EQ(result.fills.removed, 1);
    EXPECT_EQ(result.fills.added, 1);
    const double perimeter = 10 * kMm;
    EXPECT_NEAR(result.lines.unchanged, perimeter, 1e-6);
    EXPECT_NEAR(result.lines.removed, perimeter, 1e-6);
    EXPECT_NEAR(result.lines.added, perimeter + 2 * kMm, 1e-6);
    // Each letter's edge is one closed path in its fill's colour.
    for (const auto& [color, x] :
         {std::pair{options.unchangedColor, 0.0}, std::pair{options.removedColor, 10 * kMm},
          std::pair{options.addedColor, 10.5 * kMm}}) {
        int edges = 0;
        for (const auto& path : result.page.paths) {
            if (!path.filled && path.closed && path.stroke.color == color) {
                ++edges;
                EXPECT_EQ(path.points.front().x, x);
                EXPECT_EQ(path.points.size(), 4U);
            }
        }
        EXPECT_EQ(edges, 1);
    }
    // A fill that lost its hairline edge is the same fill; a visible edge
    // is a line of its own, compared as any other.
    second.paths = {stays};
    EXPECT_FALSE(compare(Page{{}, {}, {stays, staysEdge}, {}, {}}, second).differ());
    const auto [wide, wideEdge] = letter(0, 0.35);
    const Result visible = compare(Page{{}, {}, {wide, wideEdge}, {}, {}}, second);
    EXPECT_EQ(visible.fills.unchanged, 1);
    EXPECT_NEAR(visible.lines.removed, perimeter, 1e-6);
    // An outline like the fill before it but in another colour is no edge,
    // nor is one left open (it lacks the closing side).
    Path red = staysEdge;
    red.stroke.color = 0xFF0000;
    EXPECT_NEAR(compare(Page{{}, {}, {stays, red}, {}, {}}, second).lines.removed, perimeter, 1e-6);
    Path open = staysEdge;
    open.closed = false;
    EXPECT_NEAR(compare(Page{{}, {}, {stays, open}, {}, {}}, second).lines.removed,
                perimeter - 3 * kMm, 1e-6);

    // Read for a comparison, an edge keeps no points of its own
    // (HpglReadOptions::foldFillEdges): the result is the same, whether the
    // pages are copied or taken, its edges kept so, each just after its
    // fill: given their fills' points back they are the page above, the
    // regions found on it are the same, and so is the HP-GL it is written
    // to. Where the pages are compared as images, the edges are drawn whole.
    const auto written = [](const Page& page) {
        std::ostringstream out;
        drawing::HpglWriter writer(out);
        writer.writePage(page);
        writer.finish();
        return out.str();
    };
    const auto regions = [](const Page& page) {
        std::vector<std::tuple<double, double, double, double, int, int, double, double>> out;
        for (const Region& r : findRegions(page, 5 * kMm)) {
            out.emplace_back(r.x0, r.y0, r.x1, r.y1, r.removed, r.added, r.removedWidthLow,
                             r.addedWidthLow);
        }
        return out;
    };
    ASSERT_FALSE(regions(result.page).empty());
    const auto folded = [](Page page) {
        for (std::size_t i = 1; i < page.paths.size(); ++i) {
            if (drawing::tracesFill(page.paths[i], page.paths[i - 1])) {
                page.paths[i].points.clear();
                page.paths[i].subpathStarts.clear();
            }
        }
        return page;
    };
    second.paths = {stays, staysEdge, moved, movedEdge, line({10 * kMm, 0}, {12 * kMm, 0})};
    ASSERT_TRUE(folded(second).paths[3].points.empty());
    for (const bool taken : {false, true}) {
        const Result again = taken ? compareVectors(folded(first), folded(second), options)
                                   : compare(folded(first), folded(second));
        EXPECT_EQ(std::count_if(again.page.paths.begin(), again.page.paths.end(),
                                [](const Path& path) { return path.points.empty(); }),
                  3)
            << taken;
        Page unfolded = again.page;
        drawing::unfoldFillEdges(unfolded);
        EXPECT_EQ(unfolded, result.page) << taken;
        EXPECT_EQ(regions(again.page), regions(result.page)) << taken;
        EXPECT_EQ(written(again.page), written(result.page)) << taken;
        EXPECT_EQ(again.fills.removed, result.fills.removed);
        EXPECT_NEAR(again.lines.unchanged, result.lines.unchanged, 1e-9);
        EXPECT_NEAR(again.lines.added, result.lines.added, 1e-9);
    }
    drawing::Raster scan;
    scan.dpi = 100;
    scan.width = scan.height = 40;
    scan.origin = {30 * kMm, 10 * kMm};
    scan.pixels.assign(40 * 40, 255);
    first.rasters = {scan};
    Result image;
    Result foldedImage;
    std::string error;
    ASSERT_TRUE(comparePages(Page(first), Page(second), options, image, error)) << error;
    ASSERT_TRUE(comparePages(folded(first), folded(second), options, foldedImage, error)) << error;
    ASSERT_FALSE(image.page.rasters.empty());
    EXPECT_EQ(foldedImage.page, image.page);
}

// A page the comparison may take gives up its edges without points while
// it is compared, and its fills carry them: the result is the page a copy
// gives, to the last bit of every length. Letters in more colours than the
// comparison carries keep their edges on the page, and the two kinds mix.
TEST_F(CompareTest, EdgesOfATakenPageComeBackJustAfterTheirFills) {
    const auto letter = [](double x, double y, drawing::Rgb color, bool ownPoints, bool evenOdd) {
        Path fill;
        fill.filled = true;
        fill.closed = true;
        fill.points = {{x, y}, {x + 2 * kMm, y}, {x + 2.5 * kMm, y + 3 * kMm}, {x, y + 3 * kMm}};
        fill.stroke.widthMm = 0;
        fill.stroke.color = color;
        fill.stroke.pen = 2;
        Path edge = fill;
        edge.filled = false;
        edge.stroke.pen = 3;
        edge.evenOdd = evenOdd;
        if (!ownPoints) {
            edge.points.clear();
        }
        return std::pair{fill, edge};
    };
    Page first;
    Page second;
    // Letters edged twice, first on the page: the second edge follows the
    // first, not the fill, with or without points of its own.
    for (const bool ownPoints : {false, true}) {
        const double y = ownPoints ? -10 * kMm : -20 * kMm;
        const auto [fill, edge] = letter(0, y, 0x123456, false, true);
        const auto [sameFill, twice] = letter(0, y, 0x123456, ownPoints, true);
        first.paths.insert(first.paths.end(), {fill, edge, twice});
        second.paths.insert(second.paths.end(), {fill, edge});
    }
    for (int k = 0; k < 90; ++k) {
        // Eighty colours, the last ten letters in the first colours again;
        // every seventh edge with points of its own, every other one drawn
        // by the other rule.
        const auto color = static_cast<drawing::Rgb>(0x010203 * (k % 80));
        const double x = (k % 10) * 4 * kMm;
        const double y = (k / 10) * 5 * kMm;
        const auto [fill, edge] = letter(x, y, color, k % 7 == 0, k % 2 == 0);
        first.paths.push_back(fill);
        first.paths.push_back(edge);
        // A third of the letters moved on the second page, and a line
        // crossing a fourth of them.
        const auto [moved, movedEdge] =
            letter(k % 3 == 0 ? x + kMm : x, y, color, k % 7 == 0, k % 2 == 0);
        second.paths.push_back(moved);
        second.paths.push_back(movedEdge);
        if (k % 4 == 0) {
            second.paths.push_back(line({x, y + kMm}, {x + 3 * kMm, y + kMm}));
        }
    }
    // An outline without points after a line is no edge, and stays one.
    first.paths.push_back(line({0, -kMm}, {kMm, -kMm}));
    Path stray;
    stray.closed = true;
    stray.stroke.widthMm = 0;
    first.paths.push_back(stray);

    const Result copied = compare(first, second);
    ASSERT_GT(copied.fills.removed, 0);
    ASSERT_GT(copied.fills.unchanged, 0);
    Result taken = compareVectors(Page(first), Page(second), options);
    EXPECT_EQ(taken.page, copied.page);
    EXPECT_EQ(taken.fills, copied.fills);
    EXPECT_EQ(taken.lines, copied.lines);
    // Every edge just after its fill, in its colour and with its own pen.
    std::size_t edges = 0;
    for (std::size_t i = 1; i < taken.page.paths.size(); ++i) {
        const Path& path = taken.page.paths[i];
        if (!path.filled && path.points.empty() && path.closed && path.stroke.widthMm == 0 &&
            taken.page.paths[i - 1].filled) {
            ++edges;
            EXPECT_EQ(path.stroke.color, taken.page.paths[i - 1].stroke.color) << i;
        }
    }
    // The first page's 79 letters with edges without points (two of them
    // edged twice), and the 25 of them among the 30 that moved on the second.
    EXPECT_EQ(edges, 79U + 25U);
}

// "1nF" became "100pF" in place: the old label is lifted above the new one
// and struck through, so that neither hides the other.
// Where several new labels could stand in a removed one's place, the
// first of them on the page takes it, wherever it lies; labels with a
// coordinate that is not a number stand in no place.
TEST_F(CompareTest, TheFirstNewLabelInPlaceTakesTheOldOnesPlace) {
    drawing::Text value;
    value.origin = {1000, 1000};
    value.text = "1nF";
    value.charWidth = 1.5 * kMm;
    value.charHeight = 2.5 * kMm;
    Page first;
    first.texts = {value};
    for (const bool nanFirst : {false, true}) {
        Page second;
        for (const auto& [text, x] : {std::pair{"C1", nanFirst ? std::nan("") : 1030.0},
                                      std::pair{"B1", 1010.0}, std::pair{"A1", 990.0}}) {
            drawing::Text now = value;
            now.text = text;
            now.origin.x = x;
            second.texts.push_back(now);
        }
        const Result result = compare(first, second);
        ASSERT_EQ(result.page.texts.size(), 4u);
        const drawing::Text& old = result.page.texts[0];
        EXPECT_EQ(old.text, "1nF");
        EXPECT_DOUBLE_EQ(old.origin.x, nanFirst ? 1010.0 : 1030.0);
        EXPECT_GT(old.origin.y, value.origin.y);
        EXPECT_EQ(result.texts.added, 3);
    }
}

TEST_F(CompareTest, LabelChangedInPlaceShowsBothTexts) {
    drawing::Text value;
    value.origin = {100, 100};
    value.text = "1nF";
    value.charWidth = 1.5 * kMm;
    value.charHeight = 2.5 * kMm;
    Page first;
    first.texts = {value};
    Page second;
    value.text = "100pF";
    second.texts = {value};
    const Result result = compare(first, second);
    ASSERT_EQ(result.page.texts.size(), 2u);
    const drawing::Text& old = result.page.texts[0];
    const drawing::Text& now = result.page.texts[1];
    EXPECT_EQ(old.text, "1nF");
    EXPECT_EQ(old.stroke.color, options.removedColor);
    EXPECT_EQ(now.text, "100pF");
    EXPECT_EQ(now.stroke.color, options.addedColor);
    EXPECT_EQ(now.origin, value.origin);
    EXPECT_DOUBLE_EQ(old.origin.x, now.origin.x);
    EXPECT_GE(old.origin.y - now.origin.y, 1.2 * value.charHeight);
    ASSERT_EQ(result.page.paths.size(), 1u);
    const Path& strike = result.page.paths[0];
    EXPECT_EQ(strike.stroke.layer, drawing::Layer::marks);
    EXPECT_EQ(strike.stroke.color, options.removedColor);
    EXPECT_GT(strike.points[0].y, old.origin.y);
    EXPECT_LT(strike.points[0].y, old.origin.y + value.charHeight);
    EXPECT_EQ(result.texts.removed, 1);
    EXPECT_EQ(result.texts.added, 1);

    // A label that moved away is no change in place: it stays where it was.
    second.texts[0].origin = {100 + 20 * kMm, 100};
    const Result moved = compare(first, second);
    EXPECT_EQ(moved.page.texts[0].origin, first.texts[0].origin);
    EXPECT_TRUE(moved.page.paths.empty());
}

// A title at the top edge of its sheet: set above its successor, the old
// one and its region's box would leave the sheet, so it goes below; lower
// on the sheet it stays above, and so on a page that gives no size.
TEST_F(CompareTest, AReplacedLabelAtTheSheetsTopEdgeGoesBelowItsSuccessor) {
    drawing::Text title;
    title.text = "Plan";
    title.charWidth = 5 * kMm;
    title.charHeight = 7 * kMm;
    title.labelOrigin = 1;
    for (const double y : {280.0, 200.0}) {
        for (const bool sized : {true, false}) {
            SCOPED_TRACE(std::to_string(y) + (sized ? " mm, A3" : " mm, no size"));
            Page first;
            Page second;
            if (sized) {
                first.width = second.width = 420 * kMm;
                first.height = second.height = 297 * kMm;
            }
            title.origin = {210 * kMm, y * kMm};
            first.texts = {title};
            drawing::Text now = title;
            now.text = "Profile";
            second.texts = {now};
            const Result result = compare(first, second);
            ASSERT_EQ(result.page.texts.size(), 2u);
            const drawing::Text& old = result.page.texts[0];
            const bool below = sized && y > 250;
            if (below) {
                EXPECT_LE(old.origin.y, now.origin.y - 1.2 * title.charHeight);
            } else {
                EXPECT_GE(old.origin.y, now.origin.y + 1.2 * title.charHeight);
            }
            // Struck through where it now stands.
            ASSERT_EQ(result.page.paths.size(), 1u);
            EXPECT_GT(result.page.paths[0].points[0].y, old.origin.y);
            EXPECT_LT(result.page.paths[0].points[0].y, old.origin.y + title.charHeight);
        }
    }
}

}  // namespace
}  // namespace sandrel
