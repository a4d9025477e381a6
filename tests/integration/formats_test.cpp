// mervik-cli with our own siblings on PDF, TIFF and SXF pairs, to every
// output type; and the sample PDF pairs, each differing in one known place.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "tests/console/e2e/harness.h"
#include "tests/integration/real_sandbox.h"

using namespace e2e;

namespace {

namespace fs = std::filesystem;

// Runs tolvane --convert under a home of its own, away from the sandbox's.
void convert(const Sandbox& s, const std::string& sw, const std::string& in,
             const std::string& out) {
    const std::string maker = s.root + "/maker";
    // TIFF inputs at 100 dpi: scans of that kind compare as well, and faster.
    fs::create_directories(maker + "/Corvanta/Tolvane");
    writeText(maker + "/Corvanta/Tolvane/Tolvane.par",
              "Tolvane 1.00\r\n100\r\nLZW\r\nhgl\r\n0\r\n0\r\n0\r\n0\r\n\r\n0\r\n");
    const std::string cmd = "HOME=" + shellQuoted(maker) + " XDG_DATA_HOME=" + shellQuoted(maker) +
                            " XDG_CACHE_HOME=" + shellQuoted(maker + "/.cache") + " " +
                            shellQuoted(TOLVANE_PATH) + " --convert " + sw + " " + shellQuoted(in) +
                            " " + shellQuoted(out);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The three-page demo pair, converted to the input kind of ext.
void makePair(const RealSiblingsSandbox& s, const std::string& ext, int pages = 3) {
    const std::string hgl1 = s.root + "/maker1.hgl";
    const std::string hgl2 = s.root + "/maker2.hgl";
    makeDemoPair(hgl1, hgl2, pages);
    const std::string sw = ext == "pdf" ? "/p" : ext == "tif" ? "/t" : "/y";
    convert(s, sw, hgl1, s.in1 + "/plant." + ext);
    convert(s, sw, hgl2, s.in2 + "/plant." + ext);
}

int tiffDirectories(const std::string& path) {
    const std::string info = commandOutput("tiffinfo " + shellQuoted(path) + " 2>/dev/null");
    int n = 0;
    for (auto at = info.find("TIFF Directory"); at != std::string::npos;
         at = info.find("TIFF Directory", at + 1)) {
        ++n;
    }
    return n;
}

int pdfPages(const std::string& path) {
    const std::string info = commandOutput("pdfinfo " + shellQuoted(path) + " 2>/dev/null");
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

struct Output {
    const char* option;
    const char* ext;
};
// The output's extension names it in the test's name.
void PrintTo(const Output& o, std::ostream* os) {
    *os << o.ext;
}
const Output kOutputs[] = {
    {"/op", "pdf"}, {"/ot", "tif"}, {"/os", "p21"}, {"/ov", "sfc"}, {"/oh", "hgl"},
};

// One whole run of the pair in ext to the output type o; pages is what the
// result holds.
void runToOutput(const std::string& ext, int pages, const Output& o) {
    RealSiblingsSandbox s;
    s.writePar(s.parLines("*." + ext));
    makePair(s, ext);
    const Result r = s.runCli({"--once", "/a", o.option});
    EXPECT_EQ(r.exitCode, 10) << r.err;  // the pair differs
    EXPECT_EQ(r.out, joinLines(completeRunLines("plant." + ext, pages, 1))) << r.err;
    const std::string out = s.out + "/plant." + o.ext;
    ASSERT_TRUE(exists(out));
    const std::string text = readText(out).value_or("");
    if (std::string(o.ext) == "pdf") {
        EXPECT_EQ(pdfPages(out), pages);
    } else if (std::string(o.ext) == "tif") {
        EXPECT_EQ(tiffDirectories(out), pages);
    } else if (std::string(o.ext) == "p21" || std::string(o.ext) == "sfc") {
        EXPECT_EQ(text.rfind("ISO-10303-21;", 0), 0u);
        EXPECT_NE(text.find(std::string(o.ext) == "sfc" ? "feature_mode" : "AP202_mode"),
                  std::string::npos);
    } else {
        int read = 0;
        drawing::ReadError error;
        EXPECT_TRUE(drawing::readHpglFile(
            out,
            [&](drawing::Page&&) {
                ++read;
                return true;
            },
            error))
            << error.message;
        EXPECT_EQ(read, pages);
    }
}

// Each input kind to each output type, a test each: the runs are whole
// conversions and comparisons, so they are many short tests that run side
// by side rather than a few long ones.
class FormatsToEveryOutputType : public ::testing::TestWithParam<Output> {};

TEST_P(FormatsToEveryOutputType, PdfPair) {
    runToOutput("pdf", 3, GetParam());
}

TEST_P(FormatsToEveryOutputType, TiffPair) {
    runToOutput("tif", 3, GetParam());
}

TEST_P(FormatsToEveryOutputType, SxfPair) {
    // An SXF file is one sheet: the three pages stand side by side on it.
    runToOutput("sfc", 1, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatsToEveryOutputType, ::testing::ValuesIn(kOutputs),
                         [](const ::testing::TestParamInfo<Output>& info) {
                             return std::string(info.param.ext);
                         });

TEST(Formats, FirstRunOnAFreshMachineSplitsEveryPage) {
    // Nobody ran "tolvane --init": the first split creates its parameter file.
    RealSiblingsSandbox s(false);
    ASSERT_FALSE(exists(s.tolvanePar));
    s.writePar(s.parLines("*.pdf"));
    makePair(s, "pdf");
    const Result r = s.runCli({"--once", "/a", "/op"});
    EXPECT_EQ(r.exitCode, 10) << r.err;  // the pair differs
    EXPECT_EQ(r.out, joinLines(completeRunLines("plant.pdf", 3, 1))) << r.err;
    EXPECT_EQ(pdfPages(s.out + "/plant.pdf"), 3);
}

struct Words {
    std::multiset<std::string> unchanged, removed, added;
    int pages = 0;
    std::size_t others = 0;  // paths and rasters in a changed colour
};

Words resultWords(const std::string& path) {
    Words w;
    drawing::ReadError error;
    EXPECT_TRUE(drawing::readHpglFile(
        path,
        [&](drawing::Page&& page) {
            ++w.pages;
            // The change marks and the legend are no part of what was compared.
            for (const auto& t : page.texts) {
                if (t.stroke.layer != drawing::Layer::drawing)
                    continue;
                (t.stroke.color == 0xFF0000   ? w.removed
                 : t.stroke.color == 0x0000FF ? w.added
                                              : w.unchanged)
                    .insert(t.text);
            }
            for (const auto& p : page.paths) {
                if (p.stroke.layer != drawing::Layer::drawing)
                    continue;
                w.others += p.stroke.color == 0xFF0000 || p.stroke.color == 0x0000FF;
            }
            for (const auto& r : page.rasters) {
                for (std::size_t i = 0; r.channels == 3 && i + 2 < r.pixels.size(); i += 3) {
                    const bool red = r.pixels[i] == 255 && r.pixels[i + 1] == 0;
                    const bool blue = r.pixels[i + 2] == 255 && r.pixels[i] == 0;
                    w.others += red || blue;
                }
            }
            return true;
        },
        error))
        << error.message;
    return w;
}

// The sample pair first/second compared to HP-GL through mervik-cli, which
// ends with status 10 when they differ, else 0.
Words compareSamples(const std::string& first, const std::string& second, bool differ = true) {
    RealSiblingsSandbox s;
    s.writePar(s.parLines("*.pdf"));
    const std::string dir = std::string(MERVIK_SAMPLES_DIR) + "/pdf/diff-pdf-visually/";
    fs::copy_file(dir + first, s.in1 + "/sample.pdf");
    fs::copy_file(dir + second, s.in2 + "/sample.pdf");
    const Result r = s.runCli({"--once", "/a", "/oh"});
    EXPECT_EQ(r.exitCode, differ ? 10 : 0) << r.err;
    return resultWords(s.out + "/sample.hgl");
}

TEST(Formats, SamplePairsShowTheirOneDifferenceAndNothingElse) {
    using Set = std::multiset<std::string>;
    Words w = compareSamples("base.pdf", "base_plus_period.pdf");
    EXPECT_EQ(w.pages, 1);
    EXPECT_EQ(w.removed, Set{"day."});
    EXPECT_EQ(w.added, Set{"day.."});
    EXPECT_EQ(w.unchanged.size(), 8u);
    EXPECT_EQ(w.others, 0u);

    w = compareSamples("base.pdf", "base_plus_white_text.pdf");
    EXPECT_TRUE(w.removed.empty());
    EXPECT_EQ(w.added, (Set{"This", "text", "is", "white."}));
    EXPECT_EQ(w.unchanged.size(), 9u);

    // The second sentence moved: it is removed there and added here.
    w = compareSamples("base.pdf", "base_shifted_layout.pdf");
    const Set sentence{"Hope", "you\u2019re", "having", "a", "great", "day."};
    EXPECT_EQ(w.removed, sentence);
    EXPECT_EQ(w.added, sentence);
    EXPECT_EQ(w.unchanged, (Set{"Hello", "world!", "1"}));

    // Two raster pages that differ only below what the eye or the ink
    // threshold sees: nothing changed.
    w = compareSamples("complex_1.pdf", "complex_2.pdf", false);
    EXPECT_EQ(w.pages, 2);
    EXPECT_EQ(w.others, 0u);
}

}  // namespace
