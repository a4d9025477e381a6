// SXF in both forms: what we write reads back as it was and alike from
// either form; hand-written files in the forms others write; broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "drawing/sxf/sxf.h"
#include "read_all.h"

namespace {

using namespace drawing;

using test::Read;

Read read(const std::string& data) {
    return test::readAll(
        [&](const PageSink& sink, ReadError& error) { return readSxf(data, sink, error); });
}

std::string write(const std::vector<Page>& pages, SxfForm form) {
    std::ostringstream out;
    SxfWriter w(out, form, form == SxfForm::Sfc ? "t.sfc" : "t.p21");
    for (const auto& p : pages) {
        w.addPage(p);
    }
    std::string error;
    EXPECT_TRUE(w.finish(error)) << error;
    return out.str();
}

Stroke stroke(int pen, Rgb colour, double width) {
    Stroke s;
    s.pen = pen;
    s.color = colour;
    s.widthMm = width;
    return s;
}

Page samplePage() {
    Page p;
    p.width = 420 * kUnitsPerMm;  // A3 landscape
    p.height = 297 * kUnitsPerMm;
    Path open;
    open.points = {{400, 400}, {4000, 400}, {4000, 2400.5}};
    open.stroke = stroke(2, 0xFF0000, 0.5);
    p.paths.push_back(open);
    Path closed;
    closed.points = {{100, 100}, {900, 100}, {500, 700}};
    closed.closed = true;
    closed.stroke = stroke(1, 0x000000, 0.35);
    p.paths.push_back(closed);
    Path dashed;
    dashed.points = {{0, 5000}, {8000, 5000}};
    dashed.stroke = stroke(4, 0x0000FF, 0.27);
    dashed.stroke.lineType = 2;
    dashed.stroke.dashMm = {4, 1, 0.5, 1};
    p.paths.push_back(dashed);
    Path fill;
    fill.points = {{1000, 1000}, {3000, 1000}, {3000, 3000}, {1000, 3000},
                   {1500, 1500}, {2500, 1500}, {2500, 2500}, {1500, 2500}};
    fill.subpathStarts = {4};
    fill.closed = fill.filled = true;
    fill.evenOdd = true;
    fill.stroke = stroke(3, 0x123456, 0.35);
    p.paths.push_back(fill);
    Text t;
    t.origin = {6000, 7000};
    t.text = "O'Brien \\ 図面 No.1";
    t.charWidth = 100;
    t.charHeight = 150;
    t.angleDeg = 30;
    t.slant = 0.25;
    t.labelOrigin = 5;
    t.stroke = stroke(2, 0xFF0000, 0.35);
    p.texts.push_back(t);
    return p;
}

void expectSame(const Page& a, const Page& b) {
    constexpr double kEps = 1e-3;  // plotter units: what six decimals of a mm keep
    EXPECT_NEAR(a.width, b.width, kEps);
    EXPECT_NEAR(a.height, b.height, kEps);
    ASSERT_EQ(a.paths.size(), b.paths.size());
    for (std::size_t i = 0; i < a.paths.size(); ++i) {
        SCOPED_TRACE("path " + std::to_string(i));
        const Path& p = a.paths[i];
        const Path& q = b.paths[i];
        ASSERT_EQ(p.points.size(), q.points.size());
        for (std::size_t k = 0; k < p.points.size(); ++k) {
            EXPECT_NEAR(p.points[k].x, q.points[k].x, kEps);
            EXPECT_NEAR(p.points[k].y, q.points[k].y, kEps);
        }
        EXPECT_EQ(p.closed, q.closed);
        EXPECT_EQ(p.filled, q.filled);
        EXPECT_EQ(p.subpathStarts, q.subpathStarts);
        EXPECT_EQ(p.stroke.pen, q.stroke.pen);
        EXPECT_EQ(p.stroke.color, q.stroke.color);
        EXPECT_EQ(p.stroke.lineType, q.stroke.lineType);
        ASSERT_EQ(p.stroke.dashMm.size(), q.stroke.dashMm.size());
        if (!p.filled) {
            EXPECT_NEAR(p.stroke.widthMm, q.stroke.widthMm, 1e-9);
        }
    }
    ASSERT_EQ(a.texts.size(), b.texts.size());
    for (std::size_t i = 0; i < a.texts.size(); ++i) {
        const Text& s = a.texts[i];
        const Text& t = b.texts[i];
        EXPECT_EQ(s.text, t.text);
        EXPECT_NEAR(s.origin.x, t.origin.x, kEps);
        EXPECT_NEAR(s.origin.y, t.origin.y, kEps);
        EXPECT_NEAR(s.charWidth, t.charWidth, kEps);
        EXPECT_NEAR(s.charHeight, t.charHeight, kEps);
        EXPECT_NEAR(s.angleDeg, t.angleDeg, 1e-9);
        EXPECT_NEAR(s.slant, t.slant, 1e-9);
        EXPECT_EQ(s.labelOrigin, t.labelOrigin);
        EXPECT_EQ(s.stroke.pen, t.stroke.pen);
        EXPECT_EQ(s.stroke.color, t.stroke.color);
    }
}

TEST(Sxf, WhatIsWrittenReadsBackInBothForms) {
    const Page page = samplePage();
    const std::string sfc = write({page}, SxfForm::Sfc);
    const std::string p21 = write({page}, SxfForm::P21);
    EXPECT_EQ(p21.rfind("ISO-10303-21;", 0), 0u);
    EXPECT_NE(p21.find("AP202_mode"), std::string::npos);
    EXPECT_NE(sfc.find("feature_mode"), std::string::npos);
    EXPECT_NE(sfc.find("drawing_sheet_feature(\\'Sheet\\','3','1','420','297')"),
              std::string::npos);
    // .p21 is ASCII: the kanji go out as UTF-16 escapes.
    EXPECT_NE(p21.find("\\X2\\56F39762\\X0\\"), std::string::npos);
    EXPECT_NE(p21.find("'O''Brien \\\\ "), std::string::npos);
    // .sfc text is code page 932.
    EXPECT_NE(sfc.find(utf8ToCp932("図面")), std::string::npos);

    const Read fromSfc = read(sfc);
    const Read fromP21 = read(p21);
    ASSERT_TRUE(fromSfc.ok) << fromSfc.error.message << " at " << fromSfc.error.offset;
    ASSERT_TRUE(fromP21.ok) << fromP21.error.message << " at " << fromP21.error.offset;
    ASSERT_EQ(fromSfc.pages.size(), 1u);
    ASSERT_EQ(fromP21.pages.size(), 1u);
    {
        SCOPED_TRACE(".sfc");
        expectSame(page, fromSfc.pages[0]);
    }
    {
        SCOPED_TRACE(".p21");
        expectSame(page, fromP21.pages[0]);
    }
    // The same drawing from either form is the same page, to the bit.
    EXPECT_EQ(fromSfc.pages[0], fromP21.pages[0]);
    // And what is read back writes the same file again.
    EXPECT_EQ(write(fromSfc.pages, SxfForm::Sfc), sfc);
    EXPECT_EQ(write(fromP21.pages, SxfForm::P21), p21);
}

// A list of coordinates or a text is a string, and the reader takes none
// over 64 KiB: what the writer makes of a line of many points, an outline
// of many points and a very long text must still read back.
TEST(Sxf, LongLinesOutlinesAndTextsReadBackFromSfc) {
    Page page;
    page.width = 420 * kUnitsPerMm;
    page.height = 297 * kUnitsPerMm;
    constexpr int kPoints = 20'000;  // some 200 KB of coordinates a list
    Path line;
    for (int i = 0; i < kPoints; ++i) {
        line.points.push_back({1000.0 + i * 0.5, 1000.0 + (i % 2) * 500});
    }
    line.stroke = stroke(1, 0x000000, 0.35);
    page.paths.push_back(line);
    Path ring;
    for (int i = 0; i < kPoints; ++i) {
        const double a = 2 * 3.141592653589793 * i / kPoints;
        ring.points.push_back({8000 + 4000 * std::cos(a), 6000 + 4000 * std::sin(a)});
    }
    ring.closed = ring.filled = true;
    ring.stroke = stroke(2, 0x0000FF, 0.35);
    page.paths.push_back(ring);
    Text latin;
    latin.origin = {100, 100};
    latin.charWidth = latin.charHeight = 100;
    latin.text = std::string(70'000, 'A');
    page.texts.push_back(latin);
    Text kanji = latin;
    kanji.text.clear();
    while (kanji.text.size() < 120'000) {
        kanji.text += "図";  // three bytes of UTF-8, two of code page 932
    }
    page.texts.push_back(kanji);

    const Read back = read(write({page}, SxfForm::Sfc));
    ASSERT_TRUE(back.ok) << back.error.message << " at " << back.error.offset;
    ASSERT_EQ(back.pages.size(), 1u);
    const Page& got = back.pages[0];
    // The line comes back in pieces, each beginning where the last ended.
    std::vector<Point> joined;
    std::size_t pieces = 0;
    for (const Path& p : got.paths) {
        if (p.filled) {
            continue;
        }
        ++pieces;
        ASSERT_FALSE(p.points.empty());
        if (!joined.empty()) {
            EXPECT_EQ(joined.back(), p.points.front());
            joined.pop_back();
        }
        joined.insert(joined.end(), p.points.begin(), p.points.end());
    }
    EXPECT_GT(pieces, 1u);
    ASSERT_EQ(joined.size(), line.points.size());
    for (std::size_t k = 0; k < joined.size(); k += 997) {
        EXPECT_NEAR(joined[k].x, line.points[k].x, 1e-3);
        EXPECT_NEAR(joined[k].y, line.points[k].y, 1e-3);
    }
    // The outline is one ring again, however many polylines it went out as.
    const auto fill =
        std::find_if(got.paths.begin(), got.paths.end(), [](const Path& p) { return p.filled; });
    ASSERT_NE(fill, got.paths.end());
    EXPECT_EQ(fill->points.size(), ring.points.size());
    EXPECT_TRUE(fill->subpathStarts.empty());
    // A text no reader would take is cut short at a whole character.
    ASSERT_EQ(got.texts.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string& full = page.texts[i].text;
        const std::string& cut = got.texts[i].text;
        EXPECT_GT(cut.size(), 30'000u);
        EXPECT_LT(cut.size(), full.size());
        EXPECT_EQ(full.compare(0, cut.size(), cut), 0) << "text " << i;
    }
    // .p21 takes the same texts, cut at the same characters.
    const Read p21 = read(write({page}, SxfForm::P21));
    ASSERT_TRUE(p21.ok) << p21.error.message << " at " << p21.error.offset;
    ASSERT_EQ(p21.pages.size(), 1u);
    ASSERT_EQ(p21.pages[0].texts.size(), 2u);
    EXPECT_EQ(p21.pages[0].texts[0].text, got.texts[0].text);
    EXPECT_EQ(p21.pages[0].texts[1].text, got.texts[1].text);
}

// A comparison's boxes and legend stay one layer a viewer can hide, and
// come back as marks; the drawing keeps its pen layers.
TEST(Sxf, MarksShareOneLayerAndReadBackAsMarks) {
    Page page = samplePage();
    Path box;
    box.points = {{100, 100}, {900, 100}, {900, 900}};
    box.stroke = stroke(4, 0xFF9900, 0.5);
    box.stroke.layer = Layer::marks;
    page.paths.push_back(box);
    Text legend;
    legend.origin = {5000, 500};
    legend.text = "Comparison, page 1";
    legend.charWidth = 100;
    legend.charHeight = 150;
    legend.stroke = stroke(8, 0x202020, 0.35);
    legend.stroke.layer = Layer::marks;
    page.texts.push_back(legend);
    for (const SxfForm form : {SxfForm::Sfc, SxfForm::P21}) {
        SCOPED_TRACE(form == SxfForm::Sfc ? ".sfc" : ".p21");
        const std::string file = write({page}, form);
        EXPECT_NE(file.find("MARKS"), std::string::npos);
        EXPECT_EQ(file.find("PEN8"), std::string::npos) << "the legend's pen is no layer";
        const Read back = read(file);
        ASSERT_TRUE(back.ok) << back.error.message << " at " << back.error.offset;
        const Page& got = back.pages.at(0);
        ASSERT_EQ(got.paths.size(), page.paths.size());
        ASSERT_EQ(got.texts.size(), page.texts.size());
        EXPECT_EQ(got.paths.back().stroke.layer, Layer::marks);
        EXPECT_EQ(got.paths.back().stroke.color, 0xFF9900u);
        EXPECT_EQ(got.texts.back().stroke.layer, Layer::marks);
        EXPECT_EQ(got.texts.back().text, "Comparison, page 1");
        EXPECT_EQ(got.paths.front().stroke.layer, Layer::drawing);
        EXPECT_EQ(got.paths.front().stroke.pen, page.paths.front().stroke.pen);
    }
}

TEST(Sxf, PagesStandSideBySideOnOneSheet) {
    Page a = samplePage();
    Page b = samplePage();
    b.width = 210 * kUnitsPerMm;
    b.height = 297 * kUnitsPerMm;
    const Read r = read(write({a, b}, SxfForm::Sfc));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_NEAR(r.pages[0].width, (420 + 10 + 210) * kUnitsPerMm, 1e-6);
    ASSERT_EQ(r.pages[0].paths.size(), 2 * a.paths.size());
    // The second page's first point moved right by the first page and the gap.
    EXPECT_NEAR(r.pages[0].paths[a.paths.size()].points[0].x, 400 + 430 * kUnitsPerMm, 1e-3);
}

TEST(Sxf, RastersBecomeFilledRectangles) {
    Page p;
    Raster r;
    r.dpi = 25.4;  // a pixel a millimetre
    r.origin = {0, 4 * kUnitsPerMm};
    r.width = 3;
    r.height = 4;
    r.channels = 3;
    // Rows: black black white / black black white / red red red / white.
    r.pixels = {0,   0, 0, 0,   0, 0, 255, 255, 255, 0,   0,   0,   0,   0,   0,   255, 255, 255,
                255, 0, 0, 255, 0, 0, 255, 0,   0,   255, 255, 255, 255, 255, 255, 255, 255, 255};
    p.rasters.push_back(r);
    const Read back = read(write({p}, SxfForm::P21));
    ASSERT_TRUE(back.ok) << back.error.message;
    ASSERT_EQ(back.pages.size(), 1u);
    const auto& paths = back.pages[0].paths;
    ASSERT_EQ(paths.size(), 2u);  // the black run of two rows is one rectangle
    EXPECT_EQ(paths[0].stroke.color, 0x000000u);
    EXPECT_EQ(paths[0].points, (std::vector<Point>{{0, 2 * kUnitsPerMm},
                                                   {2 * kUnitsPerMm, 2 * kUnitsPerMm},
                                                   {2 * kUnitsPerMm, 4 * kUnitsPerMm},
                                                   {0, 4 * kUnitsPerMm}}));
    EXPECT_EQ(paths[1].stroke.color, 0xFF0000u);
    EXPECT_EQ(paths[1].points[1], (Point{3 * kUnitsPerMm, 1 * kUnitsPerMm}));
}

std::string sfcFile(const std::string& blocks) {
    return "ISO-10303-21;\r\nHEADER;\r\nFILE_DESCRIPTION(('SCADEC level2 feature_mode'),'2;1');\r\n"
           "ENDSEC;\r\nDATA;\r\n" +
           blocks + "ENDSEC;\r\nEND-ISO-10303-21;\r\n";
}

std::string block(const std::string& feature, int id) {
    return "/*SXF\r\n#" + std::to_string(id) + " = " + feature + "\r\nSXF*/\r\n";
}

TEST(Sxf, FeaturesOthersWrite) {
    std::string b;
    int id = 0;
    auto add = [&](const std::string& f) { b += block(f, id += 10); };
    // A figure first: an org feature owns every element read before it.
    add("line_feature('1','1','1','1','0','0','10','0')");
    add("sfig_org_feature(\\'tick\\','4')");
    // A feature before the tables it refers to: tables stand anywhere.
    add("circle_feature('1','2','1','5','100.000000','100.000000','10.000000')");
    add("pre_defined_colour_feature(\\'black\\')");
    add("pre_defined_colour_feature(\\'red\\')");
    add("pre_defined_font_feature(\\'continuous\\')");
    add("pre_defined_font_feature(\\'dashed\\')");
    add("width_feature('0.130000')");
    add("width_feature('0.500000')");
    add("layer_feature(\\'Outline\\','1')");
    add("text_font_feature(\\'MS Gothic\\')");
    // Clockwise from 90 to 0 degrees: the quarter in the upper right.
    add("arc_feature('1','1','2','5','0.000000','0.000000','50.000000','1','90.000000','0.000000'"
        ")");
    add("spline_feature('1','1','1','1','1','4','(0,10,20,30)','(0,10,10,0)')");
    // Middle centre anchor (5): the label origin code 5 as well.
    add("text_string_feature('1','1','1',\\'AB\\','200.0','100.0','5.0','25.0','5.0','0','0','5','"
        "1')");
    // A square as a composite curve of two polylines, filled, then hatched.
    add("polyline_feature('0','0','0','0','3','(0,40,40)','(200,200,240)')");
    add("polyline_feature('0','0','0','0','3','(40,0,0)','(240,240,200)')");
    add("composite_curve_org_feature('1','1','1','0')");
    add("fill_area_style_colour_feature('1','2','1','0','()')");
    add("fill_area_style_hatching_feature('1','1','(1,1,1,0,0,10,0)','1','0','()')");
    // The figure placed twice, turned and scaled.
    add("sfig_locate_feature('1',\\'tick\\','300','0','90','2','2')");
    add("sfig_locate_feature('1',\\'tick\\','320','0','0','1','1')");
    // A dimension: its line, one extension line (the other's flag is 0), its text.
    add("linear_dim_feature('1','1','1','1','400','10','450','10',"
        "'1','400','0','400','2','400','10','0','450','0','450','2','450','10',"
        "'1','1','400','10','1','1','1','450','10','1',"
        "'1','1',\\'50\\','425','11','2.5','5','1.25','0','0','2','1')");
    add("unknown_future_feature('1','2')");
    add("drawing_sheet_feature(\\'S1\\','2','1','594','420')");
    add("line_feature('1','1','1','1','0','0','999','999')");  // after the sheet: ignored
    const Read r = read(sfcFile(b));
    ASSERT_TRUE(r.ok) << r.error.message << " at " << r.error.offset;
    ASSERT_EQ(r.pages.size(), 1u);
    const Page& p = r.pages[0];
    EXPECT_NEAR(p.width, 594 * kUnitsPerMm, 1e-9);
    EXPECT_NEAR(p.height, 420 * kUnitsPerMm, 1e-9);

    ASSERT_GE(p.paths.size(), 7u);
    const Path& circle = p.paths[0];
    EXPECT_TRUE(circle.closed);
    EXPECT_EQ(circle.stroke.color, 0xFF0000u);
    EXPECT_NEAR(circle.stroke.widthMm, 0.5, 1e-9);
    for (const auto& pt : circle.points) {
        EXPECT_NEAR(std::hypot(pt.x / 40 - 100, pt.y / 40 - 100), 10, test::kFloatReach);
    }
    const Path& arc = p.paths[1];
    EXPECT_FALSE(arc.closed);
    EXPECT_EQ(arc.stroke.lineType, 2);
    EXPECT_EQ(arc.stroke.dashMm, (std::vector<double>{6, 1.5}));
    EXPECT_NEAR(arc.points.front().y, 50 * kUnitsPerMm, 1e-6);  // starts at 90 degrees
    EXPECT_NEAR(arc.points.back().x, 50 * kUnitsPerMm, 1e-6);   // ends at 0
    for (const auto& pt : arc.points) {
        EXPECT_GE(pt.x, -1e-6);
        EXPECT_GE(pt.y, -1e-6);
    }
    const Path& spline = p.paths[2];
    EXPECT_GT(spline.points.size(), 4u);
    EXPECT_NEAR(spline.points.back().x, 30 * kUnitsPerMm, 1e-9);

    ASSERT_EQ(p.texts.size(), 2u);
    EXPECT_EQ(p.texts[1].text, "50");
    EXPECT_EQ(p.texts[1].labelOrigin, 4);  // anchor 2: bottom centre
    EXPECT_EQ(p.texts[0].text, "AB");
    EXPECT_EQ(p.texts[0].labelOrigin, 5);
    EXPECT_NEAR(p.texts[0].charWidth, 10 * kUnitsPerMm, 1e-9);  // (25 - 5) / 2
    EXPECT_EQ(p.texts[0].stroke.pen, 1);                        // layer 1 "Outline"

    const Path& fill = p.paths[3];
    EXPECT_TRUE(fill.filled);
    EXPECT_EQ(fill.points.size(), 4u);
    EXPECT_EQ(fill.stroke.color, 0xFF0000u);
    // Hatch lines 10 mm apart across the 40 mm square: three inside it.
    int hatch = 0;
    for (std::size_t i = 4; i < p.paths.size(); ++i) {
        const auto& pts = p.paths[i].points;
        if (pts.size() == 2 && pts[0].y == pts[1].y && pts[0].y > 200 * 40 && pts[0].y < 240 * 40) {
            ++hatch;
            EXPECT_NEAR(std::abs(pts[1].x - pts[0].x), 40 * kUnitsPerMm, 1e-6);
        }
    }
    EXPECT_EQ(hatch, 3);
    // The dimension line and its one extension line.
    int dimension = 0;
    for (const auto& path : p.paths) {
        const auto& pts = path.points;
        dimension += pts.size() == 2 && pts[0] == (Point{400 * 40, 10 * 40}) &&
                     pts[1] == (Point{450 * 40, 10 * 40});
        dimension += pts.size() == 2 && pts[0] == (Point{400 * 40, 2 * 40}) &&
                     pts[1] == (Point{400 * 40, 10 * 40});
        EXPECT_FALSE(pts.size() == 2 && pts[0] == (Point{450 * 40, 2 * 40}));
    }
    EXPECT_EQ(dimension, 2);
    // Its arrows point outward from the ends of its line, 3 mm long.
    const Path& arrow = p.paths[p.paths.size() - 2];
    EXPECT_EQ(arrow.points,
              (std::vector<Point>{{403 * 40, 9 * 40}, {400 * 40, 10 * 40}, {403 * 40, 11 * 40}}));
    EXPECT_EQ(p.paths.back().points[1], (Point{450 * 40, 10 * 40}));
    EXPECT_NEAR(p.paths.back().points[0].x, 447 * 40, 1e-9);
    // The figure: one line 20 mm up from (300, 0), one 10 mm right from (320, 0).
    const Path& up = p.paths[p.paths.size() - 6];
    EXPECT_NEAR(up.points[1].x, 300 * kUnitsPerMm, 1e-6);
    EXPECT_NEAR(up.points[1].y, 20 * kUnitsPerMm, 1e-6);
    const Path& right = p.paths[p.paths.size() - 5];
    EXPECT_NEAR(right.points[1].x, 330 * kUnitsPerMm, 1e-6);
    for (const auto& path : p.paths) {
        for (const auto& pt : path.points) {
            EXPECT_LT(pt.x, 900 * kUnitsPerMm);  // nothing of the line after the sheet
        }
    }
}

TEST(Sxf, EntitiesOthersWrite) {
    const std::string p21 =
        "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('SCADEC level2 AP202_mode'),'2;1');\nENDSEC;\n"
        "DATA;\n"
        "#1=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n"
        "#4=DRAUGHTING_PRE_DEFINED_COLOUR('red');\n"
        "#5=DRAUGHTING_PRE_DEFINED_CURVE_FONT('continuous');\n"
        "#6=LENGTH_MEASURE_WITH_UNIT(POSITIVE_LENGTH_MEASURE(0.25),#1);\n"
        "#7=CARTESIAN_POINT(' ',(10.,10.));\n"
        "#8=CARTESIAN_POINT(' ',(100.,10.));\n"
        "#9=DIRECTION(' ',(90.,0.));\n"
        "#10=VECTOR(' ',#9,1.);\n"
        "#11=LINE(' ',#7,#10);\n"
        "#12=TRIMMED_CURVE(' ',#11,(#7),(#8),.T.,.CARTESIAN.);\n"
        "#13=CURVE_STYLE(' ',#5,#6,#4);\n"
        "#14=PRESENTATION_STYLE_ASSIGNMENT((#13));\n"
        "#15=(ANNOTATION_CURVE_OCCURRENCE()ANNOTATION_OCCURRENCE()DRAUGHTING_ANNOTATION_OCCURRENCE("
        ")"
        "GEOMETRIC_REPRESENTATION_ITEM()REPRESENTATION_ITEM(' ')STYLED_ITEM((#14),#12));\n"
        "/* a circle trimmed from 0 to pi/2, counter-clockwise */\n"
        "#30=AXIS2_PLACEMENT_2D(' ',#7,$);\n"
        "#31=CIRCLE(' ',#30,5.);\n"
        "#32=TRIMMED_CURVE(' ',#31,(PARAMETER_VALUE(0.)),(PARAMETER_VALUE(1.5707963267949)),.T.,"
        ".PARAMETER.);\n"
        "#33=(ANNOTATION_CURVE_OCCURRENCE()ANNOTATION_OCCURRENCE()DRAUGHTING_ANNOTATION_OCCURRENCE("
        ")"
        "GEOMETRIC_REPRESENTATION_ITEM()REPRESENTATION_ITEM(' ')STYLED_ITEM((#14),#32));\n"
        "#40=SOMETHING_ELSE_ENTIRELY('x',(1,2,(3,4)),.ENUM.,\"0FF\");\n"
        "#19=CARTESIAN_POINT(' ',(0.,0.));\n"
        "#20=AXIS2_PLACEMENT_2D(' ',#19,$);\n"
        "#21=PLANAR_BOX(' ',420.,297.,#20);\n"
        "#22=DRAWING_SHEET_REVISION('A3_horizontal',(#15,#21),#3,'01');\n"
        "#25=PRESENTATION_LAYER_ASSIGNMENT('L1',' ',(#15,#33));\n"
        "ENDSEC;\nEND-ISO-10303-21;\n";
    const Read r = read(p21);
    ASSERT_TRUE(r.ok) << r.error.message << " at " << r.error.offset;
    ASSERT_EQ(r.pages.size(), 1u);
    const Page& p = r.pages[0];
    EXPECT_NEAR(p.width, 420 * kUnitsPerMm, 1e-9);
    ASSERT_EQ(p.paths.size(), 2u);
    EXPECT_EQ(p.paths[0].points, (std::vector<Point>{{400, 400}, {4000, 400}}));
    EXPECT_EQ(p.paths[0].stroke.color, 0xFF0000u);
    EXPECT_NEAR(p.paths[0].stroke.widthMm, 0.25, 1e-12);
    EXPECT_EQ(p.paths[0].stroke.pen, 1);
    const Path& arc = p.paths[1];
    EXPECT_NEAR(arc.points.front().x, 15 * kUnitsPerMm, 1e-6);
    EXPECT_NEAR(arc.points.back().y, 15 * kUnitsPerMm, 1e-6);
}

TEST(Sxf, BrokenFilesAreRefusedWithTheirPlace) {
    const std::string good = write({samplePage()}, SxfForm::Sfc);
    const std::string goodP21 = write({samplePage()}, SxfForm::P21);
    const std::string poly = "polyline_feature('1','1','1','1','3','(0,1,2)','(0,1,2)')";
    const std::string tables = block("layer_feature(\\'A\\','1')", 10) +
                               block("pre_defined_colour_feature(\\'black\\')", 20) +
                               block("pre_defined_font_feature(\\'continuous\\')", 30) +
                               block("width_feature('0.130000')", 40);
    ASSERT_TRUE(read(sfcFile(tables + block(poly, 50))).ok);
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"empty", ""},
        {"no header", "HEADER;DATA;ENDSEC;"},
        {"cut in a block", good.substr(0, good.find("SXF*/", good.size() / 2))},
        {"cut in a string", sfcFile(tables + "/*SXF\n#50 = layer_feature(\\'never ends\nSXF*/\n")},
        {"unquoted", sfcFile(tables + block("line_feature(1,1,1,1,0,0,1,1)", 50))},
        {"absurd count",
         sfcFile(tables +
                 block("polyline_feature('1','1','1','1','1000000000','(0,1)','(0,1)')", 50))},
        {"missing table entry",
         sfcFile(tables + block("line_feature('1','7','1','1','0','0','1','1')", 50))},
        {"not a number",
         sfcFile(tables + block("line_feature('1','1','1','1','x','0','1','1')", 50))},
        {"too few parameters", sfcFile(tables + block("line_feature('1','1')", 50))},
        {"p21 cut", goodP21.substr(0, goodP21.size() / 2)},
        {"p21 missing reference",
         "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=POLYLINE('',(#7,#8));\n"
         "#2=(ANNOTATION_CURVE_OCCURRENCE()STYLED_ITEM((),#1));\nENDSEC;\n"},
        {"p21 deep nesting", "ISO-10303-21;\nDATA;\n#1=X(" + std::string(100, '(') +
                                 std::string(100, ')') + ");\nENDSEC;\n"},
        {"p21 unterminated string", "ISO-10303-21;\nDATA;\n#1=X('abc);\nENDSEC;\n"},
        {"p21 twice", "ISO-10303-21;\nDATA;\n#1=X();\n#1=Y();\nENDSEC;\n"},
    };
    for (const auto& [what, data] : bad) {
        const Read r = read(data);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_FALSE(r.error.message.empty()) << what;
        EXPECT_LE(r.error.offset, data.size()) << what;
        EXPECT_TRUE(r.pages.empty()) << what;
    }
    // The error names where it happened: the block of the bad feature.
    const std::string file = sfcFile(tables + block(poly, 50) + block("line_feature(1)", 60));
    const Read r = read(file);
    EXPECT_EQ(r.error.offset, file.find("/*SXF\r\n#60"));
}

}  // namespace
