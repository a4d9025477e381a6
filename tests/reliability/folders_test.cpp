// What the data folder and the run's folders may lose while the program is
// away or in standby: the parameter file, an input folder.
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"

using namespace e2e;
using namespace unattended;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(Folders, AMissingParameterFileIsTakenFromInitAndSaid) {
    Sandbox s;
    // An existing data folder (it has an error log) without its parameter file.
    writeText(s.data + "/Error.txt", "");
    ASSERT_FALSE(exists(s.data + "/Mervik.par"));
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.err.find("Cannot open parameter file!"), std::string::npos) << r.err;
    const auto par = readText(s.data + "/Mervik.par");
    ASSERT_TRUE(par.has_value());
    EXPECT_EQ(par->rfind("Version 11.00\r\n", 0), 0u);
    EXPECT_EQ(entriesLike(s, "Mervik.par",
                          "Parameter file was missing and is taken from the Init folder"),
              1);
    // The next start finds it and says nothing more.
    s.runCli({"--once"});
    EXPECT_EQ(s.errorEntries().size(), 1u);
}

TEST(Folders, AParameterFileThatCannotBeReadIsNotReplacedAtTheEnd) {
    Sandbox s;
    // A link to a file on a volume that is not there.
    const std::string target = s.root + "/gone/Mervik.par";
    ASSERT_EQ(symlink(target.c_str(), (s.data + "/Mervik.par").c_str()), 0);
    const Result r = s.runCli({"--once"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("Cannot open parameter file!"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_symlink(s.data + "/Mervik.par"));
    EXPECT_FALSE(exists(target));
    makeFolders(s.root + "/gone");
    s.runCli({"--once"});
    EXPECT_FALSE(exists(target)) << "values that were never loaded were saved";
}

TEST(Folders, AVanishedInputFolderIsSaidOnceAndOnceAgainWhenItIsBack) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";
    s.writePar(lines);
    auto cli = s.startCli({});
    // Its start checks passed: only now may the folders change under it.
    ASSERT_TRUE(cli->waitForStandby(30s));
    const std::string away = s.root + "/away";
    ASSERT_EQ(rename(s.in1.c_str(), away.c_str()), 0);
    const std::string gone = "  *** Folder not found : " + s.in1 + "/\n";
    const std::string back = "  Folder found again : " + s.in1 + "/\n";
    EXPECT_TRUE(cli->waitForOutput(
        [&](const std::string& out) { return out.find(gone) != std::string::npos; }, 30s));
    std::this_thread::sleep_for(5s);  // more polls
    ASSERT_EQ(rename(away.c_str(), s.in1.c_str()), 0);
    s.pair("plan.hgl");
    EXPECT_TRUE(cli->waitForOutput(
        [](const std::string& out) { return out.find("* End\n") != std::string::npos; }, 30s));
    cli->signal(SIGTERM);
    const Result r = cli->wait(30s);
    EXPECT_EQ(countOf(r.out, gone), 1) << r.out;
    EXPECT_EQ(countOf(r.out, back), 1) << r.out;
    EXPECT_LT(r.out.find(back), r.out.find("* Start Input file : plan.hgl"));
    EXPECT_EQ(entriesLike(s, "Mervik", "Folder not found ! " + s.in1 + "/"), 1);
    EXPECT_EQ(entriesLike(s, "Mervik", "Folder found again : " + s.in1 + "/"), 1);
}

TEST(Folders, AnErrorLogThatCannotBeWrittenIsSaidOnceOnStandardError) {
    Sandbox s;
    s.writePar();
    // In the way of the log whoever runs the test, the superuser too.
    makeFolders(s.data + "/Error.txt");
    s.pair("a.hgl");
    s.pair("b.hgl");
    s.setControl({{"split.mode", "fail"}});
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 3);
    const std::string said =
        "mervik: " + s.data + "/Error.txt cannot be written; error-log entries are lost\n";
    EXPECT_EQ(countOf(r.err, said), 1) << r.err;
    // The run log still has every reason.
    EXPECT_EQ(countOf(r.out, "  *** tolvane exited with status 1\n"), 4) << r.out;
}
