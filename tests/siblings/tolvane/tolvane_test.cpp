// The converter run as the pipeline runs it: a separate process, its
// parameter file under a home folder of the test's own.
#include <gtest/gtest.h>

#include <functional>

#include "drawing/hpgl/hpgl.h"
#include "drawing/render/tiff_io.h"
#include "test_util.h"

namespace {

using namespace tolvane::test;

const std::string kTolvane = TOLVANE_PATH;

class Tolvane : public ::testing::Test {
  protected:
    std::string parFile() const { return home_ / ".local/share/Corvanta/Tolvane/Tolvane.par"; }

    // Writes the default file first, then sets the given lines (1-based).
    void setLines(const std::vector<std::pair<int, std::string>>& lines) {
        if (!fs::exists(parFile())) {
            run({kTolvane, "/h", "none.hgl", "none.hgl"}, home_.path());
        }
        std::vector<std::string> all;
        std::istringstream in(readText(parFile()));
        for (std::string l; std::getline(in, l);) {
            all.push_back(l.substr(0, l.find('\r')));
        }
        for (const auto& [n, v] : lines) {
            all.at(n - 1) = v;
        }
        std::string text;
        for (const auto& l : all) {
            text += l + "\r\n";
        }
        writeText(parFile(), text);
    }
    void splitMode() { setLines({{9, "1"}}); }
    void joinMode() { setLines({{8, "0"}, {9, "0"}, {10, "0"}}); }

    RunResult tolvane(const std::vector<std::string>& args) {
        std::vector<std::string> all{kTolvane};
        all.insert(all.end(), args.begin(), args.end());
        return run(all, home_.path());
    }

    // Splits the three-page sample into work/ and returns the page names.
    std::vector<std::string> splitSample() {
        splitMode();
        const std::string in = copySample("hpgl/hp2xx/pages.hp", home_.path(), "plan.hgl");
        fs::create_directory(home_ / "work");
        const RunResult r = tolvane({"/h", in, home_ / "work/plan.hgl"});
        EXPECT_EQ(r.status, 0) << r.err;
        return listNames(home_ / "work");
    }

    TempDir home_;
};

TEST_F(Tolvane, CreatesItsParameterFileWithDefaults) {
    const RunResult r = tolvane({"/p", home_ / "nothing*.hgl", home_ / "out.pdf"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(
        readText(parFile()),
        "Tolvane 1.00\r\n300\r\nLZW\r\nhgl;hpgl;hpg;plt;hp;gl\r\n0\r\n0\r\n0\r\n0\r\n\r\n0\r\n");
    EXPECT_NE(r.err.find("nothing*.hgl"), std::string::npos);
    EXPECT_FALSE(fs::exists(home_ / "out.pdf"));
}

TEST_F(Tolvane, HelpAndVersion) {
    RunResult r = tolvane({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--convert"), std::string::npos);
    r = tolvane({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("tolvane ", 0), 0u);
    r = tolvane({"/h"});
    EXPECT_NE(r.status, 0);
}

TEST_F(Tolvane, SplitWritesOnePageFilePerPageInNameOrder) {
    const auto names = splitSample();
    ASSERT_EQ(names,
              (std::vector<std::string>{"plan_000001.hgl", "plan_000002.hgl", "plan_000003.hgl"}));
    // Page order: each page carries its own label.
    EXPECT_NE(readText(home_ / "work/plan_000001.hgl").find("LBPage 1"), std::string::npos);
    EXPECT_NE(readText(home_ / "work/plan_000003.hgl").find("LBPage 3"), std::string::npos);
    EXPECT_EQ(readText(home_ / "work/plan_000002.hgl").find("PG"), std::string::npos);
}

// Text plotted as glyph outlines fills each letter and then edges it with
// the thinnest pen: the page file draws the same, the letter's polygon
// written once and edged again, whether its edge came right after it or
// not, in black only too.
TEST_F(Tolvane, SplitLettersKeepTheirEdges) {
    const auto letter = [](int x) {
        const auto at = [x](int dx, int y) {
            return std::to_string(x + dx) + "," + std::to_string(y);
        };
        return "PU" + at(0, 0) + ";PM0;PD" + at(100, 0) + "," + at(100, 140) + "," + at(0, 140) +
               "," + at(0, 0) + ";PM1;PU" + at(20, 20) + ";PD" + at(80, 20) + "," + at(50, 100) +
               ";PM2;";
    };
    const std::string plot = "IN;SP2;PC2,255,0,0;PW0;" + letter(0) + "FP;EP;" + letter(200) +
                             "FP;PW0.5;EP;PW0;PU400,0;PD500,0;" + letter(600) + "EP;FP;EP;";
    const std::string in = home_ / "glyphs.hgl";
    writeText(in, plot);
    const auto pathsOf = [](const std::string& file) {
        std::vector<drawing::Path> paths;
        drawing::ReadError error;
        EXPECT_TRUE(drawing::readHpglFile(
            file,
            [&](drawing::Page&& page) {
                paths = std::move(page.paths);
                return true;
            },
            error))
            << file << ": " << error.message;
        return paths;
    };
    const std::vector<drawing::Path> drawn = pathsOf(in);
    ASSERT_EQ(drawn.size(), 8u);
    for (const bool blackOnly : {false, true}) {
        splitMode();
        if (blackOnly) {
            setLines({{10, "1"}});
        }
        fs::remove_all(home_ / "work");
        fs::create_directory(home_ / "work");
        const RunResult r = tolvane({"/h", in, home_ / "work/glyphs.hgl"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = home_ / "work/glyphs_000001.hgl";
        const std::vector<drawing::Path> split = pathsOf(page);
        ASSERT_EQ(split.size(), drawn.size()) << blackOnly;
        for (std::size_t i = 0; i < split.size(); ++i) {
            EXPECT_EQ(split[i].points, drawn[i].points) << i;
            EXPECT_EQ(split[i].subpathStarts, drawn[i].subpathStarts) << i;
            EXPECT_EQ(split[i].filled, drawn[i].filled) << i;
            EXPECT_EQ(split[i].stroke.widthMm, drawn[i].stroke.widthMm) << i;
            EXPECT_EQ(split[i].stroke.color, blackOnly ? drawing::kBlack : drawn[i].stroke.color);
        }
        // Three letters' polygons, and one edged without a fill before it.
        std::size_t polygons = 0;
        const std::string text = readText(page);
        for (auto at = text.find("PM0"); at != std::string::npos; at = text.find("PM0", at + 1)) {
            ++polygons;
        }
        EXPECT_EQ(polygons, 4u) << text;
    }
}

TEST_F(Tolvane, SplitTakesTheOutputBaseNameAndKeepsAPathWithSpaces) {
    splitMode();
    fs::create_directories(home_ / "my work");
    const std::string in = copySample("hpgl/hp2xx/pages.hp", home_.path(), "a.b.hgl");
    const RunResult r = tolvane({"/h", in, home_ / "my work/a.b.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "my work").size(), 3u);
    EXPECT_TRUE(fs::exists(home_ / "my work/a.b_000001.hgl"));
}

TEST_F(Tolvane, JoinToEveryOutputKind) {
    splitSample();
    joinMode();
    const std::string pattern = home_ / "work/plan*.hgl";
    RunResult r = tolvane({"/p", pattern, home_ / "plan.pdf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(home_ / "plan.pdf"), 3);

    r = tolvane({"/t", pattern, home_ / "plan.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<drawing::TiffPage> pages;
    std::string error;
    ASSERT_TRUE(drawing::readTiff(home_ / "plan.tif", pages, error)) << error;
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].xDpi, 300);
    EXPECT_EQ(pages[0].compression, 4);

    r = tolvane({"/h", pattern, home_ / "plan.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string hpgl = readText(home_ / "plan.hgl");
    EXPECT_LT(hpgl.find("LBPage 1"), hpgl.find("LBPage 2"));
    EXPECT_LT(hpgl.find("LBPage 2"), hpgl.find("LBPage 3"));

    // Nothing but the finished files is left beside them.
    EXPECT_EQ(listNames(home_.path()),
              (std::vector<std::string>{".local", "plan.hgl", "plan.pdf", "plan.tif", "work"}));
}

TEST_F(Tolvane, TiffResolutionAndCompressionComeFromTheParameterFile) {
    splitSample();
    joinMode();
    setLines({{2, "150"}, {3, "Deflate"}});
    const std::string in = copySample("hpgl/hp2xx/colors.hp", home_.path(), "colors.hgl");
    const RunResult r = tolvane({"/t", in, home_ / "colors.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<drawing::TiffPage> pages;
    std::string error;
    ASSERT_TRUE(drawing::readTiff(home_ / "colors.tif", pages, error)) << error;
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].xDpi, 150);
    EXPECT_EQ(pages[0].compression, 8);
}

TEST_F(Tolvane, SxfOutputFormByExtensionAndReadBack) {
    splitSample();
    joinMode();
    RunResult r = tolvane({"/y", home_ / "work/plan*.hgl", home_ / "plan.p21"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string p21 = readText(home_ / "plan.p21");
    EXPECT_EQ(p21.rfind("ISO-10303-21;", 0), 0u);
    EXPECT_NE(p21.find("AP202_mode"), std::string::npos);
    r = tolvane({"/Y", home_ / "work/plan*.hgl", home_ / "plan.SFC"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readText(home_ / "plan.SFC").find("/*SXF"), std::string::npos);
    // Both read back, as the one sheet an SXF file holds.
    splitMode();
    fs::create_directory(home_ / "back");
    r = tolvane({"/h", home_ / "plan.p21", home_ / "back/p.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = tolvane({"/h", home_ / "plan.SFC", home_ / "back/s.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "back"),
              (std::vector<std::string>{"p_000001.hgl", "s_000001.hgl"}));
    EXPECT_EQ(readText(home_ / "back/p_000001.hgl"), readText(home_ / "back/s_000001.hgl"));
}

TEST_F(Tolvane, SplitsPdfAndATiffMadeFromIt) {
    splitMode();
    const std::string pdf = copySample("pdf/diff-pdf-visually/base_twice.pdf", home_.path());
    fs::create_directory(home_ / "out");
    RunResult r = tolvane({"/h", pdf, home_ / "out/twice.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "out"),
              (std::vector<std::string>{"twice_000001.hgl", "twice_000002.hgl"}));
    // The PDF as a two-page TIFF, which splits into two raster pages again.
    r = tolvane({"--convert", "/t", pdf, home_ / "twice.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    fs::create_directory(home_ / "scan");
    r = tolvane({"/h", home_ / "twice.tif", home_ / "scan/twice.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "scan").size(), 2u);
    EXPECT_NE(readText(home_ / "scan/twice_000001.hgl").find("\x1B*r"), std::string::npos);
}

#if MERVIK_LAZY_LIBRARIES
// The libraries the loader started, a line each, from what it says on
// standard error under LD_DEBUG=files ("calling init: <file>"; merely
// asking for one is said otherwise).
std::string startedLibraries(const std::string& err) {
    std::string names;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (const auto at = line.find("calling init: "); at != std::string::npos) {
            names += line.substr(at + 14) + "\n";
        }
    }
    return names;
}

// Runs the converter with the loader saying what it starts: its result,
// and in libs the libraries it started.
RunResult loading(const std::function<RunResult()>& run, std::string& libs) {
    setenv("LD_DEBUG", "files", 1);
    RunResult r = run();
    unsetenv("LD_DEBUG");
    libs = startedLibraries(r.err);
    EXPECT_NE(libs.find("libc.so"), std::string::npos) << "no word from the loader";
    return r;
}

// A split into HP-GL pages draws nothing: the rendering libraries and
// libtiff, with the twenty-odd libraries they pull in, took half of every
// such start, and are loaded only by a conversion that uses them.
TEST_F(Tolvane, SplittingAPdfLoadsNeitherTheRenderingLibrariesNorLibtiff) {
    splitMode();
    const std::string pdf = copySample("pdf/diff-pdf-visually/base_twice.pdf", home_.path());
    fs::create_directory(home_ / "out");
    std::string libs;
    RunResult r = loading([&] { return tolvane({"/h", pdf, home_ / "out/twice.hgl"}); }, libs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "out").size(), 2u);
    for (const char* lib : {"libcairo", "libfontconfig", "libharfbuzz", "libtiff"}) {
        EXPECT_EQ(libs.find(lib), std::string::npos) << lib;
    }
    // Rendering the pages into a TIFF loads them.
    r = loading([&] { return tolvane({"--convert", "/t", pdf, home_ / "twice.tif"}); }, libs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(libs.find("libcairo"), std::string::npos);
    EXPECT_NE(libs.find("libtiff"), std::string::npos);
}

// Nor does a split of HP-GL need fonts or compression: FreeType, with the
// PNG and Brotli libraries it brings, zlib and libdeflate cost every such
// start a fifth of its time. A join into PDF loads the deflate it writes
// with.
TEST_F(Tolvane, SplittingHpglLoadsNeitherFontsNorCompression) {
    const char* const unneeded[] = {"libfreetype", "libpng",   "libbrotli", "libz.",
                                    "libdeflate",  "libcairo", "libtiff"};
    splitMode();
    const std::string in = copySample("hpgl/hp2xx/pages.hp", home_.path(), "plan.hgl");
    fs::create_directory(home_ / "work");
    std::string libs;
    RunResult r = loading([&] { return tolvane({"/h", in, home_ / "work/plan.hgl"}); }, libs);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(listNames(home_ / "work").size(), 3u);
    for (const char* lib : unneeded) {
        EXPECT_EQ(libs.find(lib), std::string::npos) << lib;
    }
    joinMode();
    r = loading(
        [&] {
            return tolvane({"/p", home_ / "work/plan*.hgl", home_ / "plan.pdf"});
        },
        libs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText(home_ / "plan.pdf").rfind("%PDF-", 0), 0u);
    EXPECT_NE(libs.find("libdeflate"), std::string::npos);
    EXPECT_EQ(libs.find("libtiff"), std::string::npos);
}

// The label fonts of TrueType outlines are subset and measured from their
// files as they are: joining labelled pages to PDF starts neither harfbuzz
// nor the libraries it pulls in, and the text layer still embeds the font
// under its own name.
TEST_F(Tolvane, JoiningLabelsInTrueTypeFontsLeavesHarfbuzzUnloaded) {
    joinMode();
    fs::create_directory(home_ / "work");
    writeText(home_ / "work/plan_000001.hgl",
              "IN;SP1;PU0,0;PD4000,0;PU100,100;SI.3,.4;LBPlant layout B\x03;");
    setenv("LD_DEBUG", "files", 1);
    const RunResult r = tolvane({"/p", home_ / "work/plan*.hgl", home_ / "plan.pdf"});
    unsetenv("LD_DEBUG");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string libs = startedLibraries(r.err);
    // The glyphs' outlines still come from cairo.
    EXPECT_NE(libs.find("libcairo"), std::string::npos) << "no word from the loader";
    EXPECT_EQ(libs.find("libharfbuzz"), std::string::npos);
    const std::string pdf = readText(home_ / "plan.pdf");
    EXPECT_NE(pdf.find("/FontFile2"), std::string::npos);
    EXPECT_NE(pdf.find("+DejaVuSansMono"), std::string::npos);
}
#endif

TEST_F(Tolvane, BadInputOfEveryFormatLeavesNoOutput) {
    splitMode();
    const std::string pdf = readText(samplePath("pdf/diff-pdf-visually/base_twice.pdf"));
    writeText(home_ / "cut.pdf", pdf.substr(0, pdf.size() / 3));
    writeText(home_ / "cut.tif", std::string("II*\0\x08\0\0\0\x0F\0", 10));
    writeText(home_ / "cut.sfc", "ISO-10303-21;\r\nDATA;\r\n/*SXF\r\n#10 = line_feature('1'");
    writeText(home_ / "bad.p21",
              "ISO-10303-21;\nDATA;\n#1=POLYLINE('',(#9));\n#2=(STYLED_ITEM((),#1));\nENDSEC;\n");
    fs::create_directory(home_ / "out");
    for (const char* name : {"cut.pdf", "cut.tif", "cut.sfc", "bad.p21"}) {
        const RunResult r = tolvane({"/h", home_ / name, home_ / "out/x.hgl"});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err.rfind("tolvane: " + (home_ / name) + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(listNames(home_ / "out").empty()) << name;
    }
}

TEST_F(Tolvane, BadInputLeavesNoOutput) {
    joinMode();
    fs::create_directory(home_ / "work");
    writeText(home_ / "work/bad_000001.hgl", std::string("\x01\x02\x03 not a plot", 15));
    RunResult r = tolvane({"/p", home_ / "work/bad*.hgl", home_ / "bad.pdf"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("bad_000001.hgl: at byte "), std::string::npos) << r.err;
    EXPECT_EQ(listNames(home_.path()), (std::vector<std::string>{".local", "work"}));

    splitMode();
    r = tolvane({"/h", home_ / "work/bad_000001.hgl", home_ / "out/bad.hgl"});
    EXPECT_NE(r.status, 0);
    fs::create_directory(home_ / "out");
    r = tolvane({"/h", home_ / "work/bad_000001.hgl", home_ / "out/bad.hgl"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(listNames(home_ / "out").empty());

    // Input of no known kind by its extension is refused by name.
    writeText(home_ / "plan.dxf", "0\nSECTION\n");
    r = tolvane({"/h", home_ / "plan.dxf", home_ / "out/plan.hgl"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("plan.dxf: unknown input type"), std::string::npos) << r.err;
    EXPECT_TRUE(listNames(home_ / "out").empty());
}

TEST_F(Tolvane, SplitThatFailsMidwayRemovesThePagesItWrote) {
    splitMode();
    fs::create_directory(home_ / "out");
    const std::string in = home_ / "broken.hgl";
    writeText(in, "IN;SP1;PA100,100;PD2000,2000;PG;PA100,100;PD3000,300;PG;PA0,0;LBnever ends");
    const RunResult r = tolvane({"/h", in, home_ / "out/broken.hgl"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("broken.hgl: at byte "), std::string::npos) << r.err;
    EXPECT_TRUE(listNames(home_ / "out").empty());
}

TEST_F(Tolvane, JoinOutputPathMayHoldSpaces) {
    splitSample();
    joinMode();
    // The pipeline's last token has no closing quote: the path arrives whole.
    fs::create_directory(home_ / "out dir");
    const RunResult r = tolvane({"/p", home_ / "work/PLAN*.HGL", home_ / "out dir/plan x.pdf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(home_ / "out dir/plan x.pdf"), 3);
}

TEST_F(Tolvane, Line9ChoosesBetweenSplitAndJoin) {
    const std::string in = copySample("hpgl/hp2xx/pages.hp", home_.path(), "plan.hgl");
    fs::create_directory(home_ / "out");
    joinMode();
    // As a join, the input is a pattern of one name: one three-page file.
    RunResult r = tolvane({"/h", in, home_ / "out/plan.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "out"), std::vector<std::string>{"plan.hgl"});
    fs::remove(home_ / "out/plan.hgl");
    splitMode();
    r = tolvane({"/h", in, home_ / "out/plan.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "out").size(), 3u);
    // Splitting writes HP-GL only.
    r = tolvane({"/p", in, home_ / "out/plan.pdf"});
    EXPECT_NE(r.status, 0);
}

TEST_F(Tolvane, FirstRunWithoutParameterFileSplitsThenJoins) {
    // A fresh machine: nobody ran --init, so the first split creates the file.
    ASSERT_FALSE(fs::exists(parFile()));
    const std::string in1 = copySample("hpgl/hp2xx/pages.hp", home_.path(), "plan.hgl");
    fs::create_directories(home_ / "Temp1");
    fs::create_directories(home_ / "Temp2");
    RunResult r = tolvane({"/h", in1, home_ / "Temp1/plan.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(parFile()));
    EXPECT_EQ(listNames(home_ / "Temp1").size(), 3u);
    // The second split runs with the file the first one created.
    r = tolvane({"/h", in1, home_ / "Temp2/plan.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "Temp2").size(), 3u);
    r = tolvane({"/p", home_ / "Temp2/plan*.hgl", home_ / "plan.pdf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(home_ / "plan.pdf"), 3);
    // Line 9 neither 0 nor 1 also leaves it to the arguments.
    setLines({{9, "x"}});
    r = tolvane({"/h", in1, home_ / "Temp1/again.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listNames(home_ / "Temp1").size(), 6u);
}

TEST_F(Tolvane, Lines8And10FitTheSheetAndDrawInBlack) {
    setLines({{8, "1"}, {9, "1"}, {10, "1"}});
    const std::string in = copySample("hpgl/hp2xx/colors.hp", home_.path(), "colors.hgl");
    fs::create_directory(home_ / "out");
    RunResult r = tolvane({"/h", in, home_ / "out/colors.hgl"});
    ASSERT_EQ(r.status, 0) << r.err;
    joinMode();
    r = tolvane({"/t", home_ / "out/colors*.hgl", home_ / "colors.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<drawing::TiffPage> pages;
    std::string error;
    ASSERT_TRUE(drawing::readTiff(home_ / "colors.tif", pages, error)) << error;
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].compression, 4);  // black only: bi-level
    // An ISO A sheet at 300 dpi: A4 or larger, in either orientation.
    const int shortSide = std::min(pages[0].image.width, pages[0].image.height);
    const int longSide = std::max(pages[0].image.width, pages[0].image.height);
    EXPECT_TRUE((shortSide == 2481 && longSide == 3508) || (shortSide == 3508 && longSide == 4961))
        << shortSide << " x " << longSide;
}

TEST_F(Tolvane, ConvertIgnoresTheMode) {
    splitMode();
    const std::string in = copySample("hpgl/hp2xx/pages.hp", home_.path(), "plan.hgl");
    const RunResult r = tolvane({"--convert", "/p", in, home_ / "plan.pdf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(home_ / "plan.pdf"), 3);
}

}  // namespace
