// mervik-cli with the real tolvane and sandrel: one complete run from a
// two-page HPGL pair to each output type, and the result pages checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "tests/console/e2e/harness.h"
#include "tests/integration/real_sandbox.h"

using namespace e2e;

namespace {

// The demo pair of two pages in each input folder.
struct RealSandbox : RealSiblingsSandbox {
    RealSandbox() { makeDemoPair(in1 + "/plant.hgl", in2 + "/plant.hgl", 2); }
};

struct Colors {
    std::set<drawing::Rgb> seen;
    int pages = 0;
};

// The comparison's default colour of what both drawings have.
constexpr drawing::Rgb kUnchanged = 0xB4B4B4;

Colors resultColors(const std::string& path) {
    Colors colors;
    drawing::ReadError error;
    const bool ok = drawing::readHpglFile(
        path,
        [&](drawing::Page&& page) {
            ++colors.pages;
            // The change marks and legend are no part of what was compared.
            for (const auto& p : page.paths) {
                if (p.stroke.layer == drawing::Layer::drawing) {
                    colors.seen.insert(p.stroke.color);
                }
            }
            for (const auto& t : page.texts) {
                if (t.stroke.layer == drawing::Layer::drawing) {
                    colors.seen.insert(t.stroke.color);
                }
            }
            return true;
        },
        error);
    EXPECT_TRUE(ok) << path << ": " << error.message << " at " << error.offset;
    return colors;
}

// The demo pair differs (status 10); an identical pair does not (0).
void expectCompleteRun(const Result& r, int exitCode = 10) {
    EXPECT_EQ(r.exitCode, exitCode) << r.err;
    EXPECT_EQ(r.out, joinLines(completeRunLines("plant.hgl", 2, 1))) << r.err;
}

}  // namespace

TEST(RealSiblings, TwoPagePairToPdf) {
    RealSandbox s;
    const Result r = s.runCli({"--once", "/a", "/op"});
    expectCompleteRun(r);
    const std::string pdf = s.out + "/plant.pdf";
    ASSERT_TRUE(exists(pdf));
    EXPECT_NE(commandOutput("pdfinfo " + shellQuoted(pdf)).find("Pages:           2"),
              std::string::npos);
    EXPECT_TRUE(listFolder(s.in1).empty());
    EXPECT_TRUE(listFolder(s.in2).empty());
    // The converter's own file is back as it was installed.
    EXPECT_EQ(readText(s.tolvanePar).value_or(""), s.installedTolvanePar);
}

TEST(RealSiblings, TwoPagePairToTiff) {
    RealSandbox s;
    const Result r = s.runCli({"--once", "/a", "/ot"});
    expectCompleteRun(r);
    const std::string tif = s.out + "/plant.tif";
    ASSERT_TRUE(exists(tif));
    const std::string info = commandOutput("tiffinfo " + shellQuoted(tif) + " 2>/dev/null");
    std::size_t directories = 0;
    for (auto at = info.find("TIFF Directory"); at != std::string::npos;
         at = info.find("TIFF Directory", at + 1)) {
        ++directories;
    }
    EXPECT_EQ(directories, 2u);
}

TEST(RealSiblings, TwoPagePairToHpglShowsRemovedAddedAndUnchanged) {
    RealSandbox s;
    const Result r = s.runCli({"--once", "/a", "/oh"});
    expectCompleteRun(r);
    const std::string hgl = s.out + "/plant.hgl";
    ASSERT_TRUE(exists(hgl));
    const Colors colors = resultColors(hgl);
    EXPECT_EQ(colors.pages, 2);
    // The pair differs in known places: removed, added and unchanged all show.
    EXPECT_TRUE(colors.seen.count(kUnchanged)) << "no unchanged geometry";
    EXPECT_TRUE(colors.seen.count(0xFF0000)) << "no removed geometry";
    EXPECT_TRUE(colors.seen.count(0x0000FF)) << "no added geometry";
}

TEST(RealSiblings, IdenticalPairHasNothingRemovedOrAdded) {
    RealSandbox s;
    // The same drawing on both sides: every page comes out unchanged.
    writeText(s.in2 + "/plant.hgl", readText(s.in1 + "/plant.hgl").value_or(""));
    const Result r = s.runCli({"--once", "/a", "/oh"});
    expectCompleteRun(r, 0);
    const Colors colors = resultColors(s.out + "/plant.hgl");
    EXPECT_EQ(colors.pages, 2);
    EXPECT_EQ(colors.seen, std::set<drawing::Rgb>{kUnchanged});
}
