#include "drawing/small_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "drawing/page.h"

namespace drawing {
namespace {

// A path's short lists behave as the vectors they stand for: values kept
// through growth, copies independent, insertion anywhere, equality with a
// vector either way round.
TEST(SmallList, HoldsWhatAVectorWould) {
    SmallList<std::size_t> list;
    std::vector<std::size_t> model;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
    for (std::size_t i = 0; i < 1000; ++i) {
        list.push_back(i * 7);
        model.push_back(i * 7);
    }
    EXPECT_EQ(list, model);
    EXPECT_EQ(model, list);
    EXPECT_EQ(std::vector<std::size_t>(list), model);

    // An element of its own pushed when the list must grow: the value, not
    // what its old place holds once the room has moved.
    SmallList<double> dash{1.5, 2.5, 3.5, 4.5};
    ASSERT_EQ(dash.capacity(), 4u);
    dash.push_back(dash[0]);
    EXPECT_EQ(dash, (std::vector<double>{1.5, 2.5, 3.5, 4.5, 1.5}));

    // Copies go their own ways; a moved list is left empty.
    SmallList<double> copy = dash;
    copy[0] = 9;
    copy.push_back(8);
    EXPECT_EQ(dash.size(), 5u);
    EXPECT_EQ(dash[0], 1.5);
    EXPECT_FALSE(copy == dash);
    SmallList<double> moved = std::move(copy);
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): what a move leaves
    EXPECT_EQ(moved.back(), 8);
    moved = dash;
    EXPECT_EQ(moved, dash);

    // Insertion at the front, in the middle and at the end, from a vector
    // and from a copy of itself (an odd dash pattern doubled).
    SmallList<std::size_t> starts{4, 9};
    const std::vector<std::size_t> front{1, 2};
    starts.insert(starts.begin(), front.begin(), front.end());
    starts.insert(starts.begin() + 3, front.begin(), front.begin() + 1);
    EXPECT_EQ(starts, (std::vector<std::size_t>{1, 2, 4, 1, 9}));
    const SmallList<std::size_t> again = starts;
    starts.insert(starts.end(), again.begin(), again.end());
    EXPECT_EQ(starts, (std::vector<std::size_t>{1, 2, 4, 1, 9, 1, 2, 4, 1, 9}));
    SmallList<std::size_t> none;
    none.insert(none.end(), front.begin(), front.begin());
    EXPECT_TRUE(none.empty());

    // Cleared, it keeps its room as a vector does; given {}, it lets go.
    starts.clear();
    EXPECT_TRUE(starts.empty());
    EXPECT_GE(starts.capacity(), 10u);
    starts = {};
    EXPECT_EQ(starts.capacity(), 0u);
    starts = model;
    EXPECT_EQ(starts.size(), 1000u);
    EXPECT_EQ(starts[999], 999u * 7);
}

// A page holds hundreds of thousands of paths, most of them with neither
// a dash pattern nor a hole: each is its points' list and a few bytes.
TEST(SmallList, KeepsAPathSmall) {
    EXPECT_LE(sizeof(Path), 72u);
    Path a;
    a.points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {2, 2}, {4, 2}, {4, 4}};
    a.subpathStarts = {4};
    a.stroke.dashMm = {2, 1};
    Path b = a;
    EXPECT_EQ(a, b);
    b.subpathStarts[0] = 5;
    EXPECT_NE(a, b);
    b = a;
    b.stroke.dashMm.push_back(0.5);
    EXPECT_NE(a, b);
}

// A point is two floats. Made of doubles, it takes the nearest floats; a
// finite number beyond their range the largest (converting it as it is would
// be undefined), while infinities and NaN stay what they are, so that a point
// without a place keeps none.
TEST(PagePoint, TakesTheNearestFloatsAndNeverAnUndefinedOne) {
    EXPECT_EQ(sizeof(Point), 8u);
    const Point near{0.1, 16777217.0};
    EXPECT_EQ(near.x, 0.1f);
    EXPECT_EQ(near.y, 16777216.0f);  // 2^24 + 1 is the first whole unit a float cannot hold
    constexpr float kLargest = std::numeric_limits<float>::max();
    EXPECT_EQ((Point{1e39, -1e300}), (Point{kLargest, -kLargest}));
    const double inf = std::numeric_limits<double>::infinity();
    const Point far{inf, -inf};
    EXPECT_TRUE(std::isinf(far.x) && far.x > 0);
    EXPECT_TRUE(std::isinf(far.y) && far.y < 0);
    EXPECT_TRUE(std::isnan(Point(std::nan(""), 0).x));
}

}  // namespace
}  // namespace drawing
