#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include "hpgl_test_util.h"
#include "read_all.h"

namespace drawing::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> copySamples(const fs::path& to) {
    std::vector<fs::path> copied;
    const fs::path root = fs::path(MERVIK_SAMPLES_DIR) / "hpgl";
    for (const char* dir : {"hp2xx", "hpgl-rendering"}) {
        for (const auto& entry : fs::directory_iterator(root / dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".hp" || ext == ".hpg" || ext == ".hpgl" || ext == ".plt" || ext == ".pcl") {
                fs::copy_file(entry.path(), to / entry.path().filename());
                copied.push_back(to / entry.path().filename());
            }
        }
    }
    return copied;
}

TEST(HpglSamples, EverySampleReadsIntoPagesWithContent) {
    TempRoot tmp;
    const auto files = copySamples(tmp.path());
    ASSERT_GE(files.size(), 45u);
    for (const auto& file : files) {
        const ReadResult r = readFile(file.string());
        EXPECT_TRUE(r.ok) << file.filename() << ": " << r.error.message << " at " << r.error.offset;
        EXPECT_FALSE(r.pages.empty()) << file.filename();
        for (const Page& p : r.pages) {
            EXPECT_FALSE(p.empty()) << file.filename();
        }
    }
}

TEST(HpglSamples, MultiPageSamplesSplitAtPageEnds) {
    TempRoot tmp;
    copySamples(tmp.path());
    // pages.hp has three pages separated by PG; the .hpgl files have no PG.
    const std::pair<const char*, std::size_t> expected[] = {
        {"pages.hp", 3}, {"pages.hpgl", 1}, {"pages.1.hpgl", 1}, {"pages.2.hpgl", 1}};
    for (const auto& [name, count] : expected) {
        const ReadResult r = readFile((tmp.path() / name).string());
        ASSERT_TRUE(r.ok) << name;
        EXPECT_EQ(r.pages.size(), count) << name;
    }
    const ReadResult r = readFile((tmp.path() / "pages.hp").string());
    ASSERT_EQ(r.pages.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(r.pages[i].texts.size(), 1u);
        EXPECT_EQ(r.pages[i].texts[0].text, "Page " + std::to_string(i + 1));
    }
}

// A page read from a file starts with room for its paths, so that its list
// is not copied as it grows: the first page for what the rest of the file
// is likely to hold, each later one for what the page before it held and a
// quarter more (a thousand small pages are not each given the room of all
// the rest). The room changes nothing that is read.
TEST(HpglFile, EachPageStartsWithRoomForItsPaths) {
    std::string plot = "IN;SP1;";
    const auto lines = [&](int n, int y0) {
        for (int i = 0; i < n; ++i) {
            const std::string x = std::to_string(i % 500 * 20);
            const std::string y = std::to_string(y0 + i / 500 * 20);
            plot += "PU" + x + "," + y + ";PD" + x + "," + y + "5;";
        }
    };
    for (const int n : {2000, 2000, 10, 10, 2000}) {
        lines(n, n == 10 ? 0 : 100);
        plot += "PG;";
    }
    TempRoot tmp;
    const fs::path file = tmp.path() / "lines.plt";
    std::ofstream(file, std::ios::binary) << plot;
    const ReadResult fromFile = readFile(file.string());
    const ReadResult fromStream = readString(plot);
    ASSERT_TRUE(fromFile.ok) << fromFile.error.message;
    ASSERT_TRUE(fromStream.ok);
    ASSERT_EQ(fromFile.pages.size(), 5u);
    EXPECT_EQ(fromFile.pages, fromStream.pages);
    EXPECT_EQ(fromFile.pages[0].paths.size(), 2000u);
    // Grown path by path, the first page's list would hold 2048.
    EXPECT_GE(fromFile.pages[0].paths.capacity(), 6020u);
    EXPECT_GE(fromFile.pages[1].paths.capacity(), 2000u);
    // After a small page, little room, though much of the file is left.
    EXPECT_LT(fromFile.pages[3].paths.capacity(), 100u);
    EXPECT_EQ(fromFile.pages[4].paths.size(), 2000u);
}

TEST(HpglSamples, RasterPrintKeepsItsImage) {
    TempRoot tmp;
    copySamples(tmp.path());
    const ReadResult r = readFile((tmp.path() / "test-print.pcl").string());
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    ASSERT_EQ(r.pages[0].rasters.size(), 1u);
    EXPECT_EQ(r.pages[0].rasters[0].width, 640);
    EXPECT_EQ(r.pages[0].rasters[0].channels, 1);
}

TEST(HpglReader, PenMovesScalingAndPages) {
    const ReadResult r = readString(
        "IN;IP0,0,1000,1000;SC0,10,0,10;SP2;PU1,1;PD2,1,2,2;PU;PR;PU1,1;PD1,0;PG;"
        "SP1;PA;PD;PU;PG;PG;IN;SP3;PA5,5;PD10,10;");
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 2u);  // the empty middle page is not handed on
    const Page& p = r.pages[0];
    ASSERT_EQ(p.paths.size(), 2u);
    EXPECT_EQ(p.paths[0].points, (std::vector<Point>{{100, 100}, {200, 100}, {200, 200}}));
    EXPECT_EQ(p.paths[0].stroke.pen, 2);
    EXPECT_EQ(p.paths[0].stroke.color, 0xFF0000u);
    EXPECT_EQ(p.paths[1].points, (std::vector<Point>{{300, 300}, {400, 300}}));
    EXPECT_EQ(r.pages[1].paths[0].points, (std::vector<Point>{{5, 5}, {10, 10}}));
}

TEST(HpglReader, InstructionsWithoutSeparatorsAndLowerCase) {
    const ReadResult r = readString("INSP1PA0,0PD100 0 100 100PU pd;sp2;pa0,0;pd50,50;");
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    ASSERT_EQ(r.pages[0].paths.size(), 2u);
    EXPECT_EQ(r.pages[0].paths[0].points.size(), 3u);
    EXPECT_EQ(r.pages[0].paths[1].stroke.pen, 2);
}

TEST(HpglReader, PenColoursWidthsAndLineTypes) {
    const ReadResult r = readString(
        "IN;SP5;PA0,0;PD1,1;PC5,10,20,30;PW0.7,5;LT2,10,1;PD2,2;"
        "CR0,100,0,100,0,100;PC5,100,50,0;LT;PD3,3;NP8;PD4,4;");
    ASSERT_TRUE(r.ok) << r.error.message;
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[0].stroke.color, 0x0000FFu);
    EXPECT_DOUBLE_EQ(paths[0].stroke.widthMm, 0.35);
    EXPECT_EQ(paths[1].stroke.color, 0x0A141Eu);
    EXPECT_DOUBLE_EQ(paths[1].stroke.widthMm, 0.7);
    EXPECT_EQ(paths[1].stroke.lineType, 2);
    EXPECT_EQ(paths[1].stroke.dashMm, (std::vector<double>{5, 5}));
    EXPECT_EQ(paths[2].stroke.color, 0xFF8000u);
    EXPECT_TRUE(paths[2].stroke.dashMm.empty());
    EXPECT_EQ(paths[3].stroke.color, 0x0000FFu);
}

TEST(HpglReader, LabelsTakeSizeDirectionOriginAndTerminator) {
    const ReadResult r = readString(
        "IN;SP1;PA100,200;LBabc\x03;SI0.5,1;DI0,1;LO5;PA1000,1000;DT#,1;LBx;y#;"
        "DI;LO;SI;DT;PA0,0;LBone\r\ntwo\x03");
    ASSERT_TRUE(r.ok) << r.error.message;
    const auto& t = r.pages.at(0).texts;
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].text, "abc");
    EXPECT_EQ(t[0].origin, (PrecisePoint{100, 200}));
    EXPECT_DOUBLE_EQ(t[0].charWidth, 76);
    EXPECT_DOUBLE_EQ(t[0].charHeight, 108);
    EXPECT_EQ(t[1].text, "x;y");
    EXPECT_DOUBLE_EQ(t[1].charWidth, 200);
    EXPECT_DOUBLE_EQ(t[1].charHeight, 400);
    EXPECT_DOUBLE_EQ(t[1].angleDeg, 90);
    EXPECT_EQ(t[1].labelOrigin, 5);
    EXPECT_EQ(t[2].text, "one");
    EXPECT_EQ(t[3].text, "two");
    EXPECT_DOUBLE_EQ(t[3].origin.x, 0);
    EXPECT_DOUBLE_EQ(t[3].origin.y, -2 * 108);  // one line down
}

// Relative sizes are per cent of the distance of P1 and P2: on a desk
// plotter's sheet 10,000 by 7,200 units, on media the plot sets its size.
TEST(HpglReader, RelativeCharacterSizesFollowTheScalingPoints) {
    ReadResult r = readString("IN;SR1.67,1.78;PA0,0;LBx\x03");
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_DOUBLE_EQ(r.pages.at(0).texts.at(0).charWidth, 167);
    EXPECT_DOUBLE_EQ(r.pages.at(0).texts.at(0).charHeight, 0.0178 * 7200);
    r = readString("IN;PS8000,5000;SR1,2;PA0,0;LBx\x03");
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_DOUBLE_EQ(r.pages.at(0).texts.at(0).charWidth, 80);
    EXPECT_DOUBLE_EQ(r.pages.at(0).texts.at(0).charHeight, 100);
}

// An instrument's screen plot writes each word as a label of its own at
// its place, sized relatively: the words must not run into each other.
TEST(HpglSamples, WordsOfARelativelySizedPlotKeepApart) {
    TempRoot tmp;
    const fs::path file = tmp.path() / "test.plt";
    fs::copy_file(fs::path(MERVIK_SAMPLES_DIR) / "hpgl/hpgl-rendering/test.plt", file);
    const ReadResult r = readFile(file.string());
    ASSERT_TRUE(r.ok) << r.error.message;
    std::vector<Text> texts = r.pages.at(0).texts;
    ASSERT_GE(texts.size(), 10u);
    std::sort(texts.begin(), texts.end(), [](const Text& a, const Text& b) {
        return a.origin.y != b.origin.y ? a.origin.y < b.origin.y : a.origin.x < b.origin.x;
    });
    int neighbours = 0;
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        const Text& a = texts[i];
        const Text& b = texts[i + 1];
        if (a.origin.y != b.origin.y) {
            continue;
        }
        ++neighbours;
        // The last character's cell is a character width and its gap.
        const double end =
            a.origin.x + (static_cast<double>(a.text.size()) - 0.5) * 1.5 * a.charWidth;
        EXPECT_LT(end, b.origin.x) << a.text << " runs into " << b.text;
    }
    EXPECT_GE(neighbours, 6);
}

TEST(HpglReader, RotationTurnsThePlotWithinTheMedia) {
    const ReadResult r = readString("IN;PS1000,500;RO90;PA0,0;PD100,0;");
    ASSERT_TRUE(r.ok);
    const Page& p = r.pages.at(0);
    EXPECT_DOUBLE_EQ(p.width, 1000);
    EXPECT_DOUBLE_EQ(p.height, 500);
    EXPECT_EQ(p.paths.at(0).points, (std::vector<Point>{{1000, 0}, {1000, 100}}));
}

TEST(HpglReader, InputWindowClipsOutlinesFillsAndLabels) {
    const ReadResult r = readString(
        "IN;IW0,0,100,100;PA-50,50;PD150,50;PU;PA50,50;PD50,150,150,150;PU;"
        "PA50,50;RA200,200;PA500,500;LBgone\x03;PA10,10;LBkept\x03;"
        "IW;PA-50,-50;PD-60,-60;");
    ASSERT_TRUE(r.ok);
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[0].points, (std::vector<Point>{{0, 50}, {100, 50}}));
    EXPECT_EQ(paths[1].points, (std::vector<Point>{{50, 50}, {50, 100}}));
    ASSERT_TRUE(paths[2].filled);
    for (const Point& p : paths[2].points) {
        EXPECT_TRUE(p.x >= 50 && p.x <= 100 && p.y >= 50 && p.y <= 100);
    }
    EXPECT_EQ(paths[3].points.back(), (Point{-60, -60}));  // no window without media
    ASSERT_EQ(r.pages[0].texts.size(), 1u);
    EXPECT_EQ(r.pages[0].texts[0].text, "kept");
}

// --- encoded polylines: values worked out by hand from the encoding rules.
// 8 bit (base 64): digits 63..126 go on, 191..254 end a number.
// 7 bit (base 32): digits 63..94 go on, 95..126 end a number.
TEST(HpglReader, PolylineEncodedEightBit) {
    // "=" absolute, "<" pen up: to (100, 0) = 200 -> 8 + 3*64, 0 -> 0.
    // Then pen down relative (-3, 5): -3 -> 7, 5 -> 10.
    std::string pe = "IN;PE<=";
    pe += {static_cast<char>(63 + 8), static_cast<char>(191 + 3), static_cast<char>(191)};
    pe += {static_cast<char>(191 + 7), static_cast<char>(191 + 10)};
    pe += ";";
    const ReadResult r = readString(pe);
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].paths.at(0).points, (std::vector<Point>{{100, 0}, {97, 5}}));
}

TEST(HpglReader, PolylineEncodedFlagsWithEighthBitAndNegativeFraction) {
    // 0xBC is '<' with the eighth bit; fraction -1 (3 -> 191+3) doubles values.
    // Pen-up relative (0, 0), then (10, 0): 20 -> 191+20.
    std::string pe = "IN;PA5,5;PE>";
    pe += {static_cast<char>(194),
           static_cast<char>(0xBC),
           static_cast<char>(191),
           static_cast<char>(191),
           '\n',
           static_cast<char>(191 + 20),
           static_cast<char>(191)};
    pe += ";";
    const ReadResult r = readString(pe);
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_EQ(r.pages.at(0).paths.at(0).points, (std::vector<Point>{{5, 5}, {25, 5}}));
}

TEST(HpglReader, PolylineEncodedSevenBitWithPenAndFraction) {
    // 7 bit; pen 3 (6 -> '_'+6); fractional bits 1 (2 -> 'a');
    // pen-up absolute: 200 = 8 + 6*32 -> 'G','e' is +100 halves; 64 = 0 + 2*32 -> '?','a'
    // is +32 halves. Then relative 'a' (+1 half), 'b' (-1 half).
    const ReadResult r = readString("IN;PE7:e>a<=Ge?aab;");
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    const Path& p = r.pages[0].paths.at(0);
    EXPECT_EQ(p.points, (std::vector<Point>{{50, 16}, {50.5, 15.5}}));
    EXPECT_EQ(p.stroke.pen, 3);
}

// The pen keeps its place in full precision; only the points it leaves on
// the page are floats. Ten thousand relative steps of a tenth of a unit end
// where they add up to, not where rounding each step to a float would take
// them (a tenth of a unit and more off).
TEST(HpglReader, RelativeStepsAddUpInFullPrecision) {
    std::string plot = "IN;PU;PR";
    for (int i = 0; i < 10000; ++i) {
        plot += "0.1,0.3,";
    }
    plot += "0,0;PD10,0;PU;";
    const ReadResult r = readString(plot);
    ASSERT_TRUE(r.ok) << r.error.message;
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NEAR(paths[0].points.front().x, 1000, test::kFloatReach);
    EXPECT_NEAR(paths[0].points.front().y, 3000, test::kFloatReach);
    EXPECT_NEAR(paths[0].points.back().x, 1010, test::kFloatReach);
}

// --- arcs
TEST(HpglReader, ArcsEndWhereTheyShould) {
    const ReadResult r = readString(
        "IN;PA100,0;PD;AA0,0,90,10;PU;PA0,0;PD;AR100,0,-180;PU;"
        "PA0,0;PD;AT50,50,100,0;PU;");
    ASSERT_TRUE(r.ok);
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 3u);
    const auto near = [](Point a, Point b) {
        return std::hypot(a.x - b.x, a.y - b.y) < test::kFloatReach;
    };
    EXPECT_TRUE(near(paths[0].points.back(), {0, 100}));
    EXPECT_EQ(paths[0].points.size(), 10u);  // 90 degrees in 10 degree chords
    EXPECT_TRUE(near(paths[1].points.back(), {200, 0}));
    EXPECT_TRUE(near(paths[2].points.back(), {100, 0}));
    for (const Point& pt : paths[2].points) {
        EXPECT_NEAR(std::hypot(pt.x - 50, pt.y), 50, test::kFloatReach);
        EXPECT_GE(pt.y, -test::kFloatReach);  // the arc passes through (50, 50), above the chord
    }
}

TEST(HpglReader, CirclesWedgesAndRectangles) {
    const ReadResult r = readString("IN;PA500,500;CI100,0.0001;CI50;WG100,0,90;EA600,700;RR10,20;");
    ASSERT_TRUE(r.ok);
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_TRUE(paths[0].closed);
    EXPECT_LE(paths[0].points.size(), 720u);  // tiny chord angles are capped
    EXPECT_EQ(paths[1].points.size(), 32u);   // 5 degrees would be finer than a unit shows
    EXPECT_TRUE(paths[2].filled);
    EXPECT_EQ(paths[2].points.front(), (Point{500, 500}));
    EXPECT_EQ(paths[3].points,
              (std::vector<Point>{{500, 500}, {600, 500}, {600, 700}, {500, 700}}));
    EXPECT_FALSE(paths[3].filled);
    EXPECT_TRUE(paths[4].filled);
}

// The paths of the plot's first page; none when it does not read.
std::vector<Path> firstPagePaths(const std::string& hpgl) {
    const ReadResult r = readString(hpgl);
    EXPECT_TRUE(r.ok) << r.error.message;
    return r.ok && !r.pages.empty() ? r.pages[0].paths : std::vector<Path>{};
}

// The largest gap between a chord's middle and the arc of the radius
// around c that its points lie on.
double worstSag(const std::vector<Point>& pts, Point c, double radius, bool closed) {
    double worst = 0;
    for (std::size_t i = 0; i + (closed ? 0 : 1) < pts.size(); ++i) {
        const Point a = pts[i];
        const Point b = pts[(i + 1) % pts.size()];
        worst = std::max(worst, radius - std::hypot((a.x + b.x) / 2 - c.x, (a.y + b.y) / 2 - c.y));
    }
    return worst;
}

// Chords finer than the whole units a page is written in are joined, so a
// board's pads and vias, circles a few units across, are no longer 72
// points each; larger circles and chords the plot asks to be coarse keep
// their angle.
TEST(HpglReader, ChordsAreNoFinerThanAQuarterUnitFromTheArc) {
    const std::vector<Path> paths = firstPagePaths(
        "IN;PA5000,5000;CI2000;CI26;CI0;CI10,30;CI100,1;"
        "PU100,0;PD;AA0,0,90;PU;PA0,0;EW40,0,180;");
    ASSERT_EQ(paths.size(), 7u);
    const Point c{5000, 5000};
    EXPECT_EQ(paths[0].points.size(), 72u);  // 5 degrees: within a quarter unit already
    EXPECT_LT(paths[1].points.size(), 30u);
    EXPECT_GT(paths[1].points.size(), 15u);
    EXPECT_LE(worstSag(paths[1].points, c, 26, true), 0.25 + 1e-9);
    EXPECT_EQ(paths[2].points.size(), 4u);   // a dot
    EXPECT_EQ(paths[3].points.size(), 12u);  // the plot's own 30 degrees
    EXPECT_LT(paths[4].points.size(), 72u);  // 1 degree asked, far finer than shows
    EXPECT_LE(worstSag(paths[4].points, c, 100, true), 0.25 + 1e-9);
    // An arc and a wedge's curved side follow the same rule.
    EXPECT_LT(paths[5].points.size(), 19u);
    EXPECT_LE(worstSag(paths[5].points, {0, 0}, 100, false), 0.25 + 1e-9);
    EXPECT_LT(std::hypot(paths[5].points.back().x, paths[5].points.back().y - 100), 1e-9);
    EXPECT_LT(paths[6].points.size(), 38u);
}

// After CT 1 the tolerance an arc gives is how far its chords may stray,
// in current units; an arc that gives none keeps 5 degrees, and CT 0 or a
// reset goes back to angles.
TEST(HpglReader, ChordToleranceAsADistanceAfterCT1) {
    const std::vector<Path> paths = firstPagePaths(
        "IN;PA5000,5000;CT1;CI2000,10;CI2000;CT0;CI2000,10;CT1;"
        "PU7000,5000;PD;AA5000,5000,90,10;PU;PA5000,5000;WG2000,0,90,10;"
        "DF;PA5000,5000;CI2000,10;"
        "IP0,0,1000,1000;SC0,100,0,100;PA500,500;CT1;CI200,1;");
    ASSERT_EQ(paths.size(), 7u);
    const Point c{5000, 5000};
    // A chord 10 units from an arc of 2000 spans 11.5 degrees: 32 of them.
    EXPECT_EQ(paths[0].points.size(), 32u);
    EXPECT_LE(worstSag(paths[0].points, c, 2000, true), 10 + 1e-9);
    EXPECT_GT(worstSag(paths[0].points, c, 2000, true), 9);
    EXPECT_EQ(paths[1].points.size(), 72u);
    EXPECT_EQ(paths[2].points.size(), 36u);  // 10 degrees
    EXPECT_EQ(paths[3].points.size(), 9u);   // a quarter turn in 8 chords
    EXPECT_LE(worstSag(paths[3].points, c, 2000, false), 10 + 1e-9);
    EXPECT_EQ(paths[4].points.size(), 10u);  // the wedge's centre and its arc
    EXPECT_EQ(paths[5].points.size(), 36u);  // DF reads angles again
    // One user unit here is ten plotter units.
    EXPECT_EQ(paths[6].points.size(), 32u);
    EXPECT_LE(worstSag(paths[6].points, c, 2000, true), 10 + 1e-9);
}

// Outlines flattened to whole units repeat a quarter of their points; a
// pen put down where it stands adds none, but a dot stays a dot and a
// symbol is still plotted at every point.
TEST(HpglReader, APenPutDownWhereItStandsAddsNoPoint) {
    const ReadResult r = readString(
        "IN;PU0,0;PD10,0,10,0,10,0,20,0;PU;PA50,50;PD50,50;PD50,50;PU;"
        "PA70,0;PD70,0,80,0,80,0;PU;"
        "PA100,100;PM0;PD200,100,200,100,200,200;PM2;FP;PU;SM*;PA300,0;PD300,0;");
    ASSERT_TRUE(r.ok);
    const Page& page = r.pages.at(0);
    ASSERT_EQ(page.paths.size(), 5u);
    EXPECT_EQ(page.paths[0].points, (std::vector<Point>{{0, 0}, {10, 0}, {20, 0}}));
    EXPECT_EQ(page.paths[1].points, (std::vector<Point>{{50, 50}, {50, 50}}));
    EXPECT_EQ(page.paths[2].points, (std::vector<Point>{{70, 0}, {80, 0}}));
    EXPECT_TRUE(page.paths[3].filled);
    EXPECT_EQ(page.paths[3].points, (std::vector<Point>{{100, 100}, {200, 100}, {200, 200}}));
    EXPECT_EQ(page.paths[4].points, (std::vector<Point>{{300, 0}, {300, 0}}));
    EXPECT_EQ(page.texts.size(), 2u);  // a symbol at each point, repeated or not
}

TEST(HpglReader, HatchedFillsBecomeLinesInsideTheArea) {
    const ReadResult r = readString(
        "IN;PA0,0;FT3,10,0;RA100,50;FT4,25,45;RA100,50;FT10,50;SP2;"
        "RA10,10;FT;RA10,10;");
    ASSERT_TRUE(r.ok);
    const auto& paths = r.pages.at(0).paths;
    std::size_t horizontal = 0, diagonal = 0;
    for (const Path& p : paths) {
        if (p.filled) {
            continue;
        }
        ASSERT_EQ(p.points.size(), 2u);
        for (const Point& pt : p.points) {
            EXPECT_TRUE(pt.x >= -1e-9 && pt.x <= 100 + 1e-9 && pt.y >= -1e-9 && pt.y <= 50 + 1e-9);
        }
        if (std::fabs(p.points[0].y - p.points[1].y) < 1e-9) {
            EXPECT_DOUBLE_EQ(std::fabs(p.points[1].x - p.points[0].x), 100);
            ++horizontal;
        } else {
            ++diagonal;
        }
    }
    EXPECT_EQ(horizontal, 5u);  // y = 0, 10, ..., 40: the top edge is outside
    EXPECT_GT(diagonal, 4u);
    ASSERT_TRUE(paths[paths.size() - 2].filled);
    EXPECT_EQ(paths[paths.size() - 2].stroke.color, 0xFF8080u);  // 50 % red
    EXPECT_EQ(paths.back().stroke.color, 0xFF0000u);
}

TEST(HpglReader, PolygonModeKeepsHolesAsSubpaths) {
    const ReadResult r = readString(
        "IN;PA0,0;PM0;PD100,0,100,100,0,100,0,0;PM1;PU20,20;PD80,20,80,80,20,80;PM2;FP;EP;");
    ASSERT_TRUE(r.ok);
    const auto& paths = r.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_TRUE(paths[0].filled);
    EXPECT_TRUE(paths[0].evenOdd);
    EXPECT_EQ(paths[0].points.size(), 9u);
    EXPECT_EQ(paths[0].subpathStarts, (std::vector<std::size_t>{5}));
    EXPECT_FALSE(paths[1].filled);
    EXPECT_TRUE(paths[1].closed);
}

// A plot of text as glyph outlines edges each letter it fills with the
// thinnest pen. Read for a comparison, such an edge keeps no points of its
// own; an edge of any width, of another polygon or after no fill keeps its.
TEST(HpglReader, AnEdgeOfItsFillCanBeReadWithoutPointsOfItsOwn) {
    const std::string plot =
        "IN;SP1;PW0;PU0,0;PM0;PD100,0,100,100,0,100,0,0;PM1;PU20,20;PD80,20,80,80,20,80;PM2;FP;EP;"
        "PW0.35;PU200,0;PM0;PD300,0,300,100,200,100;PM2;FP;EP;"
        "PW0;PU400,0;PM0;PD500,0,500,100,400,100;PM2;FP;PU400,0;PM0;PD450,0,450,50;PM2;EP;"
        "PU600,0;PM0;PD700,0,700,100;PM2;EP;";
    const ReadResult folded = readString(plot, HpglReadOptions{.foldFillEdges = true});
    const ReadResult whole = readString(plot);
    ASSERT_TRUE(folded.ok && whole.ok);
    const auto& paths = folded.pages.at(0).paths;
    const auto& kept = whole.pages.at(0).paths;
    ASSERT_EQ(paths.size(), 7u);
    ASSERT_EQ(kept.size(), 7u);
    EXPECT_TRUE(tracesFill(kept[1], kept[0]));
    EXPECT_TRUE(paths[1].points.empty());
    EXPECT_TRUE(paths[1].subpathStarts.empty());
    EXPECT_TRUE(looksLikeEdgeOf(paths[1], paths[0]));
    EXPECT_FALSE(tracesFill(paths[1], paths[0]));
    for (const std::size_t i : {0, 2, 3, 4, 5, 6}) {
        EXPECT_EQ(paths[i], kept[i]) << i;
        EXPECT_GE(paths[i].points.size(), 3u) << i;
    }
    Path back = paths[1];
    back.points = paths[0].points;
    back.subpathStarts = paths[0].subpathStarts;
    EXPECT_EQ(back, kept[1]);
}

// --- HP RTL rows, the same 16 x 2 image sent in each compression mode
std::string rasterPlot(int mode, const std::string& row1, const std::string& row2) {
    auto w = [](const std::string& data) {
        return esc("*b" + std::to_string(data.size()) + "W") + data;
    };
    return "IN;PA0,1000;" + esc("%1A") + esc("*t100R") + esc("*r16S") + esc("*r1A") +
           esc("*b" + std::to_string(mode) + "M") + w(row1) + w(row2) + esc("*rC") + esc("%0B") +
           "PA0,0;";
}

TEST(HpglReader, RasterRowsInEveryCompressionMode) {
    // Row 1: 0xF0 0x0F; row 2: 0xF0 0xFF.
    const std::string rows[][2] = {
        {"\xF0\x0F", "\xF0\xFF"},                                          // unencoded
        {std::string("\0\xF0\0\x0F", 4), std::string("\0\xF0\0\xFF", 4)},  // runs
        {std::string("\1\xF0\x0F", 3), std::string("\0\xF0\0\xFF", 4)},    // PackBits
        {std::string("\x20\xF0\x0F", 3), std::string("\x01\xFF", 2)},      // delta row
        {},
        {},
        {},
        {},
        {},
        // replacement delta row: 2 literal bytes; then offset 1, one literal byte
        {std::string("\x01\xF0\x0F", 3), std::string("\x08\xFF", 2)},
    };
    Raster first;
    for (int mode : {0, 1, 2, 3, 9}) {
        const ReadResult r = readString(rasterPlot(mode, rows[mode][0], rows[mode][1]));
        ASSERT_TRUE(r.ok) << mode << ": " << r.error.message;
        ASSERT_EQ(r.pages.size(), 1u);
        ASSERT_EQ(r.pages[0].rasters.size(), 1u) << mode;
        const Raster& img = r.pages[0].rasters[0];
        EXPECT_EQ(img.width, 16);
        EXPECT_EQ(img.height, 2);
        EXPECT_EQ(img.channels, 1);
        EXPECT_EQ(img.origin, (PrecisePoint{0, 1000}));
        EXPECT_DOUBLE_EQ(img.dpi, 100);
        ASSERT_EQ(img.pixels.size(), 32u);
        EXPECT_EQ(img.pixels[0], 0);    // set bit: black
        EXPECT_EQ(img.pixels[4], 255);  // clear bit: white
        EXPECT_EQ(img.pixels[12], 0);
        EXPECT_EQ(img.pixels[16 + 8], 0);
        if (mode == 0) {
            first = img;
        } else {
            EXPECT_EQ(img, first) << mode;
        }
    }
}

TEST(HpglReader, MonochromeRowsOfPaperInkAndMixedBytesEndingInPartOfAByte) {
    // 21 pixels a row from three bytes: all paper, all ink, then 0xA5 of
    // which only the first five bits are pixels; the second row the other
    // way round, with a mixed byte first.
    const std::string plot = "IN;PA0,1000;" + esc("%1A") + esc("*t100R") + esc("*r21S") +
                             esc("*r1A") + esc("*b3W") + std::string("\x00\xFF\xA5", 3) +
                             esc("*b3W") + std::string("\x5A\x00\xFF", 3) + esc("*rC") + esc("%0B");
    const ReadResult r = readString(plot);
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    ASSERT_EQ(r.pages[0].rasters.size(), 1u);
    const Raster& img = r.pages[0].rasters[0];
    ASSERT_EQ(img.width, 21);
    ASSERT_EQ(img.height, 2);
    std::string seen;
    for (std::uint8_t v : img.pixels) {
        seen += v == 0 ? '#' : v == 255 ? '.' : '?';
    }
    EXPECT_EQ(seen.substr(0, 21),
              "........########"
              "#.#..");
    EXPECT_EQ(seen.substr(21),
              ".#.##.#."
              "........"
              "#####");
}

TEST(HpglReader, RasterRepeatedReplacementAndSeedRepeat) {
    // Mode 9, repeated: byte 0xF0 twice; an empty row repeats the seed row.
    const ReadResult r = readString(rasterPlot(9, std::string("\x80\xF0", 2), ""));
    ASSERT_TRUE(r.ok);
    const Raster& img = r.pages.at(0).rasters.at(0);
    ASSERT_EQ(img.pixels.size(), 32u);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(img.pixels[16 * row + 8], 0);
        EXPECT_EQ(img.pixels[16 * row + 12], 255);
    }
}

TEST(HpglReader, RasterColourPlanesAndPalettes) {
    // Three planes (RGB simple colour): pixel 0 red+blue, pixel 1 green.
    const std::string planes = esc("*r3U") + esc("*r2S") + esc("*rA") + esc("*b1V") + "\x80" +
                               esc("*b1V") + "\x40" + esc("*b1W") + "\x80" + esc("*rC");
    // Indexed by pixel, 8 bits, index 5 programmed to 10/20/30.
    const std::string indexed = esc("*v6W") + std::string("\0\1\10\10\10\10", 6) +
                                esc("*v10a20b30c5I") + esc("*rA") + esc("*b2W") + "\x05\x00" +
                                esc("*rC");
    const ReadResult r = readString(esc("E") + planes + "\f" + esc("E") + indexed);
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 2u);
    const Raster& a = r.pages[0].rasters.at(0);
    EXPECT_EQ(a.channels, 3);
    EXPECT_EQ(a.pixels, (std::vector<std::uint8_t>{255, 0, 255, 0, 255, 0}));
    const Raster& b = r.pages[1].rasters.at(0);
    EXPECT_EQ(b.channels, 3);
    ASSERT_EQ(b.width, 2);
    EXPECT_EQ(b.pixels[0], 10);
    EXPECT_EQ(b.pixels[1], 20);
    EXPECT_EQ(b.pixels[2], 30);
}

TEST(HpglReader, RtlPagesEndAtFormFeedAndReset) {
    const std::string row = esc("*rA") + esc("*b1W") + "\x80" + esc("*rC");
    const ReadResult r =
        readString(esc("E") + row + "\f" + row + esc("E") + row + "\f\f" + esc("E"));
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_EQ(r.pages.size(), 3u);
}

TEST(HpglReader, ResetFollowedByHpglReadsAsHpgl) {
    const ReadResult r = readString(esc("E") + "\r\nIN;SP1;PA0,0;PD10,10;" + esc("E") + esc("%0B") +
                                    "IN;PA5,5;PD7,7;" + esc("E"));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[1].paths.at(0).points, (std::vector<Point>{{5, 5}, {7, 7}}));
}

TEST(HpglReader, SinkStopsTheReading) {
    std::size_t calls = 0;
    std::istringstream in("IN;PA0,0;PD1,1;PG;PD2,2;PG;PD3,3;");
    ReadError error;
    EXPECT_TRUE(readHpgl(
        in,
        [&](Page&&) {
            ++calls;
            return false;
        },
        error));
    EXPECT_EQ(calls, 1u);
}

// A stream that tells how far it has been read.
class CountingBuf : public std::streambuf {
  public:
    explicit CountingBuf(std::string data) : data_(std::move(data)) {
        setg(data_.data(), data_.data(), data_.data() + data_.size());
    }
    std::size_t consumed() const { return static_cast<std::size_t>(gptr() - eback()); }

  private:
    std::string data_;
};

TEST(HpglReader, PagesArriveBeforeTheInputEnds) {
    std::string plot = "IN;SP1;";
    for (int page = 0; page < 50; ++page) {
        for (int i = 0; i < 1000; ++i) {
            plot += "PA0,0;PD" + std::to_string(i) + "," + std::to_string(page) + ";PU;";
        }
        plot += "PG;";
    }
    CountingBuf buf(plot);
    std::istream in(&buf);
    std::vector<std::size_t> readWhenHanded;
    ReadError error;
    ASSERT_TRUE(readHpgl(
        in,
        [&](Page&& p) {
            EXPECT_EQ(p.paths.size(), 1000u);
            readWhenHanded.push_back(buf.consumed());
            return true;
        },
        error));
    ASSERT_EQ(readWhenHanded.size(), 50u);
    EXPECT_LT(readWhenHanded.front(), plot.size() / 4);
}

// --- writer
Page samplePage() {
    Page p;
    p.width = 16000;
    p.height = 11000;
    Path open;
    open.points = {{10, 20}, {300, 400}, {-50, 7}};
    open.stroke = {3, 0x123456, 0.5};
    Path dashed = open;
    dashed.stroke.lineType = 3;
    dashed.stroke.dashMm = {7, 3};
    dashed.stroke.pen = 4;
    Path custom = open;
    custom.stroke.lineType = -2;
    custom.stroke.dashMm = {1, 2, 3, 4};
    Path closed;
    closed.points = {{0, 0}, {1000, 0}, {1000, 1000}};
    closed.closed = true;
    closed.stroke = {2, 0xFF0000, 1.25};
    Path filled;
    filled.points = {{0, 0}, {100, 0}, {100, 100}, {0, 100}, {20, 20}, {80, 20}, {80, 80}};
    filled.subpathStarts = {4};
    filled.closed = filled.filled = true;
    filled.stroke = {3, 0x00FF80, 0.5};  // pen 3 again, another colour
    Path nonZero = filled;
    nonZero.evenOdd = false;
    nonZero.subpathStarts.clear();
    p.paths = {open, dashed, custom, closed, filled, nonZero};
    Text a;
    a.origin = {500, 600};
    a.text = "Hello; \x03world";  // holds the default terminator
    a.charWidth = 150;
    a.charHeight = 225.5;
    a.angleDeg = 30;
    a.slant = 0.25;
    a.labelOrigin = 5;
    a.stroke = {6, 0xABCDEF, 0.3};
    Text b;
    b.origin = {1, 2};
    b.text = "second";
    b.charWidth = 76;
    b.charHeight = 108;
    p.texts = {a, b};
    Raster grey;
    grey.origin = {100, 5000};
    grey.dpi = 150;
    grey.width = 37;
    grey.height = 5;
    for (int i = 0; i < 37 * 5; ++i) {
        grey.pixels.push_back(static_cast<std::uint8_t>(i < 60 ? 200 : i * 7));
    }
    Raster colour;
    colour.origin = {2000, 3000};
    colour.width = 3;
    colour.height = 2;
    colour.channels = 3;
    colour.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    Raster scan;  // black and white, a width that is no whole number of bytes
    scan.origin = {300, 700};
    scan.width = 13;
    scan.height = 3;
    for (int i = 0; i < 13 * 3; ++i) {
        scan.pixels.push_back(i % 3 == 0 || i > 30 ? 0 : 255);
    }
    p.rasters = {grey, colour, scan};
    return p;
}

void expectSamePage(const Page& a, const Page& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    ASSERT_EQ(a.paths.size(), b.paths.size());
    for (std::size_t i = 0; i < a.paths.size(); ++i) {
        const Path &x = a.paths[i], &y = b.paths[i];
        EXPECT_EQ(x.points, y.points) << i;
        EXPECT_EQ(x.subpathStarts, y.subpathStarts) << i;
        EXPECT_EQ(x.closed, y.closed) << i;
        EXPECT_EQ(x.filled, y.filled) << i;
        if (x.filled) {
            EXPECT_EQ(x.evenOdd, y.evenOdd) << i;
        }
        EXPECT_EQ(x.stroke.pen, y.stroke.pen) << i;
        EXPECT_EQ(x.stroke.color, y.stroke.color) << i;
        EXPECT_DOUBLE_EQ(x.stroke.widthMm, y.stroke.widthMm) << i;
        EXPECT_EQ(x.stroke.lineType, y.stroke.lineType) << i;
        ASSERT_EQ(x.stroke.dashMm.size(), y.stroke.dashMm.size()) << i;
        for (std::size_t k = 0; k < x.stroke.dashMm.size(); ++k) {
            EXPECT_NEAR(x.stroke.dashMm[k], y.stroke.dashMm[k], 1e-9) << i;
        }
    }
    ASSERT_EQ(a.texts.size(), b.texts.size());
    for (std::size_t i = 0; i < a.texts.size(); ++i) {
        const Text &x = a.texts[i], &y = b.texts[i];
        EXPECT_EQ(x.text, y.text);
        EXPECT_EQ(x.origin, y.origin);
        EXPECT_NEAR(x.charWidth, y.charWidth, 1e-9);
        EXPECT_NEAR(x.charHeight, y.charHeight, 1e-9);
        EXPECT_NEAR(x.angleDeg, y.angleDeg, 1e-9);
        EXPECT_DOUBLE_EQ(x.slant, y.slant);
        EXPECT_EQ(x.labelOrigin, y.labelOrigin);
        EXPECT_EQ(x.stroke.pen, y.stroke.pen);
        EXPECT_EQ(x.stroke.color, y.stroke.color);
    }
    EXPECT_EQ(a.rasters, b.rasters);
}

TEST(HpglWriter, PagesRoundTrip) {
    const Page first = samplePage();
    Page second;
    Path line;
    line.points = {{1.4, 2.6}, {3.5, -4.5}};
    second.paths = {line};
    std::ostringstream out;
    HpglWriter writer(out);
    writer.writePage(first);
    writer.writePage(second);
    writer.finish();
    const ReadResult r = readString(out.str());
    ASSERT_TRUE(r.ok) << r.error.message << " at " << r.error.offset;
    ASSERT_EQ(r.pages.size(), 2u);
    expectSamePage(first, r.pages[0]);
    // Coordinates are whole plotter units.
    EXPECT_EQ(r.pages[1].paths.at(0).points, (std::vector<Point>{{1, 3}, {4, -5}}));
    EXPECT_EQ(r.pages[1].width, 0);
    EXPECT_NE(out.str().find("PG;"), std::string::npos);
}

TEST(HpglWriter, ReadPagesWriteBackUnchanged) {
    TempRoot tmp;
    copySamples(tmp.path());
    for (const char* name : {"spectrum.plt", "feature-exercise.plt", "mycolors.hp", "lt.hp",
                             "pages.hp", "test-print.pcl"}) {
        const ReadResult r = readFile((tmp.path() / name).string());
        ASSERT_TRUE(r.ok) << name;
        std::ostringstream out;
        HpglWriter writer(out);
        std::vector<Page> rounded;
        for (Page p : r.pages) {
            for (Path& path : p.paths) {
                for (Point& pt : path.points) {
                    pt = {std::round(pt.x), std::round(pt.y)};
                }
            }
            for (Text& t : p.texts) {
                t.origin = {std::round(t.origin.x), std::round(t.origin.y)};
            }
            for (Raster& img : p.rasters) {
                img.origin = {std::round(img.origin.x), std::round(img.origin.y)};
            }
            writer.writePage(p);
            rounded.push_back(std::move(p));
        }
        writer.finish();
        const ReadResult back = readString(out.str());
        ASSERT_TRUE(back.ok) << name << ": " << back.error.message;
        ASSERT_EQ(back.pages.size(), rounded.size()) << name;
        for (std::size_t i = 0; i < rounded.size(); ++i) {
            SCOPED_TRACE(name);
            expectSamePage(rounded[i], back.pages[i]);
        }
    }
}

std::string writePages(const std::vector<Page>& pages) {
    std::ostringstream out;
    HpglWriter writer(out);
    for (const Page& p : pages) {
        writer.writePage(p);
    }
    writer.finish();
    return out.str();
}

TEST(HpglWriter, MovesStayExactAroundLabelsPolygonsAndTheRangeEnds) {
    constexpr double kMax = 1e9;  // the reader's range
    Page p;
    Path a;
    a.points = {{kMax, kMax}, {-kMax, -kMax}, {-kMax, kMax}, {0, 0}, {15, -16}, {16, 17}};
    Path b = a;  // continues where a ended: the reader must still see two paths
    b.points = {{16, 17}, {-31, 32}, {33, 33}};
    Path hole;
    hole.points = {{0, 0}, {500, 0}, {500, 500}, {100, 100}, {200, 100}, {200, 200}};
    hole.subpathStarts = {3};
    hole.closed = true;
    Path afterPolygon = b;
    afterPolygon.points = {{7, 7}, {8, 9}};
    Path afterLabel = b;
    afterLabel.points = {{40, 50}, {41, 52}};
    p.paths = {a, b, hole, afterPolygon};
    Text t;
    t.origin = {10, 10};
    t.text = "ABC";
    t.charWidth = 76;
    t.charHeight = 108;
    p.texts = {t};
    Page second;  // paths after a label, on a page of its own
    second.texts = {t};
    second.paths = {afterLabel};
    const std::string plot = writePages({p, second});
    const ReadResult r = readString(plot);
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 2u);
    expectSamePage(p, r.pages[0]);
    expectSamePage(second, r.pages[1]);
    // Vector pages are plain printable text, whatever the coordinates.
    for (unsigned char c : plot) {
        EXPECT_TRUE((c >= 32 && c < 127) || c == '\n' || c == 3) << int(c);
    }
}

TEST(HpglWriter, CoordinatesRoundToTheNearestUnitHalvesAwayFromZero) {
    const std::vector<double> xs = {0.5,
                                    -0.5,
                                    1.5,
                                    -2.5,
                                    0.49999999999999994,
                                    2.4999999999999996,
                                    -0.49999999999999994,
                                    -2.5000000000000004,
                                    123456.49999999999,
                                    -987654.5,
                                    999999999.5,
                                    -1e9,
                                    7.000000000000001,
                                    -0.0};
    Page page;
    Path path;
    for (double x : xs) {
        path.points.push_back({x, -x});
    }
    page.paths = {path};
    const ReadResult r = readString(writePages({page}));
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.pages.size(), 1u);
    // No two neighbours round alike: a repeated point would be read as one.
    const auto& points = r.pages[0].paths.at(0).points;
    ASSERT_EQ(points.size(), xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
        EXPECT_EQ(points[i].x, static_cast<double>(std::llround(path.points[i].x))) << xs[i];
        EXPECT_EQ(points[i].y, static_cast<double>(std::llround(path.points[i].y))) << xs[i];
    }
}

std::size_t writtenSize(const std::vector<Page>& pages) {
    return writePages(pages).size();
}

TEST(HpglWriter, WrittenPagesStayNearTheSizeOfTheirPlot) {
    TempRoot tmp;
    for (const auto& file : copySamples(tmp.path())) {
        const auto size = fs::file_size(file);
        if (size < 1000) {
            continue;  // a few bytes of CI or FT stand for many points
        }
        const ReadResult r = readFile(file.string());
        ASSERT_TRUE(r.ok) << file.filename();
        EXPECT_LE(writtenSize(r.pages), 3 * size) << file.filename();
    }
    // A sheet of boxes with circles in them, as the demo drawings have:
    // every circle comes back as 72 points.
    std::string sheet =
        "IN;SP1;PW0.35;PU400,400;PD16400,400,16400,11500,400,11500,400,400;"
        "PU11400,1200;PD16400,1200;PU11600,1500;SI0.3,0.45;LBSheet 1 of 2\x03;";
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            const int x = 1200 + col * 2400, y = 3000 + row * 2600;
            const auto n = [](int v) { return std::to_string(v); };
            sheet += "SP" + n(1 + (row + col) % 3) + ";PU" + n(x) + "," + n(y) + ";PD" +
                     n(x + 1800) + "," + n(y) + "," + n(x + 1800) + "," + n(y + 1800) + "," + n(x) +
                     "," + n(y + 1800) + "," + n(x) + "," + n(y) + ";PU" + n(x + 900) + "," +
                     n(y + 900) + ";CI500;\n";
        }
    }
    const ReadResult r = readString(sheet);
    ASSERT_TRUE(r.ok);
    EXPECT_LE(writtenSize(r.pages), 4 * sheet.size());
}

// Each letter of a plot of text as glyph outlines is filled and then edged
// on the same polygon: the edge is written as EP on the polygon buffer
// that still holds the fill's polygon, and reads back as it was. An
// outline of another polygon, one after an open line, and a fill are
// written whole.
TEST(HpglWriter, AnOutlineOfThePolygonBeforeItEdgesTheBuffer) {
    Path fill;
    fill.filled = true;
    fill.closed = true;
    fill.points = {{0, 0}, {100, 0}, {100, 100}, {0, 100}, {20, 20}, {80, 20}, {50, 80}};
    fill.subpathStarts = {4};
    fill.stroke.widthMm = 0;
    Path edge = fill;
    edge.filled = false;
    Path wide = edge;
    wide.stroke.widthMm = 0.5;
    wide.stroke.color = 0xFF0000;
    Path other = edge;
    other.points[1].x = 90;
    Path open = edge;
    open.closed = false;
    open.points.resize(4);
    open.subpathStarts.clear();
    Page page;
    // Another fill, an edge after an open line and one after an outline
    // of another polygon come after the fill and its two edges.
    page.paths = {fill, edge, wide, other, edge, open, edge, fill};
    const std::string text = writePages({page});
    std::size_t polygons = 0;
    for (std::size_t at = text.find("PM0;"); at != std::string::npos;
         at = text.find("PM0;", at + 1)) {
        ++polygons;
    }
    EXPECT_EQ(polygons, 5u) << text;
    const ReadResult back = readString(text);
    ASSERT_TRUE(back.ok) << back.error.message;
    ASSERT_EQ(back.pages.size(), 1u);
    expectSamePage(page, back.pages[0]);
    // Read without its own points (HpglReadOptions::foldFillEdges), the
    // edge after its fill is written the same; an outline without points
    // after anything else is nothing.
    Page folded = page;
    folded.paths[1].points.clear();
    folded.paths[1].subpathStarts.clear();
    EXPECT_EQ(writePages({folded}), text);
    Page lone;
    lone.paths = {open, folded.paths[1]};
    EXPECT_EQ(writePages({lone}), writePages({Page{0, 0, {open}, {}, {}}}));
}

TEST(HpglWriter, EmptyPlotStillReads) {
    std::ostringstream out;
    HpglWriter writer(out);
    writer.finish();
    const ReadResult r = readString(out.str());
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.pages.empty());
}

}  // namespace
}  // namespace drawing::test
