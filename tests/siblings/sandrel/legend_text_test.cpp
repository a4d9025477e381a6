// The legend's lines in any script: a changed label keeps its new text
// (wrapped rather than cut away), and what is shortened is shortened in
// whole characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drawing/utf8.h"
#include "sandrel/compare.h"
#include "sandrel/marks.h"
#include "test_pages.h"

namespace sandrel {
namespace {

using drawing::Layer;
using drawing::Page;
using drawing::Point;
using test::kMm;

drawing::Text label(const std::string& s, Point at) {
    drawing::Text t;
    t.origin = at;
    t.text = s;
    t.charWidth = 1.5 * kMm;
    t.charHeight = 2.5 * kMm;
    return t;
}

// The legend's lines of a comparison of two one-label sheets.
std::vector<std::string> legendOf(const std::string& before, const std::string& after,
                                  const std::string& name = "plan.hgl") {
    Page first;
    first.width = 297 * kMm;
    first.height = 210 * kMm;
    first.texts = {label(before, {40 * kMm, 20 * kMm})};
    Page second = first;
    second.texts = {label(after, {40 * kMm, 20 * kMm})};
    Result result;
    std::string error;
    EXPECT_TRUE(comparePages(first, second, Options{}, result, error)) << error;
    LegendInfo info;
    info.firstName = name;
    info.secondName = name;
    addMarks(result, info, Options{});
    std::vector<std::string> lines;
    for (const auto& t : result.page.texts) {
        if (t.stroke.layer == Layer::marks) {
            lines.push_back(t.text);
        }
    }
    return lines;
}

bool has(const std::vector<std::string>& lines, const std::string& s) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(s) != std::string::npos; });
}

TEST(LegendText, AChangedLabelTooLongForOneLineGoesOnToASecond) {
    const auto lines = legendOf("Plant layout rev A", "Plant layout rev B");
    EXPECT_TRUE(has(lines, "\"Plant layout rev A\" ->")) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has(lines, "\"Plant layout rev B\"")) << ::testing::PrintToString(lines);
    EXPECT_FALSE(has(lines, "...")) << ::testing::PrintToString(lines);
    // A short change stays on one line.
    EXPECT_TRUE(has(legendOf("Rev C", "Rev D"), "\"Rev C\" -> \"Rev D\""));
}

TEST(LegendText, JapaneseIsShortenedInWholeCharactersAndKeepsItsNewText) {
    // 配管系統図 (piping system diagram), repeated past any line's length.
    std::string longName;
    for (int i = 0; i < 12; ++i) {
        longName += "\xE9\x85\x8D\xE7\xAE\xA1\xE7\xB3\xBB\xE7\xB5\xB1\xE5\x9B\xB3";
    }
    const std::string before = longName + "A";
    const std::string after = longName + "B";
    const auto lines = legendOf(before, after, longName + ".hgl");
    bool shortened = false;
    for (const auto& l : lines) {
        EXPECT_TRUE(drawing::isValidUtf8(l)) << l;
        EXPECT_LE(drawing::utf8Length(l), 44u) << l;
        shortened = shortened || l.ends_with("...") || l.ends_with("...\"");
    }
    EXPECT_TRUE(shortened) << ::testing::PrintToString(lines);
    // The old text ends its line with the arrow, the new one has a line of
    // its own that starts with its first characters.
    EXPECT_TRUE(has(lines, "\" ->")) << ::testing::PrintToString(lines);
    EXPECT_TRUE(has(lines, "\"" + drawing::utf8Prefix(after, 10)))
        << ::testing::PrintToString(lines);
}

}  // namespace
}  // namespace sandrel
