// The window program, on an off-screen display: the reasons of a failed
// step in the run log and the error log as the console program writes them,
// a stop signal during a step that ends it within seconds, and an error log
// that cannot be written.
#include <signal.h>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"

using namespace e2e;
using namespace unattended;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<Child> startWindow(const Sandbox& s, const std::vector<std::string>& args) {
    std::vector<std::string> argv{MERVIK_WINDOW_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, with(s.env(), "QT_QPA_PLATFORM=offscreen"));
}

}  // namespace

TEST(Window, LogsTheReasonOfAFailedStepLikeTheConsole) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";
    s.writePar(lines);
    s.pair("plan.hgl");
    s.setControl({{"split.mode", "complain"}});
    auto window = startWindow(s, {"/a"});
    const std::string reason =
        "tolvane exited with status 2: fake: " + s.in1 + "/plan.hgl: not a plot";
    ASSERT_TRUE(waitFor([&] { return exists(s.data + "/Failed"); }, 60s));
    EXPECT_TRUE(waitFor([&] { return entriesLike(s, "plan.hgl", reason) == 1; }, 30s));
    window->signal(SIGTERM);
    const Result r = window->wait(30s);
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // Both splits failed, each with its reason; the run's log kept with the pair.
    const auto runs = listFolder(s.data + "/Failed");
    ASSERT_EQ(runs.size(), 1u);
    const auto runTxt = readText(s.data + "/Failed/" + runs[0] + "/run.txt").value_or("");
    EXPECT_EQ(countOf(runTxt, "  *** " + reason + "\r\n"), 1) << runTxt;
    EXPECT_EQ(countOf(runTxt, "  *** tolvane exited with status 2: fake: " + s.in2 +
                                  "/plan.hgl: not a plot\r\n"),
              1)
        << runTxt;
    expectHandedBack(s);
}

TEST(Window, AStopSignalDuringAStepEndsTheWindowWithinSeconds) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";
    s.writePar(lines);
    s.pair("plan.hgl");
    s.setControl({{"split.mode", "hang"}});
    auto window = startWindow(s, {"/a"});
    ASSERT_TRUE(waitFor([&] { return hangingChild(s) > 0; }, 60s));
    const auto asked = std::chrono::steady_clock::now();
    window->signal(SIGTERM);
    const Result r = window->wait(60s);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 20s);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    expectOnlySplitsAndAllEnded(s);
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"plan.hgl"});
    EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{"plan.hgl"});
    EXPECT_EQ(entriesLike(s, "plan.hgl",
                          "tolvane was ended, as Mervik is ending; the input files stay where "
                          "they are"),
              1);
    EXPECT_TRUE(waitFor([&] { return processGone(hangingChild(s)); }, 10s));
    expectHandedBack(s);
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(lines));
}

TEST(Window, AnErrorLogThatCannotBeWrittenIsSaidOnceOnStandardError) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";
    s.writePar(lines);
    // In the way of the log whoever runs the test, the superuser too.
    makeFolders(s.data + "/Error.txt");
    s.pair("a.hgl");
    s.pair("b.hgl");
    s.setControl({{"split.mode", "fail"}});
    auto window = startWindow(s, {"/a"});
    // Both pairs failed, each with entries the log lost.
    ASSERT_TRUE(waitFor([&] { return listFolder(s.data + "/Failed").size() == 2; }, 90s));
    window->signal(SIGTERM);
    const Result r = window->wait(30s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string said =
        "mervik: " + s.data + "/Error.txt cannot be written; error-log entries are lost\n";
    EXPECT_EQ(countOf(r.err, said), 1) << r.err;
    EXPECT_TRUE(fs::is_directory(s.data + "/Error.txt"));
}
