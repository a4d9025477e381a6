// SXF that must end in one clear error or a documented stand-in, never a
// hang, a crash or memory without bound: figures placing themselves, deep
// and multiplying placements, absurd scales, huge texts, bytes that do not
// decode.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "drawing/sxf/sxf.h"
#include "read_all.h"

namespace {

using namespace drawing;

test::Read read(const std::string& data) {
    return test::readAll(
        [&](const PageSink& sink, ReadError& error) { return readSxf(data, sink, error); });
}

void expectRefused(const std::string& data, const std::string& part) {
    const test::Read r = read(data);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.pages.empty());
    EXPECT_NE(r.error.message.find(part), std::string::npos) << r.error.message;
    EXPECT_EQ(r.error.message.find('\n'), std::string::npos);
    EXPECT_LE(r.error.message.size(), 200u);
    EXPECT_LE(r.error.offset, data.size());
}

// ---- .p21 ----

std::string p21(const std::string& body) {
    return "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n"
           "#1=CARTESIAN_POINT('',(0.,0.));\n"
           "#2=DIRECTION('',(1.,0.));\n"
           "#3=AXIS2_PLACEMENT_2D('',#1,#2);\n"
           "#4=CARTESIAN_POINT('',(10.,0.));\n"
           "#5=POLYLINE('',(#1,#4));\n"
           "#6=(ANNOTATION_CURVE_OCCURRENCE()STYLED_ITEM((),#5));\n" +
           body + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Figure n: a representation (id 1000 + 10 n) with its map (+1); a
// placement of figure m at scale s is an occurrence (+id).
std::string figure(int n, const std::string& items) {
    const int rep = 1000 + 10 * n;
    return "#" + std::to_string(rep) + "=DRAUGHTING_SUBFIGURE_REPRESENTATION('F" +
           std::to_string(n) + "',(" + items + "),$);\n#" + std::to_string(rep + 1) +
           "=SYMBOL_REPRESENTATION_MAP(#3,#" + std::to_string(rep) + ");\n";
}
std::string placement(int id, int of, const std::string& scale) {
    const std::string i = std::to_string(id);
    return "#" + i + "=SYMBOL_TARGET('',#3," + scale + "," + scale + ");\n#" +
           std::to_string(id + 1) + "=MAPPED_ITEM('',#" + std::to_string(1000 + 10 * of + 1) +
           ",#" + i + ");\n#" + std::to_string(id + 2) +
           "=(ANNOTATION_OCCURRENCE()STYLED_ITEM((),#" + std::to_string(id + 1) + "));\n";
}
std::string ref(int id) {
    return "#" + std::to_string(id);
}

TEST(SxfBadInput, FiguresPlacingThemselvesAreRefused) {
    // Directly: figure 1 holds a placement of itself, placed on the sheet.
    expectRefused(p21(figure(1, "#6,#102") + placement(100, 1, "1.") + placement(200, 1, "1.")),
                  "places itself");
    // Through others: 1 places 2, 2 places 3, 3 places 1.
    expectRefused(
        p21(figure(1, "#6,#102") + figure(2, "#112") + figure(3, "#122") + placement(100, 2, "1.") +
            placement(110, 3, "1.") + placement(120, 1, "1.") + placement(200, 1, "1.")),
        "places itself");
}

TEST(SxfBadInput, DeepAndMultiplyingPlacementsEndInAnError) {
    // A thousand figures deep, each placing the one before.
    std::string deep = figure(0, "#6");
    for (int n = 1; n <= 1000; ++n) {
        deep += figure(n, ref(100000 + 10 * n + 2)) + placement(100000 + 10 * n, n - 1, "1.");
    }
    deep += placement(200, 1000, "1.");
    expectRefused(p21(deep), "nested deeper than 64");
    // Forty levels that each place the level below twice: 2^40 lines.
    for (const std::string& leaf : {std::string("#6"), std::string("")}) {
        std::string wide = figure(0, leaf);
        for (int n = 1; n <= 40; ++n) {
            const int a = 100000 + 10 * n;
            wide += figure(n, ref(a + 2) + "," + ref(a + 5)) + placement(a, n - 1, "1.") +
                    placement(a + 3, n - 1, "1.");
        }
        wide += placement(200, 40, "1.");
        expectRefused(p21(wide), "figures expand to more than");
    }
}

TEST(SxfBadInput, AbsurdScalesAreRefused) {
    for (const char* scale : {"0.", "1.E300", "-1.E-300", "1.E7"}) {
        SCOPED_TRACE(scale);
        expectRefused(p21(figure(1, "#6") + placement(200, 1, scale)), "scale out of range");
    }
    // Each within bounds, but too much together.
    std::string deep = figure(0, "#6");
    for (int n = 1; n <= 30; ++n) {
        deep += figure(n, ref(100000 + 10 * n + 2)) + placement(100000 + 10 * n, n - 1, "1000.");
    }
    expectRefused(p21(deep + placement(200, 30, "1.")), "scale out of range");
    // A mirroring scale is no error.
    const test::Read r = read(p21(figure(1, "#6") + placement(200, 1, "-2.")));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].paths.size(), 1u);
    EXPECT_EQ(r.pages[0].paths[0].points[1], (Point{-20 * kUnitsPerMm, 0}));
}

TEST(SxfBadInput, HugeAndUndecodableTextsInP21) {
    std::string huge = "\\X2\\";
    for (int i = 0; i < 1'000'000; ++i) {
        huge += "3042";
    }
    huge += "\\X0\\";
    const std::string text =
        "#7=AXIS2_PLACEMENT_2D('',#1,#2);\n#8=PLANAR_EXTENT('',10.,3.);\n"
        "#9=TEXT_LITERAL_WITH_EXTENT('',%,#7,'baseline left',.RIGHT.,$,#8);\n"
        "#10=(ANNOTATION_TEXT_OCCURRENCE()STYLED_ITEM((),#9));\n";
    auto with = [&](const std::string& literal) {
        std::string t = text;
        t.replace(t.find('%'), 1, "'" + literal + "'");
        return p21(t);
    };
    expectRefused(with(huge), "over 64 KiB");
    // A surrogate without its partner, or digits that are not hex: U+FFFD.
    const test::Read r = read(with("a\\X2\\D800\\X0\\b\\X2\\DC00ZZZZ3042\\X0\\"));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages[0].texts.size(), 1u);
    EXPECT_EQ(r.pages[0].texts[0].text, "a\uFFFDb\uFFFD\uFFFDあ");
}

// ---- .sfc ----

std::string sfc(const std::string& blocks) {
    return "ISO-10303-21;\r\nHEADER;\r\nFILE_DESCRIPTION(('SCADEC level2 feature_mode'),'2;1');\r\n"
           "ENDSEC;\r\nDATA;\r\n/*SXF\r\n#1 = layer_feature(\\'L\\','1')\r\nSXF*/\r\n" +
           blocks + "ENDSEC;\r\nEND-ISO-10303-21;\r\n";
}
std::string block(const std::string& feature) {
    return "/*SXF\r\n#10 = " + feature + "\r\nSXF*/\r\n";
}
std::string locate(const std::string& name, const std::string& x, const std::string& scale) {
    return block("sfig_locate_feature('1',\\'" + name + "\\','" + x + "','0','0','" + scale +
                 "','" + scale + "')");
}

TEST(SxfBadInput, SfcFiguresDeepMultiplyingOrScaledAbsurdly) {
    const std::string line = block("line_feature('1','0','0','0','0','0','1','0')");
    // A thousand figures deep, each placing the one before 1 mm further:
    // read, with the line where the placements add up to.
    std::string deep = line + block("sfig_org_feature(\\'F0\\','4')");
    for (int n = 1; n <= 1000; ++n) {
        deep += locate("F" + std::to_string(n - 1), "1", "1") +
                block("sfig_org_feature(\\'F" + std::to_string(n) + "\\','4')");
    }
    const test::Read r = read(sfc(deep + locate("F1000", "0", "1")));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages[0].paths.size(), 1u);
    EXPECT_NEAR(r.pages[0].paths[0].points[0].x, 1000 * kUnitsPerMm, 1e-6);
    // A figure cannot place itself: a name stands for what was read before.
    expectRefused(sfc(line + locate("F0", "0", "1") + block("sfig_org_feature(\\'F0\\','4')")),
                  "no figure");
    // Each level placing the one below twice.
    std::string wide = line + block("sfig_org_feature(\\'F0\\','4')");
    for (int n = 1; n <= 40; ++n) {
        const std::string below = "F" + std::to_string(n - 1);
        wide += locate(below, "0", "1") + locate(below, "1", "1") +
                block("sfig_org_feature(\\'F" + std::to_string(n) + "\\','4')");
    }
    expectRefused(sfc(wide + locate("F40", "0", "1")), "figures expand to more than");
    // Sane scales on coordinates near the largest number: out of range.
    expectRefused(sfc(block("line_feature('1','0','0','0','0','0','1e305','0')") +
                      block("sfig_org_feature(\\'F\\','4')") + locate("F", "0", "1000")),
                  "coordinates out of range");
    for (const char* scale : {"0", "1e300", "-0.0000000001"}) {
        SCOPED_TRACE(scale);
        expectRefused(sfc(line + block("sfig_org_feature(\\'F\\','4')") + locate("F", "0", scale)),
                      "scale out of range");
    }
}

TEST(SxfBadInput, HugeAndUndecodableTextsInSfc) {
    auto textFeature = [](const std::string& bytes) {
        return block("text_string_feature('1','0','0',\\'" + bytes +
                     "\\','0','0','3','10','0','0','0','1','1')");
    };
    std::string huge;
    for (int i = 0; i < 1'000'000; ++i) {
        huge += "\x82\xA0";  // あ
    }
    expectRefused(sfc(textFeature(huge)), "over 64 KiB");
    // A byte no character begins with, a lead byte with a bad second byte,
    // and 表 and ソ (second byte 0x5C) before the closing quote.
    const test::Read r =
        read(sfc(textFeature("A\xFF"
                             "B\x81\x20"
                             "C\x95\x5C\x83\x5C")));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages[0].texts.size(), 1u);
    EXPECT_EQ(r.pages[0].texts[0].text, "A\uFFFDB\uFFFD C表ソ");
}

TEST(SxfBadInput, CodePage932BothWays) {
    EXPECT_EQ(cp932ToUtf8("\x87\x40\x95\x5C\x83\x5C"), "①表ソ");
    EXPECT_EQ(cp932ToUtf8("\x82"), "\uFFFD");  // a lead byte at the end
    EXPECT_EQ(utf8ToCp932("①表ソ"), "\x87\x40\x95\x5C\x83\x5C");
    // What code page 932 lacks: the documented stand-in "?".
    EXPECT_EQ(utf8ToCp932("a\U0001F600b"), "a?b");
}

TEST(SxfBadInput, TextsThatWouldEndAnSfcStringOrBlockAreWrittenSafely) {
    Page page;
    Text t;
    t.text = "a\\'b SXF*/ c\\";
    t.charWidth = t.charHeight = 100;
    page.texts.push_back(t);
    std::ostringstream out;
    SxfWriter w(out, SxfForm::Sfc, "t.sfc");
    w.addPage(page);
    std::string error;
    ASSERT_TRUE(w.finish(error)) << error;
    const test::Read r = read(out.str());
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages[0].texts.size(), 1u);
    EXPECT_EQ(r.pages[0].texts[0].text, "a＼'b SXF＊/ c\\");
}

}  // namespace
