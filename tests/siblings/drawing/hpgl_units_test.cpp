// The parts of the HP-GL reader one at a time: the tokenizer, the plotter
// state, and the instruction handlers seen through the state they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/hpgl/plotter.h"
#include "drawing/hpgl/plotter_state.h"
#include "drawing/hpgl/tokenizer.h"

namespace drawing::hpgl {
namespace {

// --------------------------------------------------------------- tokenizer

std::vector<double> numbersOf(const std::string& text, std::size_t* rest = nullptr) {
    std::istringstream stream(text);
    Input in(stream);
    std::vector<double> out;
    double v = 0;
    while (readNumber(in, v)) {
        out.push_back(v);
    }
    if (rest != nullptr) {
        *rest = in.offset();
    }
    return out;
}

TEST(HpglTokenizer, NumbersWithSignsSeparatorsAndDecimals) {
    std::size_t rest = 0;
    EXPECT_EQ(numbersOf("12,-3 +4\t5\r\n6.25,-.5,7.,0.125PD", &rest),
              (std::vector<double>{12, -3, 4, 5, 6.25, -0.5, 7, 0.125}));
    EXPECT_EQ(rest, 29u);  // stopped at the mnemonic
    EXPECT_EQ(numbersOf("0.1,0.7,1234.5678"), (std::vector<double>{0.1, 0.7, 1234.5678}));
}

TEST(HpglTokenizer, ZerosAreNeverNegativeAndLeadingZerosDoNotCount) {
    const std::vector<double> v = numbersOf("-0,000000000000000000000042,-0.,0.0");
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FALSE(std::signbit(v[0]));
    EXPECT_EQ(v[1], 42);
    EXPECT_FALSE(std::signbit(v[2]));
    EXPECT_EQ(v[3], 0);
}

TEST(HpglTokenizer, LongNumbersSaturateAndFractionsStayExact) {
    EXPECT_EQ(numbersOf("999999999999999,1000000000000000,-12345678901234567890"),
              (std::vector<double>{999999999999999, kMaxNumber, -kMaxNumber}));
    // More fraction digits than are kept: the number is read to its end.
    const std::string longFraction = "1." + std::string(100, '5') + ",2";
    const std::vector<double> v = numbersOf(longFraction);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(v[0], 1.5555555555, 1e-9);
    EXPECT_EQ(v[1], 2);
}

TEST(HpglTokenizer, NoNumberWhereNoDigitStands) {
    EXPECT_TRUE(numbersOf(".").empty());
    EXPECT_TRUE(numbersOf("-;1").empty());
    EXPECT_TRUE(numbersOf("").empty());
}

TEST(HpglTokenizer, NumbersAcrossTheBufferBoundary) {
    // The input buffer holds 64 KiB: numbers straddle its end.
    std::string text;
    std::vector<double> expected;
    for (int i = 0; text.size() < 200'000; ++i) {
        text += std::to_string(i * 37 % 100'003) + (i % 3 == 0 ? ".5" : "") + ",";
        expected.push_back(i * 37 % 100'003 + (i % 3 == 0 ? 0.5 : 0));
    }
    std::size_t rest = 0;
    EXPECT_EQ(numbersOf(text, &rest), expected);
    EXPECT_EQ(rest, text.size());
}

TEST(HpglTokenizer, EveryTokenReadsAlikeWhereverTheBufferEnds) {
    // Numbers are scanned in place while they lie within the bytes read in,
    // and byte by byte when those end first: both must read and take the
    // same, including what a token without digits leaves taken.
    const std::vector<std::string> tokens = {"12",
                                             "-3",
                                             "+4",
                                             "6.25",
                                             "-.5",
                                             "7.",
                                             "0.125",
                                             "000042",
                                             "-0",
                                             "-0.",
                                             "1234567890123456789012",
                                             "-12345678901234567.5",
                                             "1." + std::string(80, '5'),
                                             "999999999999999.75",
                                             ".",
                                             "-",
                                             "+.",
                                             " \t\r\n 9,8"};
    constexpr std::size_t kBuffer = 65536;
    for (const std::string& token : tokens) {
        std::size_t alone = 0;
        const std::vector<double> expected = numbersOf(token + ";PD", &alone);
        for (std::size_t before = 0; before <= token.size() + 1; ++before) {
            // A first number of zeros up to a comma puts the token `before`
            // bytes ahead of the end of the first 64 KiB read.
            const std::size_t lead = kBuffer - before;
            const std::string text = std::string(lead - 1, '0') + "," + token + ";PD";
            std::size_t rest = 0;
            std::vector<double> want = {0};
            want.insert(want.end(), expected.begin(), expected.end());
            const std::vector<double> got = numbersOf(text, &rest);
            ASSERT_EQ(got.size(), want.size()) << token << " " << before;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i]),
                          std::bit_cast<std::uint64_t>(want[i]))
                    << token << " " << before << " #" << i;
            }
            EXPECT_EQ(rest, lead + alone) << token << " " << before;
        }
    }
}

TEST(HpglTokenizer, ReadNumbersKeepsMaxAndSkipsTheRest) {
    std::istringstream stream("1,2,3,4,5;PD");
    Input in(stream);
    double v[3] = {};
    EXPECT_EQ(readNumbers(in, v, 3), 3);
    EXPECT_EQ(v[2], 3);
    endInstruction(in);
    EXPECT_EQ(in.get(), 'P');
}

TEST(HpglTokenizer, SkippedParametersEndAtSemicolonOrMnemonic) {
    std::istringstream stream("1,\"a;b\" 2;XY 3 4PD");
    Input in(stream);
    skipParameters(in);
    EXPECT_EQ(in.peek(), 'X');
    in.get();
    in.get();
    skipParameters(in);
    EXPECT_EQ(in.get(), 'P');
}

// ----------------------------------------------------------- plotter state

TEST(HpglPlotterState, ScalingOfEachType) {
    PlotterState s;
    s.p1 = {0, 0};
    s.p2 = {1000, 500};
    s.sc = {true, {0, 10, 0, 10}, 0};
    s.updateScaling();  // anisotropic
    EXPECT_EQ(s.toPlotter(10, 10), (PrecisePoint{1000, 500}));
    s.sc = {true, {0, 10, 0, 10}, 1, 100, 0};
    s.updateScaling();  // isotropic, pushed to the right
    EXPECT_EQ(s.sx, 50);
    EXPECT_EQ(s.sy, 50);
    EXPECT_EQ(s.toPlotter(0, 0), (PrecisePoint{500, 0}));
    s.sc = {true, {2, 3, -1, 4}, 2};
    s.updateScaling();  // point factor: user (2, -1) at P1
    EXPECT_EQ(s.toPlotter(2, -1), (PrecisePoint{0, 0}));
    EXPECT_EQ(s.toPlotter(3, 0), (PrecisePoint{3, 4}));
}

TEST(HpglPlotterState, DegenerateScalingIsOff) {
    PlotterState s;
    s.sc = {true, {5, 5, 0, 10}, 0};
    s.updateScaling();
    EXPECT_FALSE(s.sc.on);
    EXPECT_EQ(s.toPlotter(7, 8), (PrecisePoint{7, 8}));
    s.sc = {true, {0, 10, 0, 10}, 2};  // factor 10 in x, 10 in y... of a[1], a[3]
    s.sc.a[1] = 0;
    s.updateScaling();
    EXPECT_FALSE(s.sc.on);
}

TEST(HpglPlotterState, MediaRotationAndThePage) {
    PlotterState s;
    // No media: a desk plotter's scaling points centred on A4 landscape.
    EXPECT_EQ(s.p1, (PrecisePoint{940, 600}));
    EXPECT_EQ(s.p2, (PrecisePoint{10940, 7800}));
    s.mediaW = 4000;
    s.mediaH = 3000;
    s.rotation = 90;
    s.resetMedia();
    EXPECT_EQ(s.p2, (PrecisePoint{3000, 4000}));
    EXPECT_EQ(s.toPage({100, 200}), (PrecisePoint{3800, 100}));
    s.rotation = 270;
    EXPECT_EQ(s.toPage({100, 200}), (PrecisePoint{200, 2900}));
}

TEST(HpglPlotterState, LineTypesBuiltinUserAndOutOfRange) {
    PlotterState s;
    s.p1 = {0, 0};
    s.p2 = {3000 * 40, 4000 * 40};  // a diagonal of 5000 mm
    s.setLineType(2, 1, 0);         // 1 % of the diagonal
    EXPECT_EQ(s.dash, (std::vector<double>{25, 25}));
    s.userPatterns[3] = {20, 80};
    s.setLineType(-3, 10, 1);  // 10 mm; the sign keeps the pattern
    EXPECT_EQ(s.lineType, -3);
    EXPECT_EQ(s.dash, (std::vector<double>{2, 8}));
    EXPECT_EQ(s.prevLineType, 2);
    s.setLineType(9, 10, 1);
    EXPECT_EQ(s.lineType, 0);
    EXPECT_TRUE(s.dash.empty());
    s.setLineType(1, -5, 1);  // no length: 4 % of the diagonal
    EXPECT_EQ(s.dash, (std::vector<double>{0, 200}));
}

TEST(HpglPlotterState, CharacterCellAndDirection) {
    PlotterState s;
    s.p1 = {0, 0};
    s.p2 = {2000, 1000};
    s.relativeSize = true;
    s.relW = 1;
    s.relH = 2;
    EXPECT_EQ(s.charCell(), (PrecisePoint{20, 20}));
    s.relativeDir = true;
    s.run = 1;
    s.rise = 2;  // per cent of P2-P1: equal distances, 45 degrees
    EXPECT_DOUBLE_EQ(s.textAngle(), 45);
    s.run = s.rise = 0;
    EXPECT_EQ(s.textAngle(), 0);
}

TEST(HpglPlotterState, ClampingAndRounding) {
    EXPECT_EQ(clampCoordinate(std::numeric_limits<double>::infinity()), kMaxCoordinate);
    EXPECT_EQ(clampCoordinate(-2e12), -kMaxCoordinate);
    EXPECT_EQ(clampCoordinate(std::nan("")), 0);
    EXPECT_EQ(toInt(2.5, 0, 10), 3);
    EXPECT_EQ(toInt(std::nan(""), -1, 10), -1);
    EXPECT_EQ(toInt(1e300, 0, 255), 255);
    EXPECT_EQ(defaultColor(8), defaultColor(1));
    EXPECT_EQ(defaultColor(0), kWhite);
}

// ------------------------------------------------------------ the handlers

struct Plot {
    std::vector<Page> pages;
    ReadError error;
    bool ok = false;
    PlotterState state;
    // The last page: the reader hands on the page open at the end of the
    // input too.
    const Page& last() const { return pages.back(); }
};

Plot plot(const std::string& data) {
    Plot p;
    std::istringstream in(data);
    const PageSink sink = [&](Page&& page) {
        p.pages.push_back(std::move(page));
        return true;
    };
    Plotter plotter(in, sink, p.error);
    p.ok = plotter.run();
    p.state = plotter.state();
    if (p.pages.empty()) {
        p.pages.push_back(plotter.page());
    }
    return p;
}

TEST(HpglHandlers, ScalingPointsAndUserUnits) {
    // IP with two points moves P2 along; SC then maps user units on them.
    Plot p = plot("IN;IP100,200,1100,1200;IP0,0;SC0,100,0,10;PA50,5;");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.state.p2, (PrecisePoint{1000, 1000}));
    EXPECT_EQ(p.state.pen, (PrecisePoint{500, 500}));
    // IR in per cent of the frame (A4 landscape without PS); SC off again.
    p = plot("IN;IR10,20,60,70;SC;PA7,8;");
    EXPECT_EQ(p.state.p1, (PrecisePoint{1188, 1680}));
    EXPECT_EQ(p.state.pen, (PrecisePoint{7, 8}));
    // PS sets the media: the scaling points are its corners, the page its size.
    p = plot("IN;PS4000,3000;SC0,10,0,10,1;PA10,10;PD0,0;PG;");
    EXPECT_EQ(p.state.p2, (PrecisePoint{4000, 3000}));
    ASSERT_EQ(p.pages.size(), 1u);
    EXPECT_EQ(p.pages[0].width, 4000);
    EXPECT_EQ(p.pages[0].paths.at(0).points, (std::vector<Point>{{3500, 3000}, {500, 0}}));
}

TEST(HpglHandlers, LineTypesSwitchBackAndUserPatternsScale) {
    const Plot p = plot(
        "IN;PS4000,3000;UL2,1,3;LT2,8,1;PA0,0;PD10,0;LT;PD20,0;LT99;PD30,0;"
        "UL;LT2,8,1;PD40,0;LT12;PD50,0;");
    ASSERT_TRUE(p.ok) << p.error.message;
    const auto& paths = p.last().paths;
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0].stroke.dashMm, (std::vector<double>{2, 6}));
    EXPECT_TRUE(paths[1].stroke.dashMm.empty());
    EXPECT_EQ(paths[2].stroke.dashMm, (std::vector<double>{2, 6}));  // LT 99
    EXPECT_EQ(paths[3].stroke.dashMm, (std::vector<double>{4, 4}));  // UL reset: built-in
    EXPECT_EQ(paths[4].stroke.lineType, 0);                          // out of range: solid
}

TEST(HpglHandlers, FillTypesHatchCrossHatchAndShade) {
    // A 100 by 100 square hatched every 10 units: 11 lines across, or
    // fewer at the edges that only touch it.
    Plot p = plot("IN;PS4000,3000;FT3,10,0;PA0,0;RA100,100;");
    ASSERT_TRUE(p.ok) << p.error.message;
    const std::size_t lines = p.last().paths.size();
    EXPECT_GE(lines, 9u);
    EXPECT_LE(lines, 11u);
    for (const Path& l : p.last().paths) {
        ASSERT_EQ(l.points.size(), 2u);
        EXPECT_EQ(l.points[0].y, l.points[1].y);  // at angle 0 the lines run along x
        EXPECT_FALSE(l.filled);
    }
    // Cross-hatching adds as many lines at right angles.
    p = plot("IN;PS4000,3000;FT4,10,0;PA0,0;RA100,100;");
    const auto across = std::count_if(p.last().paths.begin(), p.last().paths.end(),
                                      [](const Path& l) { return l.points[0].y == l.points[1].y; });
    EXPECT_EQ(static_cast<std::size_t>(across), lines);
    EXPECT_GE(p.last().paths.size() - lines, lines - 1);
    EXPECT_LE(p.last().paths.size() - lines, lines + 1);
    p = plot("IN;PS4000,3000;SP2;FT10,25;PA0,0;RA100,100;FT;RA50,50;");
    ASSERT_EQ(p.last().paths.size(), 2u);
    EXPECT_EQ(p.last().paths[0].stroke.color, 0xFFBFBFu);  // red at 25 %
    EXPECT_TRUE(p.last().paths[0].filled);
    EXPECT_EQ(p.last().paths[1].stroke.color, 0xFF0000u);
}

TEST(HpglHandlers, PolygonBufferFillAndEdge) {
    const Plot p = plot(
        "IN;PA0,0;PM0;PD100,0,100,100,0,100;PM1;PU20,20;PD40,20,40,40;PM2;"
        "FP1;EP;");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().paths.size(), 2u);
    const Path& fill = p.last().paths[0];
    EXPECT_TRUE(fill.filled);
    EXPECT_FALSE(fill.evenOdd);  // FP 1: non-zero
    EXPECT_EQ(fill.subpathStarts, (std::vector<std::size_t>{4}));
    EXPECT_FALSE(p.last().paths[1].filled);
    EXPECT_EQ(p.last().paths[1].points, fill.points);
}

TEST(HpglHandlers, LabelsMoveThePenAndDecodeTheirText) {
    // UTF-8 stays; a label that is not UTF-8 is Latin-1. The pen ends after
    // the last character: 1.5 character widths each.
    Plot p = plot("IN;SI0.2,0.3;PA0,0;LB\xC3\xA9t\xC3\xA9\x03");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().texts.size(), 1u);
    EXPECT_EQ(p.last().texts[0].text, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(p.state.pen, (PrecisePoint{3 * 80 * 1.5, 0}));
    p = plot("IN;SI0.2,0.3;PA0,0;LB\xC3\xA9t\xE9\x03");
    EXPECT_EQ(p.last().texts.at(0).text, "\xC3\x83\xC2\xA9t\xC3\xA9");
    EXPECT_EQ(p.state.pen, (PrecisePoint{4 * 80 * 1.5, 0}));
    // DV 1: the label runs down its column, its next line to the left.
    p = plot("IN;SI0.2,0.3;DV1;PA1000,1000;LBab\n\x03");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().texts.size(), 1u);
    EXPECT_TRUE(p.last().texts[0].vertical);
    EXPECT_EQ(p.state.carriage, (PrecisePoint{1000 - 2 * 120, 1000}));
    EXPECT_EQ(p.state.pen, (PrecisePoint{1000 - 2 * 120, 1000 - 2 * 80 * 1.5}));
    // ES widens the advance; CP moves by cells; DT changes the terminator.
    p = plot("IN;SI0.2,0.3;ES1;PA0,0;CP2,1;DT*;LBx*");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.last().texts.at(0).origin, (PrecisePoint{2 * 80 * 1.5 * 2, 2 * 120}));
    EXPECT_EQ(p.state.terminator, '*');
}

TEST(HpglHandlers, SymbolModeMarksEveryPoint) {
    const Plot p = plot("IN;SM*;PA10,10,20,20;SM;PA30,30;");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().texts.size(), 2u);
    EXPECT_EQ(p.last().texts[1].text, "*");
    EXPECT_EQ(p.last().texts[1].origin, (PrecisePoint{20, 20}));
    EXPECT_EQ(p.last().texts[1].labelOrigin, 5);
    EXPECT_EQ(p.state.symbol, 0);
}

TEST(HpglHandlers, EncodedPolylineSelectsPensAndMovesThePen) {
    // ":" then 3 selects pen 3 (3 -> 6 -> 63+6 is not last; 191+6 is).
    std::string pe = "IN;PA5,5;PE:";
    pe += static_cast<char>(191 + 6);
    pe += {static_cast<char>(191 + 20), static_cast<char>(191 + 21)};  // +10, -10
    pe += ";";
    const Plot p = plot(pe);
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.state.penNo, 3);
    EXPECT_EQ(p.state.pen, (PrecisePoint{15, -5}));
    EXPECT_TRUE(p.state.penDown);
    ASSERT_EQ(p.last().paths.size(), 1u);
    EXPECT_EQ(p.last().paths[0].stroke.pen, 3);
}

TEST(HpglHandlers, EncodedPolylinesAcrossTheBufferEnd) {
    // Moves of (+40, -1) as three bytes each (80 = 16 + 1 * 64, then -1),
    // some 90 KiB of them, started at three offsets so that a number is cut
    // by the end of the first 64 KiB read at each of its bytes.
    constexpr int kMoves = 30000;
    std::string moves;
    for (int i = 0; i < kMoves; ++i) {
        moves +=
            {static_cast<char>(63 + 16), static_cast<char>(191 + 1), static_cast<char>(191 + 3)};
    }
    for (const std::string lead : {"IN;PA0,0;PE", "IN;PA0,0; PE", "IN;PA0,0;  PE"}) {
        const Plot p = plot(lead + moves + ";PU;");
        ASSERT_TRUE(p.ok) << p.error.message;
        EXPECT_EQ(p.state.pen, (PrecisePoint{40.0 * kMoves, -1.0 * kMoves})) << lead.size();
        ASSERT_EQ(p.last().paths.size(), 1u);
        EXPECT_EQ(p.last().paths[0].points.size(), static_cast<std::size_t>(kMoves) + 1);
        EXPECT_EQ(p.last().paths[0].points[12345], (Point{40.0 * 12345, -12345}));
    }
}

TEST(HpglHandlers, WidthsForAllPensAfterOnePensWidth) {
    // PW without a pen sets every pen's width, even the width they all had
    // before one pen's was changed; WU sets them all to its default.
    const Plot p = plot(
        "IN;PW0.5;PW0.7,3;PW0.5;SP3;PA0,0;PD1,1;PU;"
        "WU0;SP4;PD2,2;PU;PW0.5;WU0;PD3,3;PU;"
        "PW0.25;PW0.6,2;SP2;PD4,4;PU;PW0.25;PD5,5;PU;");
    ASSERT_TRUE(p.ok) << p.error.message;
    const auto& paths = p.last().paths;
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0].stroke.widthMm, 0.5);
    EXPECT_EQ(paths[1].stroke.widthMm, 0.35);
    EXPECT_EQ(paths[2].stroke.widthMm, 0.35);
    EXPECT_EQ(paths[3].stroke.widthMm, 0.6);
    EXPECT_EQ(paths[4].stroke.widthMm, 0.25);
    for (std::size_t pen = 0; pen < p.state.widths.size(); ++pen) {
        EXPECT_EQ(p.state.widths[pen], 0.25) << pen;
    }
}

TEST(HpglHandlers, CommentsNameTheLayer) {
    const Plot p = plot(
        "IN;CO\"layer: marks\";PA0,0;PD5,5;PU;CO bare comment;PD;"
        "CO \"layer: drawing\";PA9,9;PD10,10;");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().paths.size(), 2u);
    EXPECT_EQ(p.last().paths[0].stroke.layer, Layer::marks);
    EXPECT_EQ(p.last().paths[1].stroke.layer, Layer::drawing);
}

TEST(HpglHandlers, DefaultsKeepPensAndMediaInitializeDoesNot) {
    Plot p = plot("IN;PS4000,3000;PC2,0,0,255;SP2;SC0,1,0,1;LT2;DF;");
    EXPECT_EQ(p.state.penNo, 2);
    EXPECT_EQ(p.state.colors[2], 0x0000FFu);
    EXPECT_EQ(p.state.mediaW, 4000);
    EXPECT_FALSE(p.state.sc.on);
    EXPECT_EQ(p.state.lineType, 0);
    p = plot("IN;PS4000,3000;PC2,0,0,255;SP2;IN;");
    EXPECT_EQ(p.state.penNo, 1);
    EXPECT_EQ(p.state.colors[2], 0xFF0000u);
    EXPECT_EQ(p.state.mediaW, 4000);  // the media stays: IN does not eject
}

// --------------------------------------------------------------- escapes

TEST(HpglEscapes, ResetAndJobBoundaryEndThePage) {
    const Plot p = plot(
        "IN;PA0,0;PD5,5;\x1B%-12345X@PJL ENTER LANGUAGE=HPGL2\nIN;PA1,1;PD2,2;"
        "\x1B"
        "EIN;PD3,3;");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.pages.size(), 3u);
    EXPECT_EQ(p.pages[1].paths.at(0).points.front(), (Point{1, 1}));
    EXPECT_EQ(p.pages[2].paths.at(0).points.back(), (Point{3, 3}));  // HP-GL/2 at once
}

TEST(HpglEscapes, RasterEnteredAtThePenStandsThere) {
    // ESC%1A: PCL at the pen; one 8-pixel row; ESC%1B back.
    const std::string row = "\x1B*r8S\x1B*r1A\x1B*b1W\xF0\x1B*rC";
    const Plot p = plot("IN;PS4000,3000;PA1000,2000;\x1B%1A" + row + "\x1B%1BPD1100,2000;");
    ASSERT_TRUE(p.ok) << p.error.message;
    ASSERT_EQ(p.last().rasters.size(), 1u);
    EXPECT_EQ(p.last().rasters[0].origin, (PrecisePoint{1000, 2000}));
    EXPECT_EQ(p.last().rasters[0].width, 8);
}

TEST(HpglEscapes, BrokenEscapesAreErrorsWithTheirMessage) {
    const std::pair<std::string, std::string> cases[] = {
        {"IN;PD;\x1B", "input ends inside an escape sequence"},
        {"IN;\x1B%1", "input ends inside an escape sequence"},
        {"IN;\x1B*r2000000S", "raster width out of range"},
        {"IN;\x1B*r-1T", "raster height out of range"},
        {"IN;\x1B*b5W\x01\x02", "input ends inside raster data"},
        {"IN;\x1B*b-5W", "raster data transfer of impossible size"},
        {"IN;\x1B*b-2Y", "raster offset out of range"},
    };
    for (const auto& [data, message] : cases) {
        const Plot p = plot(data);
        EXPECT_FALSE(p.ok) << message;
        EXPECT_EQ(p.error.message, message);
    }
}

TEST(HpglEscapes, SerialDeviceControlIsReadPast) {
    const Plot p = plot("\x1B.N;19:\x1B.I81;;17:IN;PA0,0;PD1,1;");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.last().paths.size(), 1u);
}

}  // namespace
}  // namespace drawing::hpgl
