// The sandrel program run as its caller runs it: a separate process on page
// files in work folders, under a private home folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <map>

#include "drawing/hpgl/hpgl.h"
#include "process.h"
#include "sandrel/params.h"
#include "sandrel/testgen.h"
#include "text_file.h"

namespace sandrel {
namespace {

namespace fs = std::filesystem;
using drawing::Page;

class SandrelProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sandrel-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        home_ = root_ / "home";
        setenv("HOME", home_.c_str(), 1);
        setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home_ / "cache").c_str(), 1);
        for (const auto* dir : {"Temp1", "Temp2", "Temp3"}) {
            fs::create_directories(root_ / dir);
        }
    }
    void TearDown() override {
        unsetenv("MERVIK_COMPARISON_REPORT");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path temp(int n) const { return root_ / ("Temp" + std::to_string(n)); }
    std::string folder(int n) const { return temp(n).string() + "/"; }
    fs::path parFile() const { return home_ / "data" / "Corvanta" / "Sandrel" / "Sandrel.par"; }
    // Asks for the report for scripts, as Mervik does, until the test ends.
    fs::path askForReport() const {
        const fs::path path = root_ / "Comparison.json";
        setenv("MERVIK_COMPARISON_REPORT", path.c_str(), 1);
        return path;
    }

    void write(const fs::path& path, const std::vector<Page>& pages) {
        std::ofstream out(path, std::ios::binary);
        drawing::HpglWriter writer(out);
        for (const auto& page : pages) {
            writer.writePage(page);
        }
        writer.finish();
        ASSERT_TRUE(out.good());
    }

    std::vector<Page> read(const fs::path& path) {
        std::vector<Page> pages;
        drawing::ReadError error;
        EXPECT_TRUE(drawing::readHpglFile(
            path.string(),
            [&](Page&& page) {
                pages.push_back(std::move(page));
                return true;
            },
            error))
            << error.message;
        return pages;
    }

    int run(const std::vector<std::string>& args) {
        std::vector<std::string> argv{SANDREL_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        const int status =
            testsupport::runAndWait(argv, testsupport::environmentWithout({}),
                                    (root_ / "out.txt").string(), (root_ / "err.txt").string());
        stdErr = testsupport::readText(root_ / "err.txt");
        return status;
    }
    int compare(const std::string& pattern = "plan*.hgl") {
        return run({"/h", "/oh", folder(1) + pattern, folder(2), folder(3)});
    }

    std::vector<std::string> results() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp(3))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string stdErr;
    Options defaults;
    fs::path root_;
    fs::path home_;
};

bool legendSays(const Page& page, const std::string& words) {
    for (const auto& t : page.texts) {
        if (t.stroke.layer == drawing::Layer::marks && t.text.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The page as compared: without the marks and the legend.
Page drawingOf(const Page& page) {
    Page out = page;
    std::erase_if(out.paths, [](const auto& p) { return p.stroke.layer == drawing::Layer::marks; });
    std::erase_if(out.texts, [](const auto& t) { return t.stroke.layer == drawing::Layer::marks; });
    return out;
}

bool allOfColor(const Page& marked, drawing::Rgb color) {
    const Page page = drawingOf(marked);
    for (const auto& path : page.paths) {
        if (path.stroke.color != color) {
            return false;
        }
    }
    return !page.paths.empty();
}

TEST_F(SandrelProgram, ComparesEachFirstPageWithItsNamesake) {
    const GeneratedPair pair = makePair(300, defaults.toleranceMm, 11);
    write(temp(1) / "plan1.hgl", {pair.base});
    write(temp(2) / "plan1.hgl", {pair.base});
    write(temp(1) / "plan2.hgl", {pair.base});
    write(temp(2) / "plan2.hgl", {pair.variant});
    write(temp(1) / "plan3.hgl", {pair.base});  // no partner
    write(temp(2) / "plan4.hgl", {pair.base});  // no partner either
    write(temp(1) / "other.hgl", {pair.base});  // not named by the pattern

    EXPECT_EQ(compare(), 1) << stdErr;
    EXPECT_EQ(results(), (std::vector<std::string>{"plan1.hgl", "plan2.hgl", "plan3.hgl"}));
    EXPECT_NE(stdErr.find("plan3.hgl"), std::string::npos) << stdErr;
    EXPECT_NE(stdErr.find("plan4.hgl"), std::string::npos) << stdErr;

    const auto same = read(temp(3) / "plan1.hgl");
    ASSERT_EQ(same.size(), 1u);
    EXPECT_TRUE(allOfColor(same[0], defaults.unchangedColor));
    const auto alone = read(temp(3) / "plan3.hgl");
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(allOfColor(alone[0], defaults.removedColor));
    const auto changed = read(temp(3) / "plan2.hgl");
    ASSERT_EQ(changed.size(), 1u);
    std::size_t red = 0;
    std::size_t blue = 0;
    for (const auto& path : drawingOf(changed[0]).paths) {
        red += path.stroke.color == defaults.removedColor;
        blue += path.stroke.color == defaults.addedColor;
    }
    EXPECT_EQ(red, pair.removed.size() + 1);  // and the lost end of the partial line
    EXPECT_EQ(blue, pair.added.size());
}

TEST_F(SandrelProgram, SamePagesExitZeroAndCreateTheParameterFile) {
    const GeneratedPair pair = makePair(100, defaults.toleranceMm, 2);
    write(temp(1) / "plan1.hgl", {pair.base, pair.variant});
    write(temp(2) / "plan1.hgl", {pair.base, pair.variant});
    ASSERT_FALSE(fs::exists(parFile()));
    EXPECT_EQ(compare(), 0) << stdErr;
    EXPECT_EQ(testsupport::readText(parFile()), defaultParameterText());
    EXPECT_EQ(read(temp(3) / "plan1.hgl").size(), 2u);
    EXPECT_TRUE(stdErr.empty()) << stdErr;
}

TEST_F(SandrelProgram, ToleranceComesFromTheParameterFile) {
    Page a;
    drawing::Path line;
    line.points = {{0, 0}, {4000, 0}};
    a.paths = {line};
    Page b = a;
    b.paths[0].points = {{0, 20}, {4000, 20}};  // 0.5 mm aside
    write(temp(1) / "plan1.hgl", {a});
    write(temp(2) / "plan1.hgl", {b});
    EXPECT_EQ(compare(), 1) << stdErr;
    std::ofstream(parFile()) << "Tolerance = 1\nUnchangedColor = 112233\n";
    EXPECT_EQ(compare(), 0) << stdErr;
    const auto result = read(temp(3) / "plan1.hgl");
    ASSERT_EQ(result.size(), 1u);
    EXPECT_TRUE(allOfColor(result[0], 0x112233));

    std::ofstream(parFile()) << "Tolerance = wide\n";
    EXPECT_EQ(compare(), 2);
    EXPECT_NE(stdErr.find("Sandrel.par: line 1"), std::string::npos) << stdErr;
}

TEST_F(SandrelProgram, UnreadablePageGivesExitTwoAndNoResultForIt) {
    const GeneratedPair pair = makePair(50, defaults.toleranceMm, 4);
    write(temp(1) / "plan1.hgl", {pair.base});
    write(temp(2) / "plan1.hgl", {pair.base});
    std::ofstream(temp(1) / "plan2.hgl") << "%PDF-1.4 this is no plot";
    write(temp(2) / "plan2.hgl", {pair.base});
    write(temp(1) / "plan3.hgl", {pair.base});
    std::ofstream(temp(2) / "plan3.hgl") << "IN;PA0,0;PD100,100;\xC3\xA9\xFF garbage";

    EXPECT_EQ(compare(), 2);
    EXPECT_EQ(results(), (std::vector<std::string>{"plan1.hgl"}));
    EXPECT_NE(stdErr.find(folder(1) + "plan2.hgl: byte 0: "), std::string::npos) << stdErr;
    EXPECT_NE(stdErr.find(folder(2) + "plan3.hgl: byte "), std::string::npos) << stdErr;
    // No partial or temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(temp(3))) {
        EXPECT_EQ(entry.path().filename(), "plan1.hgl");
    }
}

// Page files are compared two at a time; what is said of them, their page
// numbers, the summary and the report still follow the files' order,
// whichever is done first. The first file is the largest, so that the
// others are done before it.
TEST_F(SandrelProgram, ManyPageFilesAreTakenInTheirOrderWhicheverIsDoneFirst) {
    const fs::path reportPath = askForReport();
    const GeneratedPair large = makePair(20000, defaults.toleranceMm, 21);
    const GeneratedPair small = makePair(100, defaults.toleranceMm, 22);
    write(temp(1) / "plan1.hgl", {large.base});
    write(temp(2) / "plan1.hgl", {large.variant});
    write(temp(1) / "plan2.hgl", {small.base});
    write(temp(2) / "plan2.hgl", {small.variant});
    write(temp(1) / "plan3.hgl", {small.base});
    write(temp(2) / "plan3.hgl", {small.base});
    std::ofstream(temp(1) / "plan4.hgl") << "%PDF-1.4 this is no plot";
    write(temp(2) / "plan4.hgl", {small.base});
    write(temp(1) / "plan5.hgl", {small.base});  // no partner
    write(temp(1) / "plan6.hgl", {small.base, small.base});
    write(temp(2) / "plan6.hgl", {small.base, small.variant});

    EXPECT_EQ(compare(), 2) << stdErr;
    EXPECT_EQ(results(), (std::vector<std::string>{"plan1.hgl", "plan2.hgl", "plan3.hgl",
                                                   "plan5.hgl", "plan6.hgl"}));
    const std::size_t unreadable = stdErr.find(folder(1) + "plan4.hgl: byte 0: ");
    const std::size_t alone = stdErr.find(folder(1) + "plan5.hgl: no page plan5.hgl");
    ASSERT_NE(unreadable, std::string::npos) << stdErr;
    ASSERT_NE(alone, std::string::npos) << stdErr;
    EXPECT_LT(unreadable, alone) << stdErr;

    // Pages 1, 2, 3 and 4 are the files 1, 2, 3 and 5; file 6 has pages 5 and 6.
    const auto first = read(temp(3) / "plan1.hgl");
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(legendSays(first[0], "Comparison, page 1"));
    EXPECT_TRUE(legendSays(first[0], "Pages compared: 6"));
    EXPECT_TRUE(legendSays(first[0], "with changes: 4,"));
    EXPECT_TRUE(legendSays(read(temp(3) / "plan5.hgl").at(0), "Comparison, page 4"));
    const auto last = read(temp(3) / "plan6.hgl");
    ASSERT_EQ(last.size(), 2u);
    EXPECT_TRUE(legendSays(last[0], "Comparison, page 5"));
    EXPECT_TRUE(legendSays(last[1], "Comparison, page 6"));
    EXPECT_FALSE(legendSays(last[0], "Pages compared"));

    const std::string text = testsupport::readText(reportPath);
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    EXPECT_EQ(report[QStringLiteral("pages")].toInt(), 6) << text;
    EXPECT_EQ(report[QStringLiteral("pagesWithDifferences")].toInt(), 4) << text;
    EXPECT_TRUE(report[QStringLiteral("failed")].toBool());
    const std::map<QString, int> pageOf = {{QStringLiteral("plan1.hgl"), 1},
                                           {QStringLiteral("plan2.hgl"), 2},
                                           {QStringLiteral("plan5.hgl"), 4},
                                           {QStringLiteral("plan6.hgl"), 6}};
    int lastPage = 0;
    for (const auto& value : report[QStringLiteral("regions")].toArray()) {
        const QJsonObject region = value.toObject();
        const QString file = region[QStringLiteral("file")].toString();
        ASSERT_EQ(pageOf.count(file), 1u) << text;
        EXPECT_EQ(region[QStringLiteral("page")].toInt(), pageOf.at(file)) << text;
        EXPECT_GE(region[QStringLiteral("page")].toInt(), lastPage) << "out of order: " << text;
        lastPage = region[QStringLiteral("page")].toInt();
    }
    EXPECT_EQ(lastPage, 6) << text;
}

TEST_F(SandrelProgram, RasterPageAgainstVectorPageGivesARasterResult) {
    drawing::Raster scan;
    scan.dpi = defaults.dpi;
    scan.width = scan.height = 50;
    scan.origin = {0, 50 * drawing::kUnitsPerInch / defaults.dpi};
    scan.pixels.assign(50 * 50, 0xFF);
    std::fill_n(scan.pixels.begin() + 25 * 50, 50, 0);  // a line across row 25
    Page a;
    a.rasters = {scan};
    Page b;
    drawing::Path line;
    line.points = {{0, 0}, {scan.origin.y, scan.origin.y}};  // a diagonal instead
    b.paths = {line};
    write(temp(1) / "plan1.hgl", {a});
    write(temp(2) / "plan1.hgl", {b});
    EXPECT_EQ(compare(), 1) << stdErr;
    const auto result = read(temp(3) / "plan1.hgl");
    ASSERT_EQ(result.size(), 1u);
    ASSERT_EQ(result[0].rasters.size(), 1u);
    const auto& out = result[0].rasters[0];
    ASSERT_EQ(out.channels, 3);
    std::size_t red = 0;
    std::size_t blue = 0;
    for (std::size_t i = 0; i + 2 < out.pixels.size(); i += 3) {
        const drawing::Rgb c = (drawing::Rgb(out.pixels[i]) << 16) |
                               (drawing::Rgb(out.pixels[i + 1]) << 8) | out.pixels[i + 2];
        red += c == defaults.removedColor;
        blue += c == defaults.addedColor;
    }
    EXPECT_GT(red, 30u);
    EXPECT_GT(blue, 30u);
    // The changes are marked and listed as on any other page.
    EXPECT_TRUE(legendSays(result[0], "Changes (compared pixel by pixel):"));
    EXPECT_TRUE(legendSays(result[0], "1: ")) << "a numbered region";
    EXPECT_TRUE(std::any_of(result[0].paths.begin(), result[0].paths.end(), [](const auto& p) {
        return p.stroke.layer == drawing::Layer::marks && p.points.size() > 4;
    })) << "a box around it";
}

TEST_F(SandrelProgram, CommandLineErrors) {
    write(temp(1) / "plan1.hgl", {Page{}});
    write(temp(2) / "plan1.hgl", {Page{}});
    EXPECT_EQ(run({"/p", "/oh", folder(1) + "plan*.hgl", folder(2), folder(3)}), 2);
    EXPECT_NE(stdErr.find("/p"), std::string::npos);
    EXPECT_EQ(run({"/h", "/ot", folder(1) + "plan*.hgl", folder(2), folder(3)}), 2);
    EXPECT_NE(stdErr.find("/ot"), std::string::npos);
    EXPECT_EQ(run({"/h", "/oh", folder(1) + "plan*.hgl", folder(2)}), 2);
    EXPECT_EQ(compare("none*.hgl"), 2);
    EXPECT_NE(stdErr.find("no page files match"), std::string::npos);
    EXPECT_EQ(run({"/h", "/oh", folder(1) + "plan*.hgl", folder(2), folder(3) + "missing/"}), 2);
    EXPECT_TRUE(results().empty());
    // A blank page without a partner still makes the drawings differ.
    write(temp(1) / "plan2.hgl", {Page{}});
    EXPECT_EQ(compare(), 1) << stdErr;
    fs::remove(temp(1) / "plan2.hgl");
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(run({"--version"}), 0);
    // Folder arguments without their closing slash still work.
    EXPECT_EQ(run({"/h", "/oh", folder(1) + "plan*.hgl", temp(2).string(), temp(3).string()}), 0)
        << stdErr;
}

}  // namespace
TEST_F(SandrelProgram, PagesOfOnlyOneFileAreNamedOnTheLastResultPage) {
    const GeneratedPair pair = makePair(200, defaults.toleranceMm, 5);
    write(temp(1) / "plan1.hgl", {pair.base});
    write(temp(1) / "plan2.hgl", {pair.base});
    for (const char* name : {"plan1.hgl", "plan2.hgl", "plan3.hgl", "plan4.hgl"}) {
        write(temp(2) / name, {pair.base});
    }
    EXPECT_EQ(compare(), 1) << stdErr;
    // One result per first page: the count the caller checks is kept.
    EXPECT_EQ(results(), (std::vector<std::string>{"plan1.hgl", "plan2.hgl"}));
    const auto first = read(temp(3) / "plan1.hgl");
    const auto last = read(temp(3) / "plan2.hgl");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_TRUE(legendSays(first[0], "Pages compared: 2")) << "summary on the first page";
    EXPECT_TRUE(legendSays(last[0], "file 2 has 2 more pages: 3, 4, not compared"));
    EXPECT_TRUE(legendSays(last[0], "no differences"));
    EXPECT_FALSE(legendSays(first[0], "more page"));

    // The other way round: the first file's extra pages are all removed.
    fs::remove(temp(2) / "plan2.hgl");
    fs::remove(temp(2) / "plan3.hgl");
    fs::remove(temp(2) / "plan4.hgl");
    EXPECT_EQ(compare(), 1) << stdErr;
    const auto alone = read(temp(3) / "plan2.hgl");
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(allOfColor(alone[0], defaults.removedColor));
    EXPECT_TRUE(legendSays(alone[0], "file 1 has 1 more page: 2, all removed"));
    EXPECT_TRUE(legendSays(alone[0], "No such page in 2"));
}

}  // namespace sandrel

namespace sandrel {
namespace {

// Mervik says which drawings the pages come from; a setting left over from
// some other drawing is not believed.
TEST_F(SandrelProgram, TheLegendNamesTheDrawingsItIsToldOf) {
    const GeneratedPair pair = makePair(200, defaults.toleranceMm, 5);
    write(temp(1) / "plan_000001.hgl", {pair.base});
    write(temp(2) / "plan_000001.hgl", {pair.variant});
    const std::string longFolder = "/srv/drawings/" + std::string(60, 'x') + "/rev B";
    setenv("MERVIK_DRAWING1", "/srv/drawings/rev A/plan.pdf", 1);
    setenv("MERVIK_DRAWING2", (longFolder + "/plan.pdf").c_str(), 1);
    EXPECT_EQ(compare(), 1) << stdErr;
    auto pages = read(temp(3) / "plan_000001.hgl");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(legendSays(pages[0], "1: /srv/drawings/rev A/plan.pdf"));
    EXPECT_TRUE(legendSays(pages[0], "2: .../rev B/plan.pdf")) << "a long path is shortened";

    setenv("MERVIK_DRAWING1", "/srv/drawings/rev A/other.pdf", 1);
    setenv("MERVIK_DRAWING2", "/srv/drawings/rev B/other.pdf", 1);
    EXPECT_EQ(compare(), 1) << stdErr;
    pages = read(temp(3) / "plan_000001.hgl");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(legendSays(pages[0], "1: plan_000001.hgl"));
    EXPECT_FALSE(legendSays(pages[0], "other.pdf"));
    unsetenv("MERVIK_DRAWING1");
    unsetenv("MERVIK_DRAWING2");
}

// The summary for scripts, where the caller asks for it: a track widened
// from 0.5 to 1.0 mm and a value changed in place, each one region of its
// kind, as the legend lists them.
TEST_F(SandrelProgram, ReportListsEachRegionAsTheLegendDoes) {
    const fs::path reportPath = askForReport();
    Page a;
    a.width = 297 * drawing::kUnitsPerMm;
    a.height = 210 * drawing::kUnitsPerMm;
    drawing::Path track;
    track.points = {{40 * drawing::kUnitsPerMm, 150 * drawing::kUnitsPerMm},
                    {140 * drawing::kUnitsPerMm, 150 * drawing::kUnitsPerMm}};
    track.stroke.widthMm = 0.5;
    a.paths = {track};
    drawing::Text value;
    value.origin = {200 * drawing::kUnitsPerMm, 40 * drawing::kUnitsPerMm};
    value.text = "1nF";
    value.charWidth = 1.5 * drawing::kUnitsPerMm;
    value.charHeight = 2.5 * drawing::kUnitsPerMm;
    a.texts = {value};
    Page b = a;
    b.paths[0].stroke.widthMm = 1.0;
    b.texts[0].text = "100pF";
    write(temp(1) / "plan1.hgl", {a});
    write(temp(2) / "plan1.hgl", {b});
    EXPECT_EQ(compare(), 1) << stdErr;

    const auto parsed = [&] {
        const std::string text = testsupport::readText(reportPath);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
        return doc.object();
    };
    QJsonObject report = parsed();
    EXPECT_EQ(report[QStringLiteral("pages")].toInt(), 1);
    EXPECT_EQ(report[QStringLiteral("pagesWithDifferences")].toInt(), 1);
    EXPECT_TRUE(report[QStringLiteral("differ")].toBool());
    QJsonArray regions = report[QStringLiteral("regions")].toArray();
    ASSERT_EQ(regions.size(), 2);
    // Reading order, as numbered on the page: the track high up first.
    const QJsonObject width = regions[0].toObject();
    EXPECT_EQ(width[QStringLiteral("kind")].toString(), QStringLiteral("width"));
    EXPECT_EQ(width[QStringLiteral("number")].toInt(), 1);
    EXPECT_EQ(width[QStringLiteral("page")].toInt(), 1);
    EXPECT_EQ(width[QStringLiteral("oldWidthMm")].toDouble(), 0.5);
    EXPECT_EQ(width[QStringLiteral("newWidthMm")].toDouble(), 1.0);
    const QJsonArray box = width[QStringLiteral("boxMm")].toArray();
    ASSERT_EQ(box.size(), 4);
    EXPECT_NEAR(box[0].toDouble(), 40, 1);
    EXPECT_NEAR(box[1].toDouble(), 150, 1);
    EXPECT_NEAR(box[2].toDouble(), 140, 1);
    EXPECT_NEAR(box[3].toDouble(), 150, 1);
    EXPECT_EQ(width[QStringLiteral("removed")].toInt(), 1);
    EXPECT_EQ(width[QStringLiteral("added")].toInt(), 1);
    const QJsonObject label = regions[1].toObject();
    EXPECT_EQ(label[QStringLiteral("kind")].toString(), QStringLiteral("text"));
    EXPECT_EQ(label[QStringLiteral("oldText")].toArray()[0].toString(), QStringLiteral("1nF"));
    EXPECT_EQ(label[QStringLiteral("newText")].toArray()[0].toString(), QStringLiteral("100pF"));

    const auto result = read(temp(3) / "plan1.hgl");
    ASSERT_EQ(result.size(), 1u);
    EXPECT_TRUE(legendSays(result[0], "1: 1 removed, 1 added")) << stdErr;
    EXPECT_TRUE(legendSays(result[0], "width 0.50 -> 1.00 mm"));
    EXPECT_TRUE(legendSays(result[0], "2: 1 removed, 1 added"));
    EXPECT_TRUE(legendSays(result[0], "\"1nF\" -> \"100pF\""));

    // With widths left out, only the label is a change.
    std::ofstream(parFile(), std::ios::app) << "CompareWidth = 0\n";
    EXPECT_EQ(compare(), 1) << stdErr;
    report = parsed();
    regions = report[QStringLiteral("regions")].toArray();
    ASSERT_EQ(regions.size(), 1);
    EXPECT_EQ(regions[0].toObject()[QStringLiteral("kind")].toString(), QStringLiteral("text"));

    // Without the variable nothing is written.
    unsetenv("MERVIK_COMPARISON_REPORT");
    fs::remove(reportPath);
    EXPECT_EQ(compare(), 1) << stdErr;
    EXPECT_FALSE(fs::exists(reportPath));
}

}  // namespace
}  // namespace sandrel
