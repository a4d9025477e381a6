#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "automation/command_lines.h"
#include "shell/UnitShell.h"
#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

using Lines = std::vector<std::string>;

class PipelineTest : public CoreFixture {};

TEST_F(PipelineTest, CompleteRunLogsEveryStepAndDeletesThePair) {
    pair("plan.pdf");
    MervikCore core = makeCore();
    core.RunPass("plan.pdf");
    const Lines expected = {
        "* Start Input file : plan.pdf",
        "1.Tolvane  Dir1\\MultiPage1File ==> Temp1\\1PageMultiFiles",
        "  Number of files in Temp1=2",
        "2.Tolvane  Dir2\\MultiPage1File ==> Temp2\\1PageMultiFiles",
        "  Number of files in Temp2=2",
        "3.Sandrel compares Temp1 and Temp2, and outputs to Temp3",
        "  Number of files in Temp3= 2",
        "4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File ",
        "  Number of files in OutDir= 1",
        "* End",
    };
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(view.status, "Outputting !");
    EXPECT_FALSE(fs::exists(in1 + "plan.pdf"));
    EXPECT_FALSE(fs::exists(in2 + "plan.pdf"));
    EXPECT_TRUE(fs::exists(out + "plan.pdf"));
    EXPECT_FALSE(fs::exists(settings.sDataDir + "/Error.txt"));

    const std::string t = settings.sDataDir + "/Temp";
    const Lines commands = {
        "\"" + settings.sTolvaneExe + "\" /h \"" + in1 + "plan.pdf\" \"" + t + "1/plan.hgl\"",
        "\"" + settings.sTolvaneExe + "\" /h \"" + in2 + "plan.pdf\" \"" + t + "2/plan.hgl\"",
        "\"" + settings.sSandrelExe + "\" /h /oh \"" + t + "1/plan*.hgl\" \"" + t + "2/\" \"" + t +
            "3/\"",
        "\"" + settings.sTolvaneExe + "\" /p \"" + t + "3/plan*.hgl\" \"" + out + "plan.pdf",
    };
    EXPECT_EQ(runner.lines, commands);
    // The second split was offered to run beside the first, as step 2 then
    // runs it, and let go of when the pass was over.
    EXPECT_EQ(runner.ahead, Lines{commands[1]});
    ASSERT_EQ(runner.aheadEnvironments.size(), 1u);
    EXPECT_EQ(runner.aheadEnvironments[0], runner.environments[1]);
    EXPECT_EQ(runner.dropped, 1);

    // A pass that ends after the first split lets go of the second too.
    pair("plan.pdf");
    runner.splitPages[0] = 0;
    runner.splitPages[1] = 0;
    core.RunPass("plan.pdf");
    EXPECT_EQ(runner.ahead.size(), 2u);
    EXPECT_EQ(runner.dropped, 2);
}

TEST_F(PipelineTest, EveryStepIsToldWhichDrawingsThePassCompares) {
    pair("plan rev.pdf");
    pair("other.pdf");
    // A malloc setting of the user's own reaches the programs with the
    // huge pages added.
    const char* const before = std::getenv("GLIBC_TUNABLES");
    const std::string saved = before != nullptr ? before : "";
    setenv("GLIBC_TUNABLES", "glibc.malloc.arena_max=2", 1);
    MervikCore core = makeCore();
    core.RunPass("plan rev.pdf");
    if (before != nullptr)
        setenv("GLIBC_TUNABLES", saved.c_str(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
    // And where the comparison program puts its summary: beside the work
    // folders, not in one.
    const std::vector<std::string> drawings = {
        "MERVIK_DRAWING1=" + in1 + "plan rev.pdf", "MERVIK_DRAWING2=" + in2 + "plan rev.pdf",
        "MERVIK_COMPARISON_REPORT=" + settings.sDataDir + "/Comparison.json",
        "GLIBC_TUNABLES=glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1:glibc.malloc.top_pad="
        "8388608"};
    ASSERT_EQ(runner.environments.size(), 4u);
    for (const auto& e : runner.environments)
        EXPECT_EQ(e, drawings);
    // Nothing is left for a program started outside a pass.
    EXPECT_TRUE(runner.environment().empty());
    core.RunPass("other.pdf");
    ASSERT_EQ(runner.environments.size(), 8u);
    EXPECT_EQ(runner.environments.back()[0], "MERVIK_DRAWING1=" + in1 + "other.pdf");
}

TEST(SiblingTunables, HugePagesAreAddedToWhatTheUserSetAndAChoiceOfTheirsIsKept) {
    const std::string ours = "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=8388608";
    EXPECT_EQ(siblingTunables(nullptr), "GLIBC_TUNABLES=" + ours);
    EXPECT_EQ(siblingTunables(""), "GLIBC_TUNABLES=" + ours);
    EXPECT_EQ(siblingTunables("glibc.malloc.tcache_count=0"),
              "GLIBC_TUNABLES=glibc.malloc.tcache_count=0:" + ours);
    EXPECT_EQ(siblingTunables("glibc.malloc.hugetlb=0"),
              "GLIBC_TUNABLES=glibc.malloc.hugetlb=0:glibc.malloc.top_pad=8388608");
    EXPECT_EQ(siblingTunables("glibc.malloc.top_pad=0"),
              "GLIBC_TUNABLES=glibc.malloc.top_pad=0:glibc.malloc.hugetlb=1");
    EXPECT_EQ(
        siblingTunables("glibc.malloc.arena_max=2:glibc.malloc.hugetlb=2:glibc.malloc.top_pad=1"),
        "GLIBC_TUNABLES=glibc.malloc.arena_max=2:glibc.malloc.hugetlb=2:glibc.malloc.top_pad=1");
}

TEST_F(PipelineTest, JoinLineFollowsTheOutputTypeAndTheName) {
    struct Case {
        int outTyp;
        std::string name, tail;
    };
    const Case cases[] = {
        {1, "plan.a.pdf", "/t \"T/plan.a*.hgl\" \"O/plan.a.tif"},
        {2, "plan.pdf", "/y \"T/plan*.hgl\" \"O/plan.p21"},
        {3, "plan.pdf", "/y \"T/plan*.hgl\" \"O/plan.sfc"},
        {4, "plan", "/h \"T/plan*.hgl\" \"O/plan.hgl"},
        {7, "my plan é.pdf", " \"T/my plan é*.hgl\" \"O/my plan é"},
    };
    for (const Case& c : cases) {
        PassInput in;
        in.tolvaneExe = "X";
        in.temp3 = "T/";
        in.outDir = "O/";
        in.name = c.name;
        in.baseName = GetBaseName(c.name);
        in.outTyp = c.outTyp;
        EXPECT_EQ(joinCommandLine(in), "\"X\" " + c.tail) << c.outTyp;
    }
    PassInput in;
    in.tolvaneExe = "X";
    in.folder1 = "A/";
    in.temp1 = "T/";
    in.name = "plan";
    in.baseName = "plan";
    EXPECT_EQ(splitCommandLine1(in), "\"X\" /h \"A/plan\" \"T/plan.hgl\"");
}

TEST_F(PipelineTest, ZeroPagesEndsAfterStepTwoAndKeepsThePairInFailed) {
    pair("plan.pdf");
    runner.splitPages[0] = 0;
    MervikCore core = makeCore();
    core.RunPass("plan.pdf");
    const auto runs = failedRuns(settings.sDataDir);
    ASSERT_EQ(runs.size(), 1u);
    const std::string kept = runs[0];
    // A folder of its own: date, time and the name.
    EXPECT_NE(kept.find(" plan.pdf/"), std::string::npos) << kept;
    const Lines tail = {
        "  Number of files in Temp2=2",
        "  *** Warninng ! Compared file count is not the same !",
        "      Temp1=0 Temp2=2",
        "  *** Warninng ! Compared file count=0 !",
        "      Temp1=0 Temp2=2",
        "  Input files moved to " + kept + "1/plan.pdf and " + kept + "2/plan.pdf",
    };
    ASSERT_GE(view.log.size(), tail.size());
    EXPECT_EQ(Lines(view.log.end() - tail.size(), view.log.end()), tail);
    EXPECT_EQ(runner.lines.size(), 2u);
    EXPECT_EQ(errorLog(),
              "8 Dec 2026 09:05:03 plan.pdf Compared file count is not the same ! Temp1=0 "
              "Temp2=2\r\n"
              "8 Dec 2026 09:05:03 plan.pdf Compared file count=0 ! Temp1=0 Temp2=2\r\n"
              "8 Dec 2026 09:05:03 plan.pdf Input files moved to " +
                  kept + "1/plan.pdf and " + kept + "2/plan.pdf\r\n");
    EXPECT_EQ(readFile(kept + "1/plan.pdf"), "one");
    EXPECT_EQ(readFile(kept + "2/plan.pdf"), "two");
    // The run's log lines, the last one naming where the pair went.
    std::string logText;
    for (const std::string& line : view.log)
        logText += line + "\r\n";
    EXPECT_EQ(readFile(kept + "run.txt"), logText);
    EXPECT_FALSE(fs::exists(in1 + "plan.pdf"));

    // A second failure of the same name, in the same second or not, overwrites nothing.
    pair("plan.pdf");
    core.RunPass("plan.pdf");
    const auto both = failedRuns(settings.sDataDir);
    ASSERT_EQ(both.size(), 2u);
    for (const std::string& run : both) {
        EXPECT_EQ(readFile(run + "1/plan.pdf"), "one");
        EXPECT_EQ(readFile(run + "2/plan.pdf"), "two");
    }
}

TEST_F(PipelineTest, ComparisonCountMustMatchTemp1) {
    pair("plan.pdf");
    runner.splitPages[1] = 3;
    runner.comparePages = 3;
    MervikCore core = makeCore();
    core.RunPass("plan.pdf");
    const Lines tail = {
        "  Number of files in Temp3= 3",
        "  *** Error ! Compared file count error !",
        "  Temp1=2 Temp3=3",
    };
    EXPECT_EQ(Lines(view.log.end() - 4, view.log.end() - 1), tail);
    EXPECT_EQ(runner.lines.size(), 3u);
    EXPECT_NE(errorLog().find("plan.pdf Compared file count error ! Temp1=2 Temp3=3\r\n"),
              std::string::npos);
}

TEST_F(PipelineTest, JoinThatWritesNothingFailsEvenWithOtherFilesInOutDir) {
    writeFile(out + "older.tif", "x");
    writeFile(out + "plan.pdf", "an older result of the same name");
    pair("plan.pdf");
    runner.joinWrites = false;
    MervikCore core = makeCore();
    core.RunPass("plan.pdf");
    const Lines tail = {
        "  Number of files in OutDir= 2",
        "  *** Error ! Compared file count=0 error !",
        "  Temp1=2 OutDir=2",
    };
    EXPECT_EQ(Lines(view.log.end() - 4, view.log.end() - 1), tail);
    EXPECT_NE(errorLog().find("plan.pdf Compared file count=0 error ! Temp1=2 OutDir=2"),
              std::string::npos);
    ASSERT_EQ(failedRuns(settings.sDataDir).size(), 1u);
    EXPECT_TRUE(fs::exists(failedRuns(settings.sDataDir)[0] + "1/plan.pdf"));

    // Rewriting the older result does count.
    pair("plan.pdf");
    runner.joinWrites = true;
    runner.lines.clear();
    view.log.clear();
    core.RunPass("plan.pdf");
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_EQ(readFile(out + "plan.pdf"), "joined");
}

TEST_F(PipelineTest, MissingSiblingGivesZeroPages) {
    pair("plan.pdf");
    ProcessRunner real;
    settings.sTolvaneExe = root + "/no/such/tolvane";
    MervikCore core(settings, view, real, env);
    core.RunPass("plan.pdf");
    EXPECT_EQ(view.log[2], "  Number of files in Temp1=0");
    // The reason follows each step's own lines.
    EXPECT_EQ(view.log[3], "  *** tolvane could not be started: No such file or directory");
    EXPECT_EQ(view.log[5], "  Number of files in Temp2=0");
    EXPECT_EQ(view.log[6], "  *** tolvane could not be started: No such file or directory");
    EXPECT_EQ(view.log[7], "  *** Warninng ! Compared file count=0 !");
    EXPECT_NE(
        errorLog().find(" plan.pdf tolvane could not be started: No such file or directory\r\n"),
        std::string::npos);
}

TEST_F(PipelineTest, WorkFoldersAreEmptiedAndAnUndeletableOneStopsTheRun) {
    pair("plan.pdf");
    MervikCore core = makeCore();
    writeFile(settings.sDataDir + "/Temp1/stale_1.hgl", "old");
    // Temp2 as a plain file: it can be removed, so the run goes on.
    writeFile(settings.sDataDir + "/Temp2", "not a folder");
    core.RunPass("plan.pdf");
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_FALSE(fs::exists(settings.sDataDir + "/Temp1/stale_1.hgl"));

    // A work folder that cannot be re-created: its parent path is a file.
    pair("plan.pdf");
    view.log.clear();
    runner.lines.clear();
    const std::string data = settings.sDataDir;
    settings.sDataDir = root + "/datafile";
    writeFile(settings.sDataDir, "x");
    core.RunPass("plan.pdf");
    EXPECT_TRUE(runner.lines.empty());
    ASSERT_GE(view.log.size(), 2u);
    EXPECT_EQ(view.log[1],
              "  *** Error ! Work folder cannot be emptied : " + settings.sDataDir + "/Temp1/");
    settings.sDataDir = data;
}

TEST_F(PipelineTest, StalePageThatCannotBeDeletedIsNotCountedWithNewOnes) {
    const std::string temp2 = settings.sDataDir + "/Temp2";
    const std::string stale = temp2 + "/plan_9.hgl";
    writeFile(stale, "old");
    const bool root = geteuid() == 0;
    if (root && !setImmutable(stale, true))
        GTEST_SKIP() << "no way to make a file undeletable here";
    if (!root)
        fs::permissions(temp2, fs::perms::owner_read | fs::perms::owner_exec);
    pair("plan.pdf");
    MervikCore core = makeCore();
    core.RunPass("plan.pdf");
    if (root)
        setImmutable(stale, false);
    else
        fs::permissions(temp2, fs::perms::owner_all);
    EXPECT_TRUE(runner.lines.empty());
    ASSERT_EQ(view.log.size(), 3u);
    EXPECT_EQ(view.log[1], "  *** Error ! Work folder cannot be emptied : " + temp2 + "/");
    const std::string entry = "8 Dec 2026 09:05:03 plan.pdf Work folder cannot be emptied ! ";
    EXPECT_EQ(errorLog().substr(0, entry.size()), entry);
    ASSERT_EQ(failedRuns(settings.sDataDir).size(), 1u);
    EXPECT_TRUE(fs::exists(failedRuns(settings.sDataDir)[0] + "2/plan.pdf"));
}

TEST_F(PipelineTest, NamesWithBlanksNonAsciiAndNoExtension) {
    settings.sChgAreaDir1 = in1 + "*";
    settings.iOutTyp = 1;
    pair("my plan \xc3\xa9");
    MervikCore core = makeCore();
    EXPECT_EQ(core.FindInputFile(), "my plan \xc3\xa9");
    core.RunPass("my plan \xc3\xa9");
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_TRUE(fs::exists(out + "my plan \xc3\xa9.tif"));
    EXPECT_TRUE(fs::exists(settings.sDataDir + "/Temp1/my plan \xc3\xa9_1.hgl"));
}

TEST_F(PipelineTest, LogOfMoreThan1000LinesIsClearedAtTheStart) {
    pair("a.pdf");
    MervikCore core = makeCore();
    view.log.assign(1000, "x");
    core.RunPass("a.pdf");
    EXPECT_EQ(view.log.size(), 1010u);
    pair("a.pdf");
    core.RunPass("a.pdf");
    EXPECT_EQ(view.log.size(), 10u);
    EXPECT_EQ(view.log.front(), "* Start Input file : a.pdf");
}

TEST_F(PipelineTest, FindInputFileNeedsAnExactReadyPartner) {
    MervikCore core = makeCore();
    EXPECT_EQ(core.FindInputFile(), "");
    writeFile(in1 + "plan.pdf", "1");
    writeFile(in2 + "PLAN.pdf", "2");
    EXPECT_EQ(core.FindInputFile(), "");
    writeFile(in2 + "plan.pdf", "2");
    EXPECT_EQ(core.FindInputFile(), "plan.pdf");
    fs::create_directory(in1 + "folder.pdf");
    fs::create_directory(in2 + "folder.pdf");
    fs::remove(in1 + "plan.pdf");
    EXPECT_EQ(core.FindInputFile(), "");
    EXPECT_TRUE(view.log.empty());
}

TEST_F(PipelineTest, FindInputFilePassesOverQuotedNamesAndOpenFiles) {
    pair("a\"b.pdf");
    MervikCore core = makeCore();
    EXPECT_EQ(core.FindInputFile(), "");
    EXPECT_EQ(core.FindInputFile(), "");
    EXPECT_EQ(errorLog(),
              "8 Dec 2026 09:05:03 a\"b.pdf File name contains a double quote and is passed "
              "over !\r\n");
    EXPECT_TRUE(fs::exists(in1 + "a\"b.pdf"));

    // A file another process holds open for writing is passed over, the next one is taken.
    pair("held.pdf");
    pair("free.pdf");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open((in1 + "held.pdf").c_str(), O_WRONLY | O_APPEND);
        char c = fd >= 0 ? '1' : '0';
        [[maybe_unused]] ssize_t w = write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    EXPECT_FALSE(core.CanOpenExclusive(in1 + "held.pdf"));
    EXPECT_TRUE(core.CanOpenExclusive(in1 + "free.pdf"));
    EXPECT_EQ(core.FindInputFile(), "free.pdf");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(core.CanOpenExclusive(in1 + "held.pdf"));
}

TEST_F(PipelineTest, CountFolderEntriesCountsEverythingButDots) {
    MervikCore core = makeCore();
    EXPECT_EQ(core.CountFolderEntries(root + "/missing/"), 0);
    writeFile(out + ".hidden", "");
    writeFile(out + "noext", "");
    fs::create_directory(out + "sub");
    EXPECT_EQ(core.CountFolderEntries(out), 3);
}

}  // namespace
}  // namespace mervik::test
