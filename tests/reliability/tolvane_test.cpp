// The converter killed in the middle of a join, and given a plot with more
// pages than its page names can order.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/support/process.h"

using namespace e2e;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A home of its own with the converter's parameter file, line 9 set to split
// ("1") or join ("0").
class Converter {
  public:
    Converter() {
        std::string tmpl = "/tmp/mervik-tolvane-XXXXXX";
        root = mkdtemp(tmpl.data());
        env = testsupport::environmentWithout({"HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME="});
        env.push_back("HOME=" + root);
        env.push_back("XDG_DATA_HOME=" + root + "/share");
        env.push_back("XDG_CACHE_HOME=" + root + "/cache");
        EXPECT_EQ(run({"--init"}), 0);
    }
    ~Converter() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void mode(const std::string& line9) const {
        const std::string par = root + "/share/Corvanta/Tolvane/Tolvane.par";
        auto lines = splitLines(readText(par).value_or(""));
        ASSERT_GE(lines.size(), 9u);
        lines[8] = line9 + "\r";
        writeText(par, joinLines(lines));
    }
    int run(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{TOLVANE_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return testsupport::runAndWait(argv, env, root + "/out.txt", root + "/err.txt");
    }
    std::string err() const { return readText(root + "/err.txt").value_or(""); }

    std::string root;
    std::vector<std::string> env;
};

std::vector<std::string> partFiles(const std::string& folder) {
    std::vector<std::string> parts;
    for (const auto& n : listFolder(folder)) {
        if (n.size() > 5 && n.compare(n.size() - 5, 5, ".part") == 0) {
            parts.push_back(n);
        }
    }
    return parts;
}

}  // namespace

TEST(Tolvane, AJoinKilledMidwayLeavesALeftoverThatTheNextJoinRemoves) {
    Converter c;
    c.mode("0");
    const std::string pages = c.root + "/pages", out = c.root + "/result";
    makeFolders(pages);
    makeFolders(out);
    for (int i = 1; i <= 20; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/plan_%06d.hgl", i);
        writeText(pages + name, "IN;SP1;PU0,0;PD8000,0,8000,5600,0,5600,0,0;CI1000;PG;");
    }
    // Another output's leftover is not ours to remove.
    writeText(out + "/.other.tif.77.part", "someone else's\n");

    std::vector<std::string> argv{TOLVANE_PATH, "/t", pages + "/plan*.hgl", out + "/plan.tif"};
    auto join = std::make_unique<Child>(argv, c.env);
    bool caught = false;
    for (int i = 0; i < 5000 && !caught; ++i) {
        caught = partFiles(out).size() == 2;
        if (!caught) {
            std::this_thread::sleep_for(1ms);
        }
    }
    if (!caught) {
        GTEST_SKIP() << "the join ended before it could be killed";
    }
    std::this_thread::sleep_for(50ms);
    join->signal(SIGKILL);
    const Result killed = join->wait(10s);
    ASSERT_EQ(killed.signal, SIGKILL) << "the join ended before it could be killed";
    ASSERT_EQ(partFiles(out).size(), 2u);
    EXPECT_FALSE(exists(out + "/plan.tif"));

    EXPECT_EQ(c.run({"/t", pages + "/plan*.hgl", out + "/plan.tif"}), 0) << c.err();
    EXPECT_EQ(listFolder(out), (std::vector<std::string>{".other.tif.77.part", "plan.tif"}));
}

TEST(Tolvane, APlotOfAMillionPagesIsRefusedBeforeAPageIsWritten) {
    Converter c;
    c.mode("1");
    const std::string plot = c.root + "/million.hgl";
    {
        std::ofstream f(plot, std::ios::binary);
        f << "IN;SP1;";
        for (int i = 0; i < 1'000'000; ++i) {
            f << "PU0,0;PD100,100;PG;";
        }
    }
    // Into a folder that does not exist: a split that wrote first would fail
    // on its first page; one that counts first names the page count.
    EXPECT_EQ(c.run({"/h", plot, c.root + "/missing/plan.hgl"}), 1);
    EXPECT_EQ(c.err(), "tolvane: " + plot + ": more than 999999 pages\n");
    const std::string pages = c.root + "/pages";
    makeFolders(pages);
    EXPECT_EQ(c.run({"/h", plot, pages + "/plan.hgl"}), 1);
    EXPECT_TRUE(listFolder(pages).empty());

    // A big plot of few pages still splits.
    const std::string big = c.root + "/big.hgl";
    {
        std::ofstream f(big, std::ios::binary);
        f << "IN;SP1;";
        for (int page = 0; page < 4; ++page) {
            f << "PU0,0;PD";
            for (int i = 0; i < 140'000; ++i) {
                f << (i % 2 == 0 ? "1,1," : "2,2,");
            }
            f << "3,3;PG;";
        }
    }
    ASSERT_GT(fs::file_size(big), 2'000'002u);
    EXPECT_EQ(c.run({"/h", big, pages + "/big.hgl"}), 0) << c.err();
    EXPECT_EQ(listFolder(pages).size(), 4u);
}

TEST(Tolvane, ResultsWhoseNamesFillTheFileSystemsLimitAreWritten) {
    Converter c;
    c.mode("0");
    const std::string pages = c.root + "/pages", out = c.root + "/result";
    makeFolders(pages);
    makeFolders(out);
    writeText(pages + "/plan_000001.hgl", "IN;SP1;PU0,0;PD8000,0,8000,5600,0,5600,0,0;PG;");
    // 232 to 255 bytes, the longest with a character of two bytes at the end.
    for (const std::size_t size : {232u, 240u, 255u}) {
        SCOPED_TRACE(size);
        std::string name(size - 6, 'n');
        name += "\xc3\xa9.pdf";
        ASSERT_EQ(name.size(), size);
        EXPECT_EQ(c.run({"/p", pages + "/plan*.hgl", out + "/" + name}), 0) << c.err();
        EXPECT_TRUE(exists(out + "/" + name));
    }
    EXPECT_EQ(listFolder(out).size(), 3u);
}
