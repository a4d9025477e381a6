// The comparison's shortcuts (exact copies found by hashing, a grid of only
// the segments near the rest, both sides at once) must give the very answer
// of the plain search: the same result page and the same tallies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "sandrel/compare.h"
#include "sandrel/segment_set.h"
#include "sandrel/testgen.h"
#include "test_pages.h"

namespace sandrel {
namespace {

using drawing::Page;

void expectSameAnswer(const Page& a, const Page& b, const std::string& what) {
    Options fast;
    Options plain;
    plain.shortcuts = false;
    plain.threads = false;
    const Result x = compareVectors(a, b, fast);
    const Result y = compareVectors(a, b, plain);
    EXPECT_TRUE(x.page == y.page) << what;
    EXPECT_EQ(x.lines.unchanged, y.lines.unchanged) << what;
    EXPECT_EQ(x.lines.removed, y.lines.removed) << what;
    EXPECT_EQ(x.lines.added, y.lines.added) << what;
    EXPECT_EQ(x.fills.unchanged, y.fills.unchanged) << what;
    EXPECT_EQ(x.fills.removed, y.fills.removed) << what;
    EXPECT_EQ(x.fills.added, y.fills.added) << what;
    EXPECT_EQ(x.texts.removed, y.texts.removed) << what;
    EXPECT_EQ(x.changed, y.changed) << what;
}

// Entering many segments at once (slots fetched ahead) must find the same
// repeats, in the same order, as entering them one by one: drawn either way
// round, on another layer, or in runs longer than the look-ahead.
TEST(FastPaths, SegmentsEnteredTogetherFindTheSameRepeats) {
    std::vector<Segment> segments;
    for (std::uint32_t k = 0; k < 200; ++k) {
        const double x = static_cast<double>(k % 37);
        const double y = k % 3 == 0 ? 0.0 : -0.0;
        if (k % 5 == 1) {
            segments.push_back({{x + 1, 2}, {x, y}, 0});  // reversed
        } else {
            segments.push_back({{x, y}, {x + 1, 2}, k % 7 == 0 ? 1u : 0u});
        }
    }
    std::vector<std::uint32_t> order(segments.size());
    for (std::uint32_t k = 0; k < order.size(); ++k) {
        order[k] = (k * 73) % 200;
    }
    SegmentSet one(segments, segments.size());
    std::vector<std::pair<std::uint32_t, bool>> expected;
    for (const auto i : order) {
        expected.emplace_back(i, one.insert(i));
    }
    SegmentSet all(segments, segments.size());
    std::vector<std::pair<std::uint32_t, bool>> got;
    all.insertAll(
        order.size(), [&](std::size_t k) { return order[k]; },
        [&](std::uint32_t i, bool fresh) { got.emplace_back(i, fresh); });
    EXPECT_EQ(got, expected);
    const auto fresh = std::count_if(got.begin(), got.end(), [](auto& e) { return e.second; });
    EXPECT_GT(fresh, 37);
    EXPECT_LT(fresh, 200);
    for (const auto& s : segments) {
        EXPECT_EQ(all.find(s) != SegmentSet::kNone, true);
    }
    EXPECT_EQ(all.find({{500, 0}, {501, 2}, 0}), SegmentSet::kNone);
    // Fewer segments than the look-ahead.
    SegmentSet few(segments, 3);
    std::vector<std::uint32_t> firstThree;
    few.insertAll(
        3, [](std::size_t k) { return static_cast<std::uint32_t>(k); },
        [&](std::uint32_t i, bool isNew) {
            if (isNew) {
                firstThree.push_back(i);
            }
        });
    EXPECT_EQ(firstThree, (std::vector<std::uint32_t>{0, 1, 2}));
}

// A revision drawn again at another scale has hardly a segment as it was:
// nearly every segment goes through the search, and the answer must not
// change, whether none or a few of the paths stayed where they were.
TEST(FastPaths, PagesRedrawnAtAnotherScaleGiveThePlainAnswer) {
    const auto pair = makePair(30000, 0.2, 4);
    Page scaled = pair.variant;
    for (auto& path : scaled.paths) {
        for (auto& p : path.points) {
            p = {p.x * 0.97 + 40, p.y * 0.97 + 25};
        }
    }
    expectSameAnswer(pair.base, scaled, "scaled");
    expectSameAnswer(scaled, pair.base, "scaled, reversed");
    Page someKept = scaled;
    for (std::size_t i = 0; i < someKept.paths.size() && i < pair.variant.paths.size(); i += 25) {
        someKept.paths[i] = pair.variant.paths[i];
    }
    expectSameAnswer(pair.base, someKept, "a few paths kept");
}

TEST(FastPaths, GeneratedPairsGiveThePlainAnswer) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const auto pair = makePair(30000, 0.2, seed);
        expectSameAnswer(pair.base, pair.variant, "lines, seed " + std::to_string(seed));
        const auto dense = makeDensePair(40000, seed);
        expectSameAnswer(dense.base, dense.variant, "dense, seed " + std::to_string(seed));
        expectSameAnswer(dense.variant, dense.base, "dense reversed");
    }
}

// Lines drawn over and over (the same way, the other way round, as part of a
// polyline) near lines that moved: the shortcuts drop the repeats from the
// grid as the plain search does, diagonals that round differently when
// reversed included.
TEST(FastPaths, RepeatedLinesGiveThePlainAnswer) {
    Page a;
    a.width = 400 * test::kMm;
    a.height = 300 * test::kMm;
    Page b = a;
    for (int k = 0; k < 400; ++k) {
        const double x = 3.1 * k + 0.1 * (k % 7);
        const drawing::Point p{x * test::kMm / 3, (k % 13) * 7.3 * test::kMm / 3};
        const drawing::Point q{p.x + 9.7 * test::kMm / 3, p.y + (k % 5) * 3.3 * test::kMm / 3};
        a.paths.push_back(test::line(p, q));
        if (k % 3 == 0) {
            a.paths.push_back(test::line(q, p));
        }
        if (k % 4 == 0) {
            drawing::Path poly;
            poly.points = {p, q, {q.x, q.y + test::kMm}};
            a.paths.push_back(poly);
        }
        // The other page: most lines as they were, some moved just beyond
        // the tolerance, in another order, and repeated in its own way.
        const double shift = k % 6 == 0 ? 0.6 * test::kMm : 0.0;
        b.paths.push_back(test::line({q.x + shift, q.y}, {p.x + shift, p.y}));
        if (k % 2 == 0) {
            b.paths.push_back(test::line(p, q));
        }
    }
    std::reverse(b.paths.begin(), b.paths.end());
    expectSameAnswer(a, b, "repeated lines");
    expectSameAnswer(b, a, "repeated lines, the other way");
}

// A page of text drawn as glyph outlines: each glyph a filled polygon of
// two outlines (the second starting on a point of the first, so that the
// buffer holds a dot where it begins) and then the same polygon again
// edged, some glyphs drawn twice and some the other way round. Every
// coordinate is a whole plotter unit, as on a real plot.
Page glyphPage(unsigned seed, int glyphs) {
    unsigned state = seed * 2654435761u + 12345u;
    const auto next = [&](int range) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<unsigned>(range));
    };
    Page page;
    page.width = 297 * test::kMm;
    page.height = 210 * test::kMm;
    for (int g = 0; g < glyphs; ++g) {
        const double x = 400 + (g % 120) * 90;
        const double y = 400 + (g / 120) * 110;
        drawing::Path fill;
        fill.filled = true;
        fill.closed = true;
        const int corners = 5 + next(8);
        for (int k = 0; k < corners; ++k) {
            const double a = 6.283185307179586 * k / corners;
            fill.points.push_back({x + std::round(30 * std::cos(a)) + next(5),
                                   y + std::round(40 * std::sin(a)) + next(5)});
        }
        fill.subpathStarts.push_back(fill.points.size());
        const drawing::Point hole{x + 2, y};
        fill.points.push_back(hole);
        fill.points.push_back(hole);
        fill.points.push_back({x + 12, y + 3});
        fill.points.push_back({x + 7, y + 15});
        if (g % 7 == 3) {
            std::reverse(fill.points.begin(), fill.points.end());
            fill.subpathStarts = {fill.points.size() - corners};
        }
        drawing::Path edge = fill;
        edge.filled = false;
        edge.stroke.widthMm = 0.1;
        page.paths.push_back(fill);
        page.paths.push_back(edge);
        if (g % 11 == 5) {
            page.paths.push_back(fill);
            page.paths.push_back(edge);
        }
    }
    return page;
}

// The same page moved by whole units, in another order, or partly moved:
// with hardly any exact copy the search does without the set of them, and
// the grid leaves out the repeats itself (glyphs drawn twice, either way
// round, and the dots where outlines begin); with copies out of order it
// uses the set. Either way the answer is the plain one.
TEST(FastPaths, GlyphOutlinePagesGiveThePlainAnswer) {
    const Page base = glyphPage(1, 2400);
    const auto moved = [&](int dx, int dy, int every) {
        Page page = base;
        for (std::size_t i = 0; i < page.paths.size(); ++i) {
            if (every != 0 && (i / 2) % static_cast<std::size_t>(every) != 0) {
                continue;
            }
            for (auto& p : page.paths[i].points) {
                p = {p.x + dx, p.y + dy};
            }
        }
        return page;
    };
    // Shifted within the tolerance, and beyond it.
    expectSameAnswer(base, moved(3, -5, 0), "shifted by a little");
    expectSameAnswer(moved(26, -127, 0), base, "shifted far");
    // A glyph in three left where it was: fewer copies than pay for a set.
    expectSameAnswer(base, moved(9, 2, 3), "two thirds moved");
    // Every path a copy, in reverse order: the set finds them all.
    Page reversed = base;
    std::reverse(reversed.paths.begin(), reversed.paths.end());
    expectSameAnswer(base, reversed, "in reverse order");
    // Against another page of glyphs altogether.
    expectSameAnswer(base, glyphPage(2, 2000), "other glyphs");
}

// Glyph-sized fills that no fill of the other page matches in box are
// changed whatever covers them, and need no segments unless a matched fill
// of the other page looks them up. Here a letter's right side is covered
// only by such a fill of the other page, and the notch of its match only
// by one of its own page: both must stay in the search, and letters far
// from any matched fill may go. The answer is the plain one either way
// round, the letter unchanged.
TEST(FastPaths, UnmatchedFillsNearMatchedOnesGiveThePlainAnswer) {
    const auto fill = [](std::vector<drawing::Point> points) {
        drawing::Path path;
        path.filled = true;
        path.closed = true;
        path.points = std::move(points);
        return path;
    };
    const auto box = [&](double x0, double y0, double x1, double y1) {
        return fill({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
    };
    Page a;
    a.width = 100 * test::kMm;
    a.height = 100 * test::kMm;
    Page b = a;
    // The letter, and its match with a notch in its right side.
    a.paths.push_back(box(0, 0, 80, 80));
    b.paths.push_back(
        fill({{0, 0}, {80, 0}, {80, 10}, {60, 10}, {60, 70}, {80, 70}, {80, 80}, {0, 80}}));
    // What covers the notch, on the letter's page; what covers the letter's
    // right side from just beside it, on its match's page. Neither has a
    // match of its own.
    a.paths.push_back(box(60, 10, 80, 70));
    b.paths.push_back(box(84, 10, 88, 70));
    // Unmatched letters far from it all.
    for (int k = 0; k < 40; ++k) {
        a.paths.push_back(box(1000 + 100 * k, 2000, 1060 + 100 * k, 2080));
        b.paths.push_back(box(1030 + 100 * k, 2500, 1090 + 100 * k, 2570));
    }
    expectSameAnswer(a, b, "unmatched fills near matched ones");
    expectSameAnswer(b, a, "unmatched fills near matched ones, the other way");
    const Result result = compareVectors(a, b, Options{});
    EXPECT_EQ(result.fills.unchanged, 1);
    EXPECT_EQ(result.fills.removed, 41);
    EXPECT_EQ(result.fills.added, 41);
}

// The grid keeps only the first of equal segments (the same two ends, either
// way round, and the same layer): a query visits that one, once, and no
// later copy, whatever the share of repeats and however many segments share
// a bit of the table that picks the suspects.
TEST(FastPaths, GridVisitsOnlyTheFirstOfEqualSegments) {
    for (const int repeatEvery : {2, 5, 50, 1000000}) {
        std::vector<Segment> segments;
        std::vector<std::uint32_t> firstOf;
        unsigned state = 7u + static_cast<unsigned>(repeatEvery);
        const auto next = [&](int range) {
            state = state * 1664525u + 1013904223u;
            return static_cast<int>((state >> 8) % static_cast<unsigned>(range));
        };
        for (std::uint32_t k = 0; k < 30000; ++k) {
            if (k > 0 && next(repeatEvery) == 0) {
                const std::uint32_t of = static_cast<std::uint32_t>(next(static_cast<int>(k)));
                Segment copy = segments[of];
                if (next(2) == 0) {
                    std::swap(copy.pa, copy.pb);
                }
                segments.push_back(copy);
                firstOf.push_back(firstOf[of]);
                continue;
            }
            const drawing::Point a{static_cast<double>(next(4000)),
                                   static_cast<double>(next(3000))};
            const drawing::Point b =
                next(9) == 0 ? a : drawing::Point{a.x + next(41) - 20, a.y + next(41) - 20};
            segments.push_back({Segment{a, b, static_cast<std::uint32_t>(next(3))}});
            firstOf.push_back(k);
        }
        // A drawn segment may happen to equal an earlier one too.
        std::map<std::tuple<float, float, float, float, std::uint32_t>, std::uint32_t> first;
        for (std::uint32_t k = 0; k < segments.size(); ++k) {
            const auto& s = segments[k];
            const std::pair p{s.pa.x, s.pa.y};
            const std::pair q{s.pb.x, s.pb.y};
            const auto& low = std::min(p, q);
            const auto& high = std::max(p, q);
            const auto key = std::tuple{low.first, low.second, high.first, high.second, s.layer};
            firstOf[k] = first.try_emplace(key, k).first->second;
        }
        BasicSegmentGrid<Segment> grid(segments, 8.0);
        for (std::uint32_t q = 0; q < segments.size(); ++q) {
            const std::uint32_t k = q;
            bool sawFirst = false;
            bool sawRepeat = false;
            std::vector<std::uint32_t> seen;
            grid.forCandidates(segments[k], [&](std::uint32_t i) {
                sawFirst = sawFirst || i == firstOf[k];
                sawRepeat = sawRepeat || firstOf[i] != i;
                seen.push_back(i);
                return true;
            });
            std::sort(seen.begin(), seen.end());
            ASSERT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end())
                << "a segment visited twice, query " << q;
            ASSERT_TRUE(sawFirst) << "segment " << k << ", one in " << repeatEvery;
            ASSERT_FALSE(sawRepeat) << "segment " << k << ", one in " << repeatEvery;
        }
        // A query, 65534 queries elsewhere, and the first one again: the
        // grid tells that many queries apart, and its marks of the first
        // one must not hide anything from the last.
        const auto candidates = [&](std::uint32_t k) {
            std::vector<std::uint32_t> out;
            grid.forCandidates(segments[k], [&](std::uint32_t i) {
                out.push_back(i);
                return true;
            });
            std::sort(out.begin(), out.end());
            return out;
        };
        const std::vector<std::uint32_t> before = candidates(0);
        std::uint32_t elsewhere = 1;
        for (std::vector<std::uint32_t> other = candidates(elsewhere);
             std::find_first_of(other.begin(), other.end(), before.begin(), before.end()) !=
             other.end();
             other = candidates(++elsewhere)) {
        }
        const std::vector<std::uint32_t> again = candidates(0);
        for (int q = 0; q < 65534; ++q) {
            grid.forCandidates(segments[elsewhere], [](std::uint32_t) { return true; });
        }
        EXPECT_EQ(candidates(0), again) << "one in " << repeatEvery;
    }
}

// A few lines moved in one corner of a large sheet, the rest exact copies:
// the grid takes only the segments near the moved ones, and the answer is
// still the plain one.
TEST(FastPaths, AChangeInOneCornerGivesThePlainAnswer) {
    const auto pair = makePair(30000, 0.2, 6);
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (const auto& path : pair.base.paths) {
        for (const auto& p : path.points) {
            x0 = std::min<double>(x0, p.x);
            y0 = std::min<double>(y0, p.y);
            x1 = std::max<double>(x1, p.x);
            y1 = std::max<double>(y1, p.y);
        }
    }
    for (const auto& [cornerX, cornerY] : {std::pair{0.0, 0.0}, std::pair{0.9, 0.9}}) {
        Page moved = pair.base;
        int count = 0;
        for (auto& path : moved.paths) {
            const bool inCorner = std::all_of(path.points.begin(), path.points.end(), [&](auto& p) {
                return p.x >= x0 + cornerX * (x1 - x0) && p.x <= x0 + (cornerX + 0.1) * (x1 - x0) &&
                       p.y >= y0 + cornerY * (y1 - y0) && p.y <= y0 + (cornerY + 0.1) * (y1 - y0);
            });
            if (inCorner && ++count % 2 == 0) {
                for (auto& p : path.points) {
                    p.x += 0.6 * test::kMm;
                }
            }
        }
        ASSERT_GT(count, 10);
        EXPECT_TRUE(compareVectors(pair.base, moved, Options{}).differ());
        expectSameAnswer(pair.base, moved, "corner " + std::to_string(cornerX));
        expectSameAnswer(moved, pair.base, "corner, the other way");
    }
}

// Comparing pages the caller gives up (their paths move into the result)
// gives the answer of comparing them as they stay: fills and outlines,
// covered, changed and partly changed, with regions.
TEST(FastPaths, TakenPagesGiveTheSameAnswer) {
    const auto dense = makeDensePair(40000, 7);
    const auto lines = makePair(20000, 0.2, 4);
    const auto joined = [](const Page& x, const Page& y) {
        Page out = x;
        out.paths.insert(out.paths.end(), y.paths.begin(), y.paths.end());
        return out;
    };
    const Page mixed = joined(dense.base, lines.base);
    const Page mixedVariant = joined(dense.variant, lines.variant);
    for (const auto& [a, b] :
         {std::pair{&dense.base, &dense.variant}, std::pair{&lines.variant, &lines.base},
          std::pair{&mixed, &mixedVariant}}) {
        Result kept;
        Result taken;
        std::string error;
        ASSERT_TRUE(comparePages(*a, *b, Options{}, kept, error)) << error;
        Page first = *a;
        Page second = *b;
        ASSERT_TRUE(comparePages(std::move(first), std::move(second), Options{}, taken, error))
            << error;
        EXPECT_TRUE(kept.differ());
        EXPECT_TRUE(taken.page == kept.page);
        EXPECT_EQ(taken.regions.size(), kept.regions.size());
        EXPECT_EQ(taken.lines.unchanged, kept.lines.unchanged);
        EXPECT_EQ(taken.lines.removed, kept.lines.removed);
        EXPECT_EQ(taken.lines.added, kept.lines.added);
        EXPECT_EQ(taken.fills.unchanged, kept.fills.unchanged);
        EXPECT_EQ(taken.fills.removed, kept.fills.removed);
        EXPECT_EQ(taken.fills.added, kept.fills.added);
    }
}

// Candidates of the grid whose boxes lie farther than the tolerance from a
// segment's are passed over unseen: in every direction, a line just within
// the tolerance beside another still covers it, one just beyond does not,
// and a dot just within the tolerance past its end covers its end.
TEST(FastPaths, LinesJustWithinTheToleranceMeetInEveryDirection) {
    const Options options;
    const double reach = options.toleranceMm * test::kMm;
    const double length = 3 * test::kMm;
    for (int degrees = 0; degrees < 360; degrees += 15) {
        const double angle = degrees * 3.14159265358979323846 / 180;
        const drawing::Point d{std::cos(angle), std::sin(angle)};
        const drawing::Point n{-d.y, d.x};
        const drawing::Point a{1000 + 7 * d.x, 2000 - 3 * d.y};
        const drawing::Point b{a.x + length * d.x, a.y + length * d.y};
        Page first;
        first.paths = {test::line(a, b)};
        const auto beside = [&](double offset) {
            Page page;
            page.paths = {test::line({a.x + offset * n.x, a.y + offset * n.y},
                                     {b.x + offset * n.x, b.y + offset * n.y})};
            return page;
        };
        const std::string what = std::to_string(degrees) + " degrees";
        for (const double side : {1.0, -1.0}) {
            EXPECT_FALSE(compareVectors(first, beside(side * 0.98 * reach), options).differ())
                << what;
            const Result apart = compareVectors(first, beside(side * 1.02 * reach), options);
            EXPECT_NEAR(apart.lines.removed, length, test::kFloatReach) << what;
            EXPECT_EQ(apart.lines.unchanged, 0) << what;
        }
        // A dot past the end, off to one side: it covers the part of the
        // line within the tolerance of it, and nothing else.
        const double past = 0.6 * reach;
        const double off = 0.6 * reach;
        Page dot;
        drawing::Path point;
        point.points = {{b.x + past * d.x + off * n.x, b.y + past * d.y + off * n.y}};
        dot.paths = {point};
        const Result end = compareVectors(first, dot, options);
        const double covered = std::sqrt(reach * reach - off * off) - past;
        EXPECT_NEAR(end.lines.unchanged, covered, test::kFloatReach) << what;
        EXPECT_NEAR(end.lines.removed, length - covered, test::kFloatReach) << what;
    }
}

// Steep crossings are told apart before the length of the other line is
// worked out: a line crossing at just under 25 degrees still covers the
// stretch where it is within the tolerance, one just over does not, in
// every direction and drawn either way.
TEST(FastPaths, CrossingsJustBelowTheSteepestAngleStillCover) {
    const Options options;
    const double length = 10 * test::kMm;
    for (int turn = 0; turn < 360; turn += 30) {
        const double base = turn * 3.14159265358979323846 / 180;
        const drawing::Point a{3000, 2000};
        const drawing::Point b{a.x + length * std::cos(base), a.y + length * std::sin(base)};
        const drawing::Point middle{(a.x + b.x) / 2, (a.y + b.y) / 2};
        Page first;
        first.paths = {test::line(a, b)};
        for (const double degrees : {24.6, 25.4, -24.6, -25.4, 180 - 24.6, 180 - 25.4}) {
            const double angle = base + degrees * 3.14159265358979323846 / 180;
            const drawing::Point d{4 * test::kMm * std::cos(angle),
                                   4 * test::kMm * std::sin(angle)};
            Page second;
            second.paths = {
                test::line({middle.x - d.x, middle.y - d.y}, {middle.x + d.x, middle.y + d.y})};
            const Result result = compareVectors(first, second, options);
            const std::string what =
                std::to_string(turn) + " + " + std::to_string(degrees) + " degrees";
            if (std::abs(std::abs(degrees) - 90) > 90 - 25) {
                EXPECT_GT(result.lines.unchanged, 0) << what;
            } else {
                EXPECT_EQ(result.lines.unchanged, 0) << what;
                EXPECT_NEAR(result.lines.removed, length, test::kFloatReach) << what;
            }
        }
    }
}

TEST(FastPaths, DenseVariantShowsItsKnownChanges) {
    const auto dense = makeDensePair(40000, 5);
    const Result result = compareVectors(dense.base, dense.variant, Options{});
    EXPECT_TRUE(result.differ());
    ASSERT_FALSE(dense.changes.empty());
    // Every changed place holds something red or blue.
    for (const auto& box : dense.changes) {
        bool marked = false;
        for (const auto& path : result.page.paths) {
            if (path.stroke.color == Options{}.unchangedColor) {
                continue;
            }
            for (const auto& p : path.points) {
                marked = marked || (p.x >= box.x0 - 1 && p.x <= box.x1 + 1 && p.y >= box.y0 - 1 &&
                                    p.y <= box.y1 + 1);
            }
        }
        for (const auto& t : result.page.texts) {
            marked = marked || (t.stroke.color != Options{}.unchangedColor &&
                                t.origin.x >= box.x0 - 1 && t.origin.x <= box.x1 + 1);
        }
        EXPECT_TRUE(marked) << box.x0 << "," << box.y0;
    }
    // An unchanged page is unchanged.
    EXPECT_FALSE(compareVectors(dense.base, dense.base, Options{}).differ());
}

TEST(FastPaths, SampleDrawingsGiveThePlainAnswer) {
    namespace fs = std::filesystem;
    const fs::path samples = fs::path(MERVIK_SAMPLES_DIR) / "hpgl";
    int compared = 0;
    for (const auto* name : {"hp2xx/spectrum.plt", "hp2xx/inter.hp", "hp2xx/acad.hp",
                             "hp2xx/fill.plt", "hpgl-rendering/test.plt"}) {
        std::vector<Page> pages;
        drawing::ReadError error;
        ASSERT_TRUE(drawing::readHpglFile(
            (samples / name).string(),
            [&](Page&& p) { return pages.push_back(std::move(p)), true; }, error))
            << name << ": " << error.message;
        for (const auto& page : pages) {
            // Against itself, and against a copy with every third path moved
            // by a little more than the tolerance and every fifth left out.
            Page changed = page;
            changed.paths.clear();
            for (std::size_t i = 0; i < page.paths.size(); ++i) {
                if (i % 5 == 4) {
                    continue;
                }
                auto path = page.paths[i];
                if (i % 3 == 0) {
                    for (auto& p : path.points) {
                        p.x += 10;
                    }
                }
                changed.paths.push_back(std::move(path));
            }
            expectSameAnswer(page, page, name);
            expectSameAnswer(page, changed, name);
            ++compared;
        }
    }
    EXPECT_GE(compared, 5);
}

}  // namespace
}  // namespace sandrel
