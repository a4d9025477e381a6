// mervik-cli --once as a script sees it, with our own siblings: the exit
// status says whether the drawings differed, and --report lines say where,
// as the legends on the result pages do.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "tests/console/e2e/harness.h"
#include "tests/integration/real_sandbox.h"

using namespace e2e;

namespace {

constexpr double kMm = drawing::kUnitsPerMm;

QString q(const char* s) {
    return QString::fromUtf8(s);
}

void writeHpgl(const std::string& path, const drawing::Page& page) {
    std::ofstream out(path, std::ios::binary);
    drawing::HpglWriter writer(out);
    writer.writePage(page);
    writer.finish();
    ASSERT_TRUE(out.good());
}

// A board-like sheet: a frame, a few tracks of 0.5 mm, a label.
drawing::Page board(double trackWidthMm) {
    drawing::Page page;
    page.width = 210 * kMm;
    page.height = 148 * kMm;
    const auto path = [&](std::vector<drawing::Point> mm, double width) {
        drawing::Path p;
        for (const auto& m : mm) {
            p.points.push_back({m.x * kMm, m.y * kMm});
        }
        p.stroke.widthMm = width;
        page.paths.push_back(p);
    };
    path({{10, 10}, {200, 10}, {200, 138}, {10, 138}, {10, 10}}, 0.35);
    path({{30, 40}, {90, 40}, {90, 80}}, 0.5);
    path({{30, 100}, {150, 100}}, trackWidthMm);
    path({{120, 30}, {180, 60}}, 0.5);
    drawing::Text t;
    t.origin = {140 * kMm, 20 * kMm};
    t.text = "J1 POWER";
    t.charWidth = 1.5 * kMm;
    t.charHeight = 2.5 * kMm;
    page.texts.push_back(t);
    return page;
}

std::vector<QJsonObject> reportLines(const std::string& path) {
    std::vector<QJsonObject> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        QJsonParseError error{};
        const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        lines.push_back(doc.object());
    }
    return lines;
}

// The change lists of the result file's legends: per page, region number
// to its "N removed, M added" words.
std::map<int, std::map<int, std::string>> legendLists(const std::string& path) {
    std::map<int, std::map<int, std::string>> lists;
    int page = 0;
    drawing::ReadError error;
    const std::regex entry(R"(^(\d+): (.*)$)");
    EXPECT_TRUE(drawing::readHpglFile(
        path,
        [&](drawing::Page&& p) {
            ++page;
            for (const auto& t : p.texts) {
                std::smatch m;
                if (t.stroke.layer == drawing::Layer::marks && std::regex_match(t.text, m, entry)) {
                    lists[page][std::stoi(m[1])] = m[2];
                }
            }
            return true;
        },
        error))
        << error.message;
    return lists;
}

std::string countsOf(const QJsonObject& region) {
    const int removed = region[q("removed")].toInt();
    const int added = region[q("added")].toInt();
    std::string out;
    if (removed > 0) {
        out = std::to_string(removed) + " removed";
    }
    if (added > 0) {
        out += (out.empty() ? "" : ", ") + std::to_string(added) + " added";
    }
    return out;
}

TEST(ScriptReport, ExitStatusAndReportLinesAgreeWithTheLegends) {
    RealSiblingsSandbox s;
    // The demo pair differs; a second pair is one drawing twice.
    makeDemoPair(s.in1 + "/plant.hgl", s.in2 + "/plant.hgl", 2);
    makeDemoPair(s.in1 + "/same.hgl", s.in2 + "/other.hgl", 1);
    writeText(s.in2 + "/same.hgl", readText(s.in1 + "/same.hgl").value_or(""));
    std::remove((s.in2 + "/other.hgl").c_str());
    const std::string report = s.root + "/report.jsonl";
    const Result r = s.runCli({"--once", "--report", report, "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 10) << r.err;

    const auto lines = reportLines(report);
    ASSERT_EQ(lines.size(), 2u);
    std::map<std::string, QJsonObject> byName;
    for (const auto& line : lines) {
        const std::string file1 = line[q("file1")].toString().toStdString();
        byName[file1.substr(file1.rfind('/') + 1)] = line;
    }
    ASSERT_EQ(byName.size(), 2u);
    const QJsonObject same = byName["same.hgl"];
    EXPECT_EQ(same[q("outcome")].toString(), q("same"));
    EXPECT_EQ(same[q("file2")].toString().toStdString(), s.in2 + "/same.hgl");
    EXPECT_EQ(same[q("pages")].toInt(), 1);
    EXPECT_EQ(same[q("regionCount")].toInt(), 0);

    const QJsonObject plant = byName["plant.hgl"];
    EXPECT_EQ(plant[q("outcome")].toString(), q("different"));
    EXPECT_EQ(plant[q("result")].toString().toStdString(), s.out + "/plant.hgl");
    EXPECT_EQ(plant[q("pages")].toInt(), 2);
    EXPECT_GE(plant[q("pagesWithDifferences")].toInt(), 1);
    const QJsonArray regions = plant[q("regions")].toArray();
    EXPECT_EQ(plant[q("regionCount")].toInt(), regions.size());
    ASSERT_FALSE(regions.isEmpty());
    const auto legends = legendLists(s.out + "/plant.hgl");
    std::size_t listed = 0;
    for (const auto& page : legends) {
        listed += page.second.size();
    }
    EXPECT_EQ(listed, static_cast<std::size_t>(regions.size()));
    for (const auto& value : regions) {
        const QJsonObject region = value.toObject();
        const int page = region[q("page")].toInt();
        const int number = region[q("number")].toInt();
        ASSERT_TRUE(legends.count(page) && legends.at(page).count(number)) << page << "/" << number;
        EXPECT_EQ(legends.at(page).at(number), countsOf(region));
        EXPECT_EQ(region[q("boxMm")].toArray().size(), 4);
    }
}

TEST(ScriptReport, FailedRunEndsWithThreeAndIsReported) {
    RealSiblingsSandbox s;
    writeText(s.in1 + "/broken.hgl", "this is not a plot");
    writeText(s.in2 + "/broken.hgl", "nor is this");
    const std::string report = s.root + "/report.jsonl";
    const Result r = s.runCli({"--once", "--report", report, "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    const auto lines = reportLines(report);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][q("outcome")].toString(), q("failed"));
    EXPECT_TRUE(lines[0][q("result")].isNull());
}

// A pair whose only change is one track's width: one region, listed as a
// change of width; with the setting off, the same pair.
TEST(ScriptReport, WidthOnlyChangeIsOneWidthRegionUnlessTurnedOff) {
    RealSiblingsSandbox s;
    writeHpgl(s.in1 + "/board.hgl", board(0.5));
    writeHpgl(s.in2 + "/board.hgl", board(1.0));
    const std::string report = s.root + "/report.jsonl";
    Result r = s.runCli({"--once", "--report", report, "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 10) << r.err;
    auto lines = reportLines(report);
    ASSERT_EQ(lines.size(), 1u);
    const QJsonArray regions = lines[0][q("regions")].toArray();
    ASSERT_EQ(regions.size(), 1);
    const QJsonObject region = regions[0].toObject();
    EXPECT_EQ(region[q("kind")].toString(), q("width"));
    EXPECT_EQ(region[q("oldWidthMm")].toDouble(), 0.5);
    EXPECT_EQ(region[q("newWidthMm")].toDouble(), 1.0);
    const auto legends = legendLists(s.out + "/board.hgl");
    ASSERT_TRUE(legends.count(1) && legends.at(1).count(1));
    EXPECT_EQ(legends.at(1).at(1), "1 removed, 1 added");

    // The comparison program's own file, as its user would edit it.
    {
        std::ofstream par(s.sandrelPar, std::ios::app);
        par << "CompareWidth = 0\n";
    }
    writeHpgl(s.in1 + "/board.hgl", board(0.5));
    writeHpgl(s.in2 + "/board.hgl", board(1.0));
    r = s.runCli({"--once", "--report", report, "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    lines = reportLines(report);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1][q("outcome")].toString(), q("same"));
    EXPECT_TRUE(lines[1][q("regions")].toArray().isEmpty());
}

TEST(ScriptReport, WithoutReportNoFileIsWritten) {
    RealSiblingsSandbox s;
    makeDemoPair(s.in1 + "/plant.hgl", s.in2 + "/plant.hgl", 1);
    const Result r = s.runCli({"--once", "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 10) << r.err;
    EXPECT_FALSE(exists(s.root + "/report.jsonl"));
    // The summary stays in the data folder, not among the work folders.
    EXPECT_TRUE(exists(s.data + "/Comparison.json"));
}

}  // namespace
