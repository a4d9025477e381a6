// The SXF sheets of tests/data/sxf: each sheet gives the same drawing from
// its .sfc and from its .p21 (compared as the comparison program compares
// them), the drawing is the one the sheet describes (figures placed at their
// scales, hatches with holes, Japanese labels), and a real change between
// two sheets is found with its labels' old and new strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "drawing/sxf/sxf.h"
#include "read_all.h"
#include "sandrel/compare.h"
#include "sandrel/marks.h"

namespace {

using namespace drawing;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Page readSheet(const std::string& name) {
    const std::string data = slurp(std::string(MERVIK_SXF_CORPUS_DIR) + "/" + name);
    EXPECT_FALSE(data.empty()) << name;
    const auto r = test::readAll(
        [&](const PageSink& sink, ReadError& error) { return readSxf(data, sink, error); });
    EXPECT_TRUE(r.ok) << name << ": " << r.error.message << " at " << r.error.offset;
    EXPECT_EQ(r.pages.size(), 1u) << name;
    return r.pages.empty() ? Page{} : r.pages[0];
}

std::string writeSheet(const Page& page, SxfForm form) {
    std::ostringstream out;
    SxfWriter w(out, form, form == SxfForm::Sfc ? "t.sfc" : "t.p21");
    w.addPage(page);
    std::string error;
    EXPECT_TRUE(w.finish(error)) << error;
    return out.str();
}

Page readData(const std::string& data) {
    const auto r = test::readAll(
        [&](const PageSink& sink, ReadError& error) { return readSxf(data, sink, error); });
    EXPECT_TRUE(r.ok) << r.error.message;
    return r.pages.empty() ? Page{} : r.pages[0];
}

// The comparison's result with its marks, and the legend's lines.
sandrel::Result compare(const Page& a, const Page& b, std::vector<std::string>& legend) {
    const sandrel::Options options;
    sandrel::Result result;
    std::string error;
    EXPECT_TRUE(sandrel::comparePages(a, b, options, result, error)) << error;
    sandrel::LegendInfo info;
    info.firstName = "1";
    info.secondName = "2";
    sandrel::addMarks(result, info, options);
    legend.clear();
    for (const auto& t : result.page.texts) {
        if (t.stroke.layer == Layer::marks) {
            legend.push_back(t.text);
        }
    }
    return result;
}

bool hasLine(const std::vector<std::string>& legend, const std::string& line) {
    return std::find(legend.begin(), legend.end(), line) != legend.end();
}

const Text* findText(const Page& p, const std::string& s) {
    for (const auto& t : p.texts) {
        if (t.text == s) {
            return &t;
        }
    }
    return nullptr;
}

const std::vector<std::string> kSheets = {"road", "road-changed", "road-ours"};

TEST(SxfCorpus, BothFormsOfEverySheetCompareUnchanged) {
    for (const auto& name : kSheets) {
        SCOPED_TRACE(name);
        const Page sfc = readSheet(name + ".sfc");
        const Page p21 = readSheet(name + ".p21");
        ASSERT_FALSE(sfc.empty());
        EXPECT_EQ(sfc.width, p21.width);
        EXPECT_EQ(sfc.height, p21.height);
        ASSERT_EQ(sfc.paths.size(), p21.paths.size());
        ASSERT_EQ(sfc.texts.size(), p21.texts.size());
        for (std::size_t i = 0; i < sfc.texts.size(); ++i) {
            const Text& a = sfc.texts[i];
            const Text& b = p21.texts[i];
            EXPECT_EQ(a.text, b.text);
            EXPECT_NEAR(a.origin.x, b.origin.x, 1e-3);
            EXPECT_NEAR(a.origin.y, b.origin.y, 1e-3);
            EXPECT_NEAR(a.charHeight, b.charHeight, 1e-3);
            EXPECT_NEAR(a.charWidth, b.charWidth, 1e-3);
            EXPECT_NEAR(a.angleDeg, b.angleDeg, 1e-6);
            EXPECT_EQ(a.labelOrigin, b.labelOrigin);
            EXPECT_EQ(a.vertical, b.vertical);
        }
        std::vector<std::string> legend;
        const auto result = compare(sfc, p21, legend);
        EXPECT_FALSE(result.differ());
        EXPECT_TRUE(result.regions.empty());
        EXPECT_TRUE(hasLine(legend, "no differences"));
    }
}

TEST(SxfCorpus, SheetIsDrawnAsDescribed) {
    for (const char* form : {".sfc", ".p21"}) {
        SCOPED_TRACE(form);
        const Page p = readSheet(std::string("road") + form);
        EXPECT_EQ(p.width, 420 * kUnitsPerMm);
        EXPECT_EQ(p.height, 297 * kUnitsPerMm);
        // Everything lands on the sheet: the plan view at 1:20 included.
        for (const auto& path : p.paths) {
            for (const auto& pt : path.points) {
                EXPECT_GE(pt.x, 0);
                EXPECT_LE(pt.x, p.width);
                EXPECT_GE(pt.y, 0);
                EXPECT_LE(pt.y, p.height);
            }
        }
        // The view's wall (4000 by 2000 model mm) is 200 by 100 mm at (20, 150).
        double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
        std::size_t hatchLines = 0;
        for (const auto& path : p.paths) {
            EXPECT_FALSE(path.filled) << "a hatch is never a solid fill";
            if (path.closed && path.points.size() == 4 && path.points[0].x == 20 * kUnitsPerMm) {
                for (const auto& pt : path.points) {
                    minX = std::min<double>(minX, pt.x), maxX = std::max<double>(maxX, pt.x);
                    minY = std::min<double>(minY, pt.y), maxY = std::max<double>(maxY, pt.y);
                }
            }
            // Hatch lines: two points at 45 degrees inside the wall.
            if (path.points.size() == 2 && path.points[0].y > 150 * kUnitsPerMm &&
                path.points[0].x < 221 * kUnitsPerMm && path.points[1].x < 221 * kUnitsPerMm) {
                const Point a = path.points[0], b = path.points[1];
                if (std::abs(std::abs(b.y - a.y) - std::abs(b.x - a.x)) < 1e-6) {
                    ++hatchLines;
                    // No hatch line crosses the openings (holes) of the wall.
                    const Point m{(a.x + b.x) / 2 / kUnitsPerMm, (a.y + b.y) / 2 / kUnitsPerMm};
                    EXPECT_FALSE(m.x > 45.01 && m.x < 94.99 && m.y > 175.01 && m.y < 224.99);
                }
            }
        }
        EXPECT_NEAR(minX, 20 * kUnitsPerMm, 1e-6);
        EXPECT_NEAR(maxX, 220 * kUnitsPerMm, 1e-6);
        EXPECT_NEAR(minY, 150 * kUnitsPerMm, 1e-6);
        EXPECT_NEAR(maxY, 250 * kUnitsPerMm, 1e-6);
        EXPECT_GT(hatchLines, 20u);
        // Japanese labels keep their characters; 0x5C as a second byte
        // (表, ソ) and the vendor extension ① included.
        ASSERT_NE(findText(p, "道路平面図"), nullptr);
        ASSERT_NE(findText(p, "表題欄①ソ"), nullptr);
        // The title is set without spacing: its characters are as wide as
        // its box over their number.
        EXPECT_NEAR(findText(p, "道路平面図")->charWidth, 7 * kUnitsPerMm, 1e-6);
        EXPECT_NEAR(findText(p, "表題欄①ソ")->charWidth, 3.5 * kUnitsPerMm, 1e-6);

        const Text* vertical = findText(p, "縦書き注記");
        ASSERT_NE(vertical, nullptr);
        EXPECT_TRUE(vertical->vertical);
        EXPECT_FALSE(findText(p, "道路平面図")->vertical);
        // The part's label, placed at 2, at 1 turned 90, and through the
        // group (2 of 0.5) turned 30 and mirrored.
        std::vector<std::pair<double, double>> placed;  // height mm, angle
        for (const auto& t : p.texts) {
            if (t.text == "橋脚") {
                placed.push_back({t.charHeight / kUnitsPerMm, t.angleDeg});
            }
        }
        std::sort(placed.begin(), placed.end());
        ASSERT_EQ(placed.size(), 4u);
        EXPECT_NEAR(placed[0].first, 1.5, 1e-9);
        EXPECT_NEAR(placed[0].second, 0, 1e-6);  // mirrored: stays readable
        EXPECT_NEAR(placed[1].second, 30, 1e-6);
        EXPECT_NEAR(placed[2].second, 90, 1e-6);
        EXPECT_NEAR(placed[3].first, 6, 1e-9);
        // The dimension: its line, two extension lines, two arrowheads, text.
        EXPECT_NE(findText(p, "4,000"), nullptr);
        std::size_t arrows = 0;
        for (const auto& path : p.paths) {
            arrows +=
                path.points.size() == 3 && path.points[1].y == 130 * kUnitsPerMm &&
                (path.points[1].x == 20 * kUnitsPerMm || path.points[1].x == 220 * kUnitsPerMm);
        }
        EXPECT_EQ(arrows, 2u);
    }
}

TEST(SxfCorpus, ChangesAreFoundWithTheirJapaneseLabels) {
    for (const auto& [first, second] :
         std::vector<std::pair<std::string, std::string>>{{"road.sfc", "road-changed.sfc"},
                                                          {"road.p21", "road-changed.p21"},
                                                          {"road.sfc", "road-changed.p21"}}) {
        SCOPED_TRACE(first + " / " + second);
        std::vector<std::string> legend;
        const auto result = compare(readSheet(first), readSheet(second), legend);
        EXPECT_TRUE(result.differ());
        // The edited label and the moved part, each a region of its own.
        ASSERT_EQ(result.regions.size(), 2u);
        bool label = false;
        for (const auto& r : result.regions) {
            if (r.removedTexts == std::vector<std::string>{"道路平面図"}) {
                EXPECT_EQ(r.addedTexts, std::vector<std::string>{"道路縦断図"});
                label = true;
            } else {
                EXPECT_EQ(r.removedTexts, std::vector<std::string>{"橋脚"});
                EXPECT_EQ(r.addedTexts, std::vector<std::string>{"橋脚"});
            }
        }
        EXPECT_TRUE(label);
        EXPECT_TRUE(hasLine(legend, "\"道路平面図\" -> \"道路縦断図\""));
    }
}

TEST(SxfCorpus, WhatWeWriteOfTheSheetReadsBackAlike) {
    const Page sheet = readSheet("road.sfc");
    for (SxfForm form : {SxfForm::Sfc, SxfForm::P21}) {
        const Page back = readData(writeSheet(sheet, form));
        ASSERT_EQ(back.paths.size(), sheet.paths.size());
        ASSERT_EQ(back.texts.size(), sheet.texts.size());
        for (std::size_t i = 0; i < sheet.texts.size(); ++i) {
            EXPECT_EQ(back.texts[i].text, sheet.texts[i].text);
            EXPECT_EQ(back.texts[i].vertical, sheet.texts[i].vertical);
            EXPECT_NEAR(back.texts[i].origin.x, sheet.texts[i].origin.x, 1e-3);
            EXPECT_NEAR(back.texts[i].angleDeg, sheet.texts[i].angleDeg, 1e-6);
        }
        for (std::size_t i = 0; i < sheet.paths.size(); ++i) {
            ASSERT_EQ(back.paths[i].points.size(), sheet.paths[i].points.size());
            for (std::size_t k = 0; k < sheet.paths[i].points.size(); ++k) {
                EXPECT_NEAR(back.paths[i].points[k].x, sheet.paths[i].points[k].x, 1e-3);
                EXPECT_NEAR(back.paths[i].points[k].y, sheet.paths[i].points[k].y, 1e-3);
            }
        }
        std::vector<std::string> legend;
        EXPECT_FALSE(compare(sheet, back, legend).differ());
    }
}

// Forms of .p21 that others may write and the corpus does not use.
TEST(SxfFigures, BareItemsOfFiguresAndFillStylesOthersWrite) {
    const std::string data =
        "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n"
        "#1=CARTESIAN_POINT('',(0.,0.));\n#2=DIRECTION('',(1.,0.));\n"
        "#3=AXIS2_PLACEMENT_2D('',#1,#2);\n#4=CARTESIAN_POINT('',(10.,0.));\n"
        "#5=POLYLINE('',(#1,#4));\n#6=PLANAR_EXTENT('',10.,3.);\n"
        "#7=TEXT_LITERAL_WITH_EXTENT('','\\X2\\6A4B\\X0\\',#3,'baseline left',.RIGHT.,$,#6);\n"
        // A figure of a bare line and a bare text, placed at 2 by an
        // ANNOTATION_TEXT in a red text occurrence.
        "#10=SYMBOL_REPRESENTATION('',(#5,#7,#3),$);\n"
        "#11=SYMBOL_REPRESENTATION_MAP(#3,#10);\n"
        "#12=CARTESIAN_POINT('',(100.,50.));\n#13=AXIS2_PLACEMENT_2D('',#12,#2);\n"
        "#14=SYMBOL_TARGET('',#13,2.,2.);\n#15=ANNOTATION_TEXT('',#11,#14);\n"
        "#16=DRAUGHTING_PRE_DEFINED_COLOUR('red');\n#17=TEXT_STYLE_FOR_DEFINED_FONT(#16);\n"
        "#18=TEXT_STYLE_WITH_BOX_CHARACTERISTICS('',#17,(BOX_SLANT_ANGLE(0.)));\n"
        "#19=PRESENTATION_STYLE_ASSIGNMENT((#18));\n"
        "#20=ANNOTATION_TEXT_OCCURRENCE('',(#19),#15);\n"
        // A square hatched at an angle given as a measure with its unit, and
        // one with a fill style nobody knows.
        "#30=CARTESIAN_POINT('',(0.,100.));\n#31=CARTESIAN_POINT('',(20.,100.));\n"
        "#32=CARTESIAN_POINT('',(20.,120.));\n#33=CARTESIAN_POINT('',(0.,120.));\n"
        "#34=POLYLINE('',(#30,#31,#32,#33,#30));\n"
        "#35=ANNOTATION_FILL_AREA('',(#34));\n"
        "#36=DIRECTION('',(0.,1.));\n#37=VECTOR('',#36,2.);\n"
        "#38=ONE_DIRECTION_REPEAT_FACTOR('',#37);\n"
        "#39=PLANE_ANGLE_MEASURE_WITH_UNIT(PLANE_ANGLE_MEASURE(0.),$);\n"
        "#40=CURVE_STYLE('',$,$,#16);\n"
        "#41=FILL_AREA_STYLE_HATCHING('',#40,#38,#30,#30,#39);\n"
        "#42=FILL_AREA_STYLE('',(#41));\n#43=PRESENTATION_STYLE_ASSIGNMENT((#42));\n"
        "#44=ANNOTATION_FILL_AREA_OCCURRENCE('',(#43),#35);\n"
        "#45=FILL_AREA_STYLE_SOMETHING_NEW('');\n#46=FILL_AREA_STYLE('',(#45));\n"
        "#47=PRESENTATION_STYLE_ASSIGNMENT((#46));\n"
        "#48=ANNOTATION_FILL_AREA_OCCURRENCE('',(#47),#35);\n"
        "ENDSEC;\nEND-ISO-10303-21;\n";
    const Page p = readData(data);
    ASSERT_EQ(p.texts.size(), 1u);
    EXPECT_EQ(p.texts[0].text, "橋");
    EXPECT_EQ(p.texts[0].origin, (PrecisePoint{100 * kUnitsPerMm, 50 * kUnitsPerMm}));
    EXPECT_NEAR(p.texts[0].charHeight, 6 * kUnitsPerMm, 1e-9);
    EXPECT_EQ(p.texts[0].stroke.color, 0xFF0000u);
    std::size_t figureLines = 0, hatch = 0, standIn = 0;
    for (const auto& path : p.paths) {
        EXPECT_FALSE(path.filled);
        const Point a = path.points.front(), b = path.points.back();
        if (a == (Point{100 * kUnitsPerMm, 50 * kUnitsPerMm}) &&
            b == (Point{120 * kUnitsPerMm, 50 * kUnitsPerMm})) {
            ++figureLines;
        } else if (a.y == b.y) {
            ++hatch;  // level lines 2 mm apart: 100, 102, ... 118 (not the top edge)
            EXPECT_EQ(path.stroke.color, 0xFF0000u);
        } else if (std::abs(std::abs(b.y - a.y) - std::abs(b.x - a.x)) < test::kFloatReach) {
            ++standIn;  // 45 degrees
        }
    }
    EXPECT_EQ(figureLines, 1u);
    EXPECT_EQ(hatch, 10u);
    EXPECT_GT(standIn, 5u);
}

// Curves drawn as chords: where they end, and how far chords stray.
TEST(SxfCurves, ClothoidsAndRationalSplinesLieOnTheirCurves) {
    // A clothoid of parameter 60 over 120 mm from (20, 20), heading along x
    // and turning left (.sfc), and the same turning right (.p21). Its end,
    // by the Fresnel integrals: (80.1116, 59.8574) from its origin.
    const Page sfc = readSheet("road.sfc");
    bool found = false;
    for (const auto& path : sfc.paths) {
        if (path.points.front() == (Point{20 * kUnitsPerMm, 20 * kUnitsPerMm}) &&
            path.points.size() > 10) {
            EXPECT_NEAR(path.points.back().x / kUnitsPerMm, 20 + 80.11162, 1e-3);
            EXPECT_NEAR(path.points.back().y / kUnitsPerMm, 20 + 59.85742, 1e-3);
            found = true;
        }
    }
    EXPECT_TRUE(found);
    const std::string head =
        "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n"
        "#1=CARTESIAN_POINT('',(0.,0.));\n#2=DIRECTION('',(1.,0.));\n"
        "#3=AXIS2_PLACEMENT_2D('',#1,#2);\n";
    const Page right = readData(
        head +
        "#4=CLOTHOID('',#3,-60.);\n"
        "#5=TRIMMED_CURVE('',#4,(PARAMETER_VALUE(0.)),(PARAMETER_VALUE(120.)),.T.,.PARAMETER.);\n"
        "#6=(ANNOTATION_CURVE_OCCURRENCE()STYLED_ITEM((),#5));\nENDSEC;\n");
    ASSERT_EQ(right.paths.size(), 1u);
    EXPECT_NEAR(right.paths[0].points.back().x / kUnitsPerMm, 80.11162, 1e-3);
    EXPECT_NEAR(right.paths[0].points.back().y / kUnitsPerMm, -59.85742, 1e-3);
    // A quarter circle of radius 50 as a rational B-spline of degree 2:
    // every point on the circle, no chord's middle more than 0.05 mm in.
    const Page arc = readData(
        head +
        "#4=CARTESIAN_POINT('',(50.,0.));\n#5=CARTESIAN_POINT('',(50.,50.));\n"
        "#6=CARTESIAN_POINT('',(0.,50.));\n"
        "#7=(BOUNDED_CURVE()B_SPLINE_CURVE(2,(#4,#5,#6),.CIRCULAR_ARC.,.F.,.F.)"
        "B_SPLINE_CURVE_WITH_KNOTS((3,3),(0.,1.),.UNSPECIFIED.)CURVE()"
        "GEOMETRIC_REPRESENTATION_ITEM()RATIONAL_B_SPLINE_CURVE((1.,0.70710678118654752,1.))"
        "REPRESENTATION_ITEM(''));\n"
        "#8=(ANNOTATION_CURVE_OCCURRENCE()STYLED_ITEM((),#7));\nENDSEC;\n");
    ASSERT_EQ(arc.paths.size(), 1u);
    const auto& pts = arc.paths[0].points;
    ASSERT_GT(pts.size(), 5u);
    EXPECT_EQ(pts.front(), (Point{50 * kUnitsPerMm, 0}));
    EXPECT_NEAR(pts.back().x, 0, test::kFloatReach);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        EXPECT_NEAR(std::hypot(pts[i].x, pts[i].y) / kUnitsPerMm, 50, test::kFloatReach);
        if (i > 0) {
            const double mx = (pts[i].x + pts[i - 1].x) / 2, my = (pts[i].y + pts[i - 1].y) / 2;
            EXPECT_LT(50 - std::hypot(mx, my) / kUnitsPerMm, 0.05);
        }
    }
}

}  // namespace
