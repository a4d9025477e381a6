#include "drawing/clip.h"

#include <gtest/gtest.h>

namespace drawing {
namespace {

const Point kLo{0, 0}, kHi{10, 10};

TEST(Clip, SegmentsAreCutToTheBox) {
    Point a{-5, 5}, b{15, 5};
    ASSERT_TRUE(clipSegment(a, b, kLo, kHi));
    EXPECT_DOUBLE_EQ(a.x, 0);
    EXPECT_DOUBLE_EQ(b.x, 10);

    // Inside stays as it is; outside, also beside a corner, is gone.
    a = {2, 3}, b = {4, 5};
    ASSERT_TRUE(clipSegment(a, b, kLo, kHi));
    EXPECT_DOUBLE_EQ(a.x, 2);
    EXPECT_DOUBLE_EQ(b.y, 5);
    a = {11, -1}, b = {20, 5};
    EXPECT_FALSE(clipSegment(a, b, kLo, kHi));
    a = {-3, 8}, b = {3, 14};  // passes the corner (0,10) outside the box
    EXPECT_FALSE(clipSegment(a, b, kLo, kHi));
    // A vertical segment on the box's edge is kept.
    a = {10, -2}, b = {10, 4};
    ASSERT_TRUE(clipSegment(a, b, kLo, kHi));
    EXPECT_DOUBLE_EQ(a.y, 0);
}

TEST(Clip, PolygonsKeepTheirAreaInsideTheBox) {
    auto area = [](const std::vector<Point>& p) {
        double s = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const Point& a = p[i];
            const Point& b = p[(i + 1) % p.size()];
            s += a.x * b.y - b.x * a.y;
        }
        return s / 2;
    };
    // A square over the corner keeps its quarter inside.
    const auto cut = clipPolygon({{5, 5}, {15, 5}, {15, 15}, {5, 15}}, kLo, kHi);
    EXPECT_DOUBLE_EQ(area(cut), 25);
    // Wholly inside: unchanged; wholly outside: nothing.
    const std::vector<Point> inside{{1, 1}, {4, 1}, {4, 3}};
    EXPECT_EQ(clipPolygon(inside, kLo, kHi).size(), 3u);
    EXPECT_LT(clipPolygon({{20, 20}, {30, 20}, {30, 30}}, kLo, kHi).size(), 3u);
    // A box larger than the clip box becomes the clip box.
    EXPECT_DOUBLE_EQ(area(clipPolygon({{-5, -5}, {20, -5}, {20, 20}, {-5, 20}}, kLo, kHi)), 100);
}

}  // namespace
}  // namespace drawing
