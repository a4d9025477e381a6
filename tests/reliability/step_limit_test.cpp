// A sibling that never ends: the step is ended at its time limit and the
// next pair runs, and a stop request during a step ends the program within
// seconds, both through the program's normal end.
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

std::unique_ptr<Child> startCli(const Sandbox& s, const std::vector<std::string>& args,
                                const std::string& limit) {
    std::vector<std::string> argv{cliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto env = s.env();
    if (!limit.empty()) {
        env = with(env, "MERVIK_STEP_LIMIT=" + limit);
    }
    return std::make_unique<Child>(argv, env);
}

std::vector<std::string> failedRuns(const Sandbox& s) {
    return exists(s.data + "/Failed") ? listFolder(s.data + "/Failed") : std::vector<std::string>{};
}

}  // namespace

TEST(StepLimit, AHungSplitIsEndedAtTheLimitTheNextPairRunsAndTheLogsSayWhy) {
    Sandbox s;
    s.writePar();
    s.pair("hangs.hgl");
    s.pair("works.hgl");
    s.setControl({{"split.mode@" + s.in1 + "/hangs.hgl", "hang"}});
    const auto started = std::chrono::steady_clock::now();
    const Result r = startCli(s, {"--once"}, "2")->wait(120s);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3) << r.err;
    // The limit, and the grace for a program that ignores the request to end.
    EXPECT_LT(took, 60s);

    EXPECT_EQ(countOf(r.out, "\n  *** tolvane timed out after 2 s\n"), 1) << r.out;
    EXPECT_EQ(countOf(r.out, "* End\n"), 1) << r.out;
    EXPECT_TRUE(exists(s.out + "/works.pdf")) << r.out;
    EXPECT_EQ(entriesLike(s, "hangs.hgl", "tolvane timed out after 2 s"), 1);

    // The pair is kept with its reason; nothing of it is left in the inputs.
    const auto runs = failedRuns(s);
    ASSERT_EQ(runs.size(), 1u);
    const std::string kept = s.data + "/Failed/" + runs[0];
    EXPECT_TRUE(exists(kept + "/1/hangs.hgl"));
    EXPECT_TRUE(exists(kept + "/2/hangs.hgl"));
    EXPECT_NE(
        readText(kept + "/run.txt").value_or("").find("  *** tolvane timed out after 2 s\r\n"),
        std::string::npos);
    EXPECT_TRUE(listFolder(s.in1).empty());

    // The whole group was ended: the child the split left behind too.
    const int child = hangingChild(s);
    EXPECT_GT(child, 0);
    EXPECT_TRUE(waitFor([&] { return processGone(child); }, 10s)) << child;
    expectHandedBack(s);
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
}

TEST(StepLimit, AJoinEndedAtTheLimitLeavesNoTemporaryFileInTheOutputFolder) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    // Another program's temporary file is not ours to remove.
    writeText(s.out + "/.other.pdf.77.part", "someone else's\n");
    s.setControl({{"join.mode", "hang"}});
    const Result r = startCli(s, {"--once"}, "1")->wait(120s);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(countOf(r.out, "  *** tolvane timed out after 1 s\n"), 1) << r.out;
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{".other.pdf.77.part"});
    EXPECT_EQ(failedRuns(s).size(), 1u);
    expectHandedBack(s);
}

TEST(StepLimit, AStopSignalDuringAStepEndsTheProgramWithinSecondsAndKeepsTheInputs) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        Sandbox s;
        auto lines = s.parLines();
        lines[12] = "0";  // a poll at every tick
        s.writePar(lines);
        s.pair("plan.hgl");
        s.setControl({{"split.mode", "hang"}});
        // No limit of our own: the default one is far away.
        auto cli = startCli(s, {}, "");
        ASSERT_TRUE(waitFor([&] { return hangingChild(s) > 0; }, 60s));
        const auto asked = std::chrono::steady_clock::now();
        cli->signal(sig);
        const Result r = cli->wait(60s);
        const auto took = std::chrono::steady_clock::now() - asked;
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_LT(took, 20s);
        EXPECT_EQ(countOf(r.out,
                          "  *** tolvane was ended, as Mervik is ending; the input files stay "
                          "where they are\n"),
                  1)
            << r.out;
        expectOnlySplitsAndAllEnded(s);
        EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"plan.hgl"});
        EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{"plan.hgl"});
        EXPECT_TRUE(failedRuns(s).empty());
        EXPECT_TRUE(waitFor([&] { return processGone(hangingChild(s)); }, 10s));
        expectHandedBack(s);
        EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(lines));
    }
}
