// Runs that fail, inputs that are not ready, and the error log.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

const std::string kMismatch = "  *** Warninng ! Compared file count is not the same !";
const std::string kZero = "  *** Warninng ! Compared file count=0 !";
const std::string kCountError = "  *** Error ! Compared file count error !";
const std::string kOutError = "  *** Error ! Compared file count=0 error !";

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A failed run: the expected log with exactly one line more that names the
// folder the pair went to; the error log holds the expected messages in order,
// and one entry names that folder; the pair is gone from folders 1 and 2 and
// sits in a folder of its own under Failed (1/ and 2/ and the run's log),
// next to what was there before; the invocation ends with status 3.
void expectFailedRun(const Sandbox& s, const Result& r, const std::vector<std::string>& lines,
                     const std::string& name, const std::vector<std::string>& messages,
                     const std::vector<std::string>& failedBefore = {}) {
    const std::string failed = s.data + "/Failed";
    EXPECT_EQ(r.exitCode, 3);
    const auto got = splitLines(r.out);
    bool matched = false;
    for (std::size_t extra = 1; extra <= lines.size() && got.size() == lines.size() + 1; ++extra) {
        auto rest = got;
        const std::string line = rest[extra];
        rest.erase(rest.begin() + static_cast<long>(extra));
        if (rest == lines && line.find(failed) != std::string::npos) {
            matched = true;
        }
    }
    EXPECT_TRUE(matched) << "expected, plus one line naming " << failed << ":\n"
                         << joinLines(lines) << "got:\n"
                         << r.out;

    const auto entries = s.errorEntries();
    std::size_t next = 0;
    bool named = false;
    for (const auto& e : entries) {
        if (next < messages.size() &&
            e.find(" " + name + " " + messages[next]) != std::string::npos) {
            ++next;
        }
        named = named || e.find(failed) != std::string::npos;
    }
    EXPECT_EQ(next, messages.size()) << "error-log messages missing or out of order";
    EXPECT_TRUE(named) << "no error-log entry names " << failed;

    EXPECT_FALSE(exists(s.in1 + "/" + name));
    EXPECT_FALSE(exists(s.in2 + "/" + name));
    const auto kept = listFolder(failed);
    EXPECT_EQ(kept.size(), failedBefore.size() + 1);
    for (const auto& f : failedBefore) {
        EXPECT_NE(std::find(kept.begin(), kept.end(), f), kept.end()) << f;
    }
    bool found = false;
    for (const auto& k : kept) {
        const std::string run = failed + "/" + k;
        if (isFolder(run) && exists(run + "/1/" + name)) {
            found = true;
            EXPECT_TRUE(exists(run + "/2/" + name));
            EXPECT_EQ(
                readText(run + "/run.txt").value_or("").rfind("* Start Input file : " + name, 0),
                0u);
        }
    }
    EXPECT_TRUE(found) << "no folder under Failed holds 1/" << name;
    EXPECT_NE(r.err.find("failed 1"), std::string::npos) << r.err;
}

// The kept drawings (not the run logs beside them), sorted.
std::string failedContents(const Sandbox& s) {
    std::vector<std::string> texts;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(s.data + "/Failed", ec)) {
        if (e.is_regular_file() && e.path().filename() != "run.txt") {
            texts.push_back(readText(e.path().string()).value_or("?"));
        }
    }
    std::sort(texts.begin(), texts.end());
    std::string all;
    for (const auto& t : texts) {
        all += t + "|";
    }
    return all;
}

}  // namespace

TEST(FailedRun, SplitOfFolder2WritesNothing) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl", "pages=2\n", "pages=2\nsecond\n");
    s.setControl({{"split.mode@" + s.in2 + "/plan.hgl", "exit"}});
    const Result r = s.runCli({"--once"});
    expectFailedRun(
        s, r,
        runHead("plan.hgl", 2, 0) + std::vector<std::string>{kMismatch, "      Temp1=2 Temp2=0",
                                                             kZero, "      Temp1=2 Temp2=0"},
        "plan.hgl",
        {"Compared file count is not the same ! Temp1=2 Temp2=0",
         "Compared file count=0 ! Temp1=2 Temp2=0"});
    EXPECT_EQ(s.calls().size(), 2u);
    // Both drawings kept, neither overwriting the other.
    EXPECT_EQ(failedContents(s), "pages=2\n|pages=2\nsecond\n|");
    EXPECT_TRUE(listFolder(s.out).empty());
}

TEST(FailedRun, FirstSplitEmptyAndSecondNot) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl", "pages=0\n", "pages=2\n");
    const Result r = s.runCli({"--once"});
    expectFailedRun(
        s, r,
        runHead("plan.hgl", 0, 2) + std::vector<std::string>{kMismatch, "      Temp1=0 Temp2=2",
                                                             kZero, "      Temp1=0 Temp2=2"},
        "plan.hgl",
        {"Compared file count is not the same ! Temp1=0 Temp2=2",
         "Compared file count=0 ! Temp1=0 Temp2=2"});
}

TEST(FailedRun, ComparisonCrashesOrWritesTheWrongCount) {
    struct Case {
        std::string control;
        int h;
    };
    struct Case2 {
        std::string control;
        int h;
        std::vector<std::string> reason;
    };
    for (const Case2& c : {Case2{"mode=abort", 0, {"  *** sandrel ended by signal 6"}},
                           Case2{"mode=segv", 0, {"  *** sandrel ended by signal 11"}},
                           Case2{"pages=1", 1, {}}, Case2{"pages=3", 3, {}}}) {
        SCOPED_TRACE(c.control);
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl", "pages=2\n", "pages=2\nsecond\n");
        // An earlier failure of the same name stays as it was.
        makeFolders(s.data + "/Failed");
        writeText(s.data + "/Failed/plan.hgl", "earlier\n");
        const auto eq = c.control.find('=');
        s.setControl({{"compare." + c.control.substr(0, eq), c.control.substr(eq + 1)}});
        const Result r = s.runCli({"--once"});
        const std::string counts = "Temp1=2 Temp3=" + std::to_string(c.h);
        expectFailedRun(s, r,
                        runHead("plan.hgl", 2, 2) + step3Lines(c.h) + c.reason +
                            std::vector<std::string>{kCountError, "  " + counts},
                        "plan.hgl", {"Compared file count error ! " + counts}, {"plan.hgl"});
        EXPECT_EQ(readText(s.data + "/Failed/plan.hgl"), "earlier\n");
        EXPECT_EQ(failedContents(s), "earlier\n|pages=2\n|pages=2\nsecond\n|");
        EXPECT_EQ(s.calls().size(), 3u);
    }
}

TEST(FailedRun, SiblingThatCannotBeStarted) {
    // A plain file without execute permission exists but does not start.
    {
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl");
        fs::remove(s.sandrel);
        writeText(s.sandrel, "not a program\n");
        chmod(s.sandrel.c_str(), 0644);
        const Result r = s.runCli({"--once"});
        expectFailedRun(
            s, r,
            runHead("plan.hgl", 2, 2) + step3Lines(0) +
                std::vector<std::string>{"  *** sandrel could not be started: Permission denied",
                                         kCountError, "  Temp1=2 Temp3=0"},
            "plan.hgl",
            {"sandrel could not be started: Permission denied",
             "Compared file count error ! Temp1=2 Temp3=0"});
    }
    {
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl");
        fs::remove(s.tolvane);
        writeText(s.tolvane, "not a program\n");
        chmod(s.tolvane.c_str(), 0644);
        const Result r = s.runCli({"--once"});
        const std::string why = "tolvane could not be started: Permission denied";
        std::vector<std::string> lines = runHead("plan.hgl", 0, 0);
        lines.insert(lines.begin() + 3, "  *** " + why);
        lines.push_back("  *** " + why);
        expectFailedRun(s, r, lines + std::vector<std::string>{kZero, "      Temp1=0 Temp2=0"},
                        "plan.hgl", {why, why, "Compared file count=0 ! Temp1=0 Temp2=0"});
        EXPECT_TRUE(s.calls().empty());
    }
}

TEST(FailedRun, JoinWritingNothingFailsEvenWithOtherFilesInOutDir) {
    struct Case {
        std::string mode;
        std::string existing;  // already in the output folder
    };
    for (const Case& c : {Case{"segv", "other.pdf"}, Case{"exit", "plan.pdf"}}) {
        const std::vector<std::string> reason =
            c.mode == "segv" ? std::vector<std::string>{"  *** tolvane ended by signal 11"}
                             : std::vector<std::string>{};
        SCOPED_TRACE(c.mode + " with " + c.existing);
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl");
        writeText(s.out + "/" + c.existing, "an older result\n");
        s.setControl({{"join.mode", c.mode}});
        const Result r = s.runCli({"--once"});
        expectFailedRun(s, r,
                        runHead("plan.hgl", 2, 2) + step3Lines(2) + step4Lines(1) + reason +
                            std::vector<std::string>{kOutError, "  Temp1=2 OutDir=1"},
                        "plan.hgl", {"Compared file count=0 error ! Temp1=2 OutDir=1"});
        EXPECT_EQ(readText(s.out + "/" + c.existing), "an older result\n");
        EXPECT_EQ(s.calls().size(), 4u);
    }
}

TEST(FailedRun, NoPlaceForTheFailedPairLosesNothing) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl", "pages=2\nfirst\n", "pages=2\nsecond\n");
    writeText(s.data + "/Failed", "a file where the folder would go\n");
    s.setControl({{"split.mode", "exit"}});
    const Result r = s.runCli({"--once"}, std::chrono::seconds(10));
    EXPECT_EQ(r.exitCode, 3);
    // Wherever the drawings are now, they are somewhere.
    int found = 0;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(s.root, ec)) {
        if (e.is_regular_file()) {
            const auto text = readText(e.path().string()).value_or("");
            found += (text == "pages=2\nfirst\n" || text == "pages=2\nsecond\n") ? 1 : 0;
        }
    }
    EXPECT_EQ(found, 2) << r.out;
    // A pair left in place is not run again in the same invocation.
    EXPECT_EQ(s.calls().size(), 2u);
}

TEST(Run, JoinReplacingAnOlderResultCompletes) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    writeText(s.out + "/plan.pdf", "an older result\n");
    writeText(s.out + "/other.pdf", "another result\n");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 2)));
    EXPECT_NE(readText(s.out + "/plan.pdf"), "an older result\n");
    EXPECT_FALSE(exists(s.data + "/Failed"));
    EXPECT_TRUE(listFolder(s.in1).empty());
}

TEST(Run, FewerPagesInFolder2IsLoggedButCompletes) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl", "pages=2\n", "pages=1\n");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.out, joinLines(runHead("plan.hgl", 2, 1) +
                               std::vector<std::string>{kMismatch, "      Temp1=2 Temp2=1"} +
                               step3Lines(2) + step4Lines(1) + std::vector<std::string>{"* End"}));
    const auto entries = s.errorEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(
        entryIs(entries[0], "plan.hgl", "Compared file count is not the same ! Temp1=2 Temp2=1"))
        << entries[0];
    EXPECT_TRUE(listFolder(s.in1).empty());
    EXPECT_TRUE(listFolder(s.in2).empty());
    EXPECT_FALSE(exists(s.data + "/Failed"));
}

TEST(ErrorLog, RotatesFrom12800128Bytes) {
    const std::string entry = "Compared file count is not the same ! Temp1=2 Temp2=1";
    struct Case {
        std::uintmax_t size;
        bool rotates;
        bool renameFails;
    };
    for (const Case& c :
         {Case{12800127, false, false}, Case{12800128, true, false}, Case{12800128, false, true}}) {
        SCOPED_TRACE(std::to_string(c.size) + (c.renameFails ? " rename fails" : ""));
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl", "pages=2\n", "pages=1\n");
        const std::string log = s.data + "/Error.txt";
        const std::string old = s.data + "/Error2.txt";
        writeText(log, "");
        fs::resize_file(log, c.size);  // sparse: quick to make
        if (c.renameFails) {
            // A folder in the way: neither deleted nor replaced by a rename.
            makeFolders(old);
            writeText(old + "/keep", "x");
        } else {
            writeText(old, "an older generation\r\n");
        }
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 0);
        const auto text = readText(log).value_or("");
        const auto tail = text.substr(std::min<std::size_t>(text.size(), c.rotates ? 0 : c.size));
        EXPECT_EQ(text.size(), (c.rotates ? 0 : c.size) + tail.size());
        ASSERT_GE(tail.size(), 2u);
        EXPECT_TRUE(entryIs(tail.substr(0, tail.size() - 2), "plan.hgl", entry)) << tail;
        EXPECT_EQ(tail.substr(tail.size() - 2), "\r\n");
        if (c.renameFails) {
            EXPECT_TRUE(isFolder(old));
        } else if (c.rotates) {
            EXPECT_EQ(fs::file_size(old), c.size);
        } else {
            EXPECT_EQ(readText(old), "an older generation\r\n");
        }
    }
}

TEST(Input, FileHeldOpenIsPassedOver) {
    // Open for writing (a program still writing it) or reading: not ours to take yet.
    for (const int flags : {O_WRONLY | O_APPEND, O_RDONLY}) {
        SCOPED_TRACE(flags == O_RDONLY ? "reader" : "writer");
        Sandbox s;
        s.writePar();
        s.pair("a.hgl");
        s.pair("b.hgl");
        const int fd = open((s.in1 + "/a.hgl").c_str(), flags | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const Result r = s.runCli({"--once"});
        close(fd);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, joinLines(completeRunLines("b.hgl", 2, 1)));
        EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"a.hgl"});
        EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{"a.hgl"});
    }
}

TEST(Input, FoldersAndPipesNeverQualify) {
    Sandbox s;
    s.writePar();
    makeFolders(s.in1 + "/a.hgl");
    makeFolders(s.in2 + "/a.hgl");
    // Opening a pipe without a writer would wait for good.
    ASSERT_EQ(mkfifo((s.in1 + "/c.hgl").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((s.in2 + "/c.hgl").c_str(), 0644), 0);
    s.pair("b.hgl");
    const Result r = s.runCli({"--once"}, std::chrono::seconds(10));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("b.hgl", 2, 1)));
    EXPECT_EQ(listFolder(s.in1), (std::vector<std::string>{"a.hgl", "c.hgl"}));
}

TEST(Input, PartnerThatIsAFolderIsNoPair) {
    Sandbox s;
    s.writePar();
    writeText(s.in1 + "/a.hgl", "pages=2\n");
    makeFolders(s.in2 + "/a.hgl");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(s.calls().empty());
}

TEST(Input, PartnerHeldOpenIsNoPair) {
    Sandbox s;
    s.writePar();
    s.pair("a.hgl");
    const int fd = open((s.in2 + "/a.hgl").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const Result r = s.runCli({"--once"});
    close(fd);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(s.calls().empty());
    EXPECT_TRUE(exists(s.in1 + "/a.hgl"));
    EXPECT_TRUE(exists(s.in2 + "/a.hgl"));
}

TEST(Run, SiblingLeavingAChildBehindIsNotWaitedFor) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    s.setControl({{"join.mode", "linger:20000"}});
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    const auto pidText = readText(s.root + "/linger.pid");
    ASSERT_TRUE(pidText.has_value());
    const pid_t child = static_cast<pid_t>(std::stol(*pidText));
    // Still alive: the program waited for its sibling, not for the sibling's children.
    EXPECT_EQ(kill(child, 0), 0);
    kill(child, SIGKILL);
}

TEST(Input, NameWithADoubleQuoteIsPassedOverAndLoggedOnce) {
    Sandbox s;
    s.writePar();
    const std::string quoted = "a\"b.hgl";
    s.pair(quoted);
    s.pair("c.hgl");
    s.pair("d.hgl");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(s.calls().size(), 8u);
    EXPECT_EQ(r.out.find(quoted), std::string::npos) << r.out;
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{quoted});
    EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{quoted});
    int mentions = 0;
    for (const auto& e : s.errorEntries()) {
        mentions += e.find(quoted) != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(mentions, 1) << "polls in this invocation: 3";
}

TEST(Input, ReadOnlyInputFoldersRunOnceAndKeepThePair) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    chmod(s.in1.c_str(), 0555);
    chmod(s.in2.c_str(), 0555);
    if (access(s.in1.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permission bits do not bind this user";
    }
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    // Run once, saying why the pair stays; the next poll passes it over.
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1) +
                               std::vector<std::string>{
                                   "  *** Input file cannot be deleted : " + s.in1 + "/plan.hgl",
                                   "  *** Input file cannot be deleted : " + s.in2 + "/plan.hgl"}));
    EXPECT_TRUE(exists(s.in1 + "/plan.hgl"));
    EXPECT_TRUE(exists(s.out + "/plan.pdf"));
}

TEST(FailedRun, WorkFolderThatCannotBeEmptiedIsNotUsed) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    makeFolders(s.data + "/Temp2/locked");
    writeText(s.data + "/Temp2/locked/plan-009.hgl", "old page\n");
    chmod((s.data + "/Temp2/locked").c_str(), 0555);
    if (access((s.data + "/Temp2/locked").c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permission bits do not bind this user";
    }
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(s.calls().empty());
    const auto lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "* Start Input file : plan.hgl");
    EXPECT_EQ(r.out.find("* End"), std::string::npos);
    EXPECT_FALSE(s.errorEntries().empty());
    EXPECT_FALSE(exists(s.in1 + "/plan.hgl"));
    EXPECT_EQ(listFolder(s.data + "/Failed").size(), 1u);
}
