// The core under conditions a user meets when nobody watches: folders given
// twice under other spellings, stray files, files still being written by
// other programs and accounts, siblings that cannot start or crash, odd
// names, hand-edited parameter files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/dir_search.h"
#include "platform/file_identity.h"
#include "platform/file_lease.h"
#include "tests/automation/test_support.h"
#include "tests/support/process.h"

namespace mervik::test {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

bool isRoot() {
    return geteuid() == 0;
}

// Root, with runuser to start programs as the account nobody.
bool canActAsNobody() {
    return isRoot() && ::access("/usr/sbin/runuser", X_OK) == 0;
}

// The names of a folder in the order the directory read gives them.
Lines directoryOrder(const std::string& folder) {
    Lines names;
    DirSearch search(folder + "*");
    DirEntry e;
    while (search.next(e))
        if (e.name != "." && e.name != "..")
            names.push_back(e.name);
    return names;
}

void makeExecutable(const std::string& path, const std::string& text) {
    writeFile(path, text);
    ::chmod(path.c_str(), 0755);
}

class ReliabilityCore : public CoreFixture {};

// ---------------------------------------------------------------- 1. same folder

TEST(SameFolder, OneFolderHoweverItIsSpelt) {
    QTemporaryDir tmp;
    const std::string root = tmp.path().toStdString();
    fs::create_directories(root + "/a/sub");
    fs::create_directories(root + "/b");
    fs::create_directory_symlink(root + "/a", root + "/link");
    writeFile(root + "/f", "x");
    EXPECT_TRUE(sameFolder(root + "/a", root + "/a/"));
    EXPECT_TRUE(sameFolder(root + "/a", root + "/b/../a/./"));
    EXPECT_TRUE(sameFolder(root + "/link/", root + "/a"));
    EXPECT_TRUE(sameFolder(root + "/a/sub/..", root + "/a"));
    EXPECT_FALSE(sameFolder(root + "/a", root + "/b"));
    EXPECT_FALSE(sameFolder(root + "/a", root + "/a/sub"));
    EXPECT_FALSE(sameFolder(root + "/missing", root + "/missing"));
    EXPECT_FALSE(sameFolder(root + "/f", root + "/f"));  // a file is no folder
    EXPECT_FALSE(sameFolder("", ""));
}

TEST_F(ReliabilityCore, OutputOrFolder2EqualToAnInputFolderIsAStartCheck) {
    fs::create_directory_symlink(root + "/in1", root + "/in1-link");
    struct Case {
        std::string folder2, out, warning;
    };
    const std::string outSame = "Output folder is the same as a comparison folder!";
    const std::string twoSame =
        "Comparison folder 2 is the same as the folder of comparison file 1!";
    const Case cases[] = {
        {in2, root + "/in1-link/", outSame + "\r" + root + "/in1-link/"},
        {in2, root + "/out/../in2/", outSame + "\r" + root + "/out/../in2/"},
        {root + "/in1/./", out, twoSame + "\r" + root + "/in1/./"},
        {root + "/in1-link/", root + "/in1/", outSame + "\r" + root + "/in1/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        warnings.clear();
        settings.sChgAreaDir2 = c.folder2;
        settings.sOutDir = c.out;
        MervikCore core = makeCore();
        core.ButtonAutoOutputClick();
        EXPECT_FALSE(core.StandbyActive);
        EXPECT_FALSE(view.timer);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0], c.warning + "\rRegister comparison with the Set Button");
    }
    // Three different folders pass.
    warnings.clear();
    settings.sChgAreaDir2 = in2;
    settings.sOutDir = out;
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    EXPECT_TRUE(core.StandbyActive);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ReliabilityCore, TheResultJustWrittenIsNeverDeletedAsAnInput) {
    // Past the start checks (a folder changed under a running standby): the
    // HPGL result of plan.hgl lands on input 1 itself.
    settings.sChgAreaDir1 = in1 + "*.hgl";
    settings.sOutDir = in1;
    settings.iOutTyp = 4;
    writeFile(in1 + "plan.hgl", "one");
    writeFile(in2 + "plan.hgl", "two");
    MervikCore core = makeCore();
    core.RunPass("plan.hgl");
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_EQ(readFile(in1 + "plan.hgl"), "joined");
    EXPECT_FALSE(fs::exists(in2 + "plan.hgl"));
}

// ---------------------------------------------------------------- 2. stray files

TEST_F(ReliabilityCore, FilesNotReadyFirstInDirectoryOrderHoldUpNothing) {
    for (int i = 0; i < 8; ++i)
        writeFile(in1 + "p" + std::to_string(i) + ".pdf", "one");
    const Lines order = directoryOrder(in1);
    ASSERT_EQ(order.size(), 8u);
    // The first three in the order of the directory read are not ready: no
    // partner, a folder for a partner, a partner still held open.
    fs::create_directory(in2 + order[1]);
    for (std::size_t i = 2; i < order.size(); ++i)
        writeFile(in2 + order[i], "two");
    const int held = ::open((in2 + order[2]).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(held, 0);
    // And a folder of folder 1 whose name matches the pattern.
    fs::create_directory(in1 + "folder.pdf");
    fs::create_directory(in2 + "folder.pdf");

    MervikCore core = makeCore();
    Lines ran;
    for (std::string name = core.FindInputFile(); !name.empty(); name = core.FindInputFile()) {
        ASSERT_LT(ran.size(), 10u) << "a pair is found again and again";
        ran.push_back(name);
        core.RunPass(name);
    }
    // The ready pairs, in directory order.
    EXPECT_EQ(ran, Lines(order.begin() + 3, order.end()));
    ::close(held);
    EXPECT_TRUE(fs::exists(in1 + order[0]));
    EXPECT_TRUE(fs::exists(in1 + order[1]));
    // Once no longer held, that pair is ready too.
    EXPECT_EQ(core.FindInputFile(), order[2]);
}

// ---------------------------------------------------------------- 3. files still being written

TEST_F(ReliabilityCore, AWriterThatClosesBetweenPiecesIsWaitedFor) {
    env.settleTime = 300ms;
    writeFile(in2 + "plan.pdf", "two");
    backdateForTest(in2 + "plan.pdf");
    const std::string path = in1 + "plan.pdf";
    writeFile(path, "");
    // Pieces every 100 ms for 1.5 s, the file opened and closed for each.
    const pid_t writer = ::fork();
    if (writer == 0) {
        for (int i = 0; i < 15; ++i) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            [[maybe_unused]] const ssize_t n = ::write(fd, "piece\n", 6);
            ::close(fd);
            ::usleep(100'000);
        }
        ::_exit(0);
    }
    ASSERT_GT(writer, 0);
    MervikCore core = makeCore();
    // Polled again and again: when it is taken, it is whole.
    int polls = 0;
    std::string found;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (found.empty() && std::chrono::steady_clock::now() < deadline) {
        found = core.FindInputFile();
        ++polls;
    }
    EXPECT_EQ(found, "plan.pdf");
    EXPECT_EQ(fs::file_size(path), 15u * 6u) << "taken while being written";
    EXPECT_GE(polls, 3);
    int status = 0;
    ::waitpid(writer, &status, 0);
}

TEST_F(ReliabilityCore, SettleTimeIsWaitedOnlyForYoungFiles) {
    env.settleTime = 400ms;
    pair("plan.pdf");
    MervikCore core = makeCore();
    // Just written: looked at twice, the settle time apart.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(core.FindInputFile(), "plan.pdf");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    // Older than the settle time: taken at once.
    backdateForTest(in1 + "plan.pdf");
    backdateForTest(in2 + "plan.pdf");
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(core.FindInputFile(), "plan.pdf");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(ReliabilityCore, AWriterOfAnotherAccountHoldingTheFileIsWaitedFor) {
    if (!canActAsNobody())
        GTEST_SKIP() << "needs root and runuser to start a writer as another account";
    fs::permissions(root, fs::perms::all);
    fs::permissions(in1, fs::perms::all);
    writeFile(in2 + "plan.pdf", "two");
    const std::string path = in1 + "plan.pdf";
    // The writer holds the file open for 1.5 s after its first piece.
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::execl("/usr/sbin/runuser", "runuser", "-u", "nobody", "--", "/bin/sh", "-c",
                "exec 3>>\"$1\"; printf first >&3; sleep 1.5; printf second >&3", "sh",
                path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(writer, 0);
    for (int i = 0; i < 100 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(fs::exists(path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_uid, 0u) << "the writer is not another account";
    MervikCore core = makeCore();
    EXPECT_EQ(core.FindInputFile(), "");
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "runuser failed";
    EXPECT_EQ(core.FindInputFile(), "plan.pdf");
    EXPECT_EQ(readFile(path), "firstsecond");
}

TEST(Lease, AFileWeMayNotLeaseIsNotFree) {
    if (!canActAsNobody())
        GTEST_SKIP() << "needs root and runuser to run the check as another account";
    QTemporaryDir tmp;
    const std::string root = tmp.path().toStdString();
    fs::permissions(root, fs::perms::all);
    const std::string mine = root + "/root-owned.pdf";
    writeFile(mine, "closed, but not nobody's");
    ::chmod(mine.c_str(), 0644);
    const std::string theirs = root + "/nobody-owned.pdf";
    writeFile(theirs, "nobody's own");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    const std::string out = root + "/probe.txt";
    const std::vector<std::string> env = testsupport::environmentWithout({});
    for (const auto& [file, expected] :
         {std::pair{mine, std::string("busy\n")}, std::pair{theirs, std::string("free\n")}}) {
        ASSERT_EQ(
            testsupport::runAndWait(
                {"/usr/sbin/runuser", "-u", "nobody", "--", LEASE_PROBE_PATH, file}, env, out, ""),
            0);
        EXPECT_EQ(readFile(out), expected) << file;
    }
}

// ---------------------------------------------------------------- 6. why a step failed

TEST_F(ReliabilityCore, TheReasonOfAFailedStepIsLoggedAfterItsLines) {
    ProcessRunner real;
    const std::string bin = root + "/bin/";
    writeFile(bin + "tolvane-noexec", "#!/bin/sh\nexit 0\n");
    ::chmod((bin + "tolvane-noexec").c_str(), 0644);
    makeExecutable(bin + "tolvane-nointerp", "echo I have no interpreter line\n");
    makeExecutable(bin + "tolvane-status",
                   "#!/bin/sh\necho 'tolvane: first complaint' >&2\n"
                   "echo 'tolvane: /in/plan.pdf: at byte 7: not a plot' >&2\necho >&2\nexit 2\n");
    makeExecutable(bin + "tolvane-signal", "#!/bin/sh\nkill -11 $$\n");
    fs::copy_file(NEEDS_LIB_PATH, bin + "tolvane-nolib");
    const std::string lib = "libreliability_needed_lib.so";
    struct Case {
        std::string exe, reason;
    };
    const Case cases[] = {
        {"tolvane-noexec", "tolvane-noexec could not be started: Permission denied"},
        {"tolvane-nointerp", "tolvane-nointerp could not be started: Exec format error"},
        {"tolvane-status",
         "tolvane-status exited with status 2: tolvane: /in/plan.pdf: at byte 7: not a plot"},
        {"tolvane-signal", "tolvane-signal ended by signal 11"},
        {"tolvane-nolib", "tolvane-nolib exited with status 127: " + bin +
                              "tolvane-nolib: error while loading shared libraries: " + lib +
                              ": cannot open shared object file: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        fs::remove_all(settings.sDataDir + "/Failed");
        fs::remove(settings.sDataDir + "/Error.txt");
        view.log.clear();
        pair("plan.pdf");
        settings.sTolvaneExe = bin + c.exe;
        MervikCore core(settings, view, real, env);
        core.RunPass("plan.pdf");
        const Lines head = {
            "* Start Input file : plan.pdf",
            "1.Tolvane  Dir1\\MultiPage1File ==> Temp1\\1PageMultiFiles",
            "  Number of files in Temp1=0",
            "  *** " + c.reason,
            "2.Tolvane  Dir2\\MultiPage1File ==> Temp2\\1PageMultiFiles",
            "  Number of files in Temp2=0",
            "  *** " + c.reason,
            "  *** Warninng ! Compared file count=0 !",
        };
        ASSERT_GE(view.log.size(), head.size());
        EXPECT_EQ(Lines(view.log.begin(), view.log.begin() + head.size()), head);
        const std::string entry = "8 Dec 2026 09:05:03 plan.pdf " + c.reason + "\r\n";
        EXPECT_EQ(errorLog().substr(0, 2 * entry.size()), entry + entry);
        // The counts still decide: the pair is kept as failed, with the reason.
        const auto runs = failedRuns(settings.sDataDir);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_NE(readFile(runs[0] + "run.txt").find("  *** " + c.reason + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(ReliabilityCore, AComparisonThatFindsDifferencesIsNoFailure) {
    ProcessRunner real;
    const std::string bin = root + "/bin/";
    // Splits and joins like the fake runner, compares like diff: status 1.
    makeExecutable(bin + "tolvane",
                   "#!/bin/sh\nif [ \"$1\" = /h ]; then printf p > \"${3%.hgl}_1.hgl\"; "
                   "else printf joined > \"$3\"; fi\n");
    makeExecutable(bin + "sandrel", "#!/bin/sh\nprintf r > \"$5r_1.hgl\"\nexit 1\n");
    makeExecutable(bin + "sandrel-broken", "#!/bin/sh\nprintf r > \"$5r_1.hgl\"\nexit 2\n");
    pair("plan.pdf");
    MervikCore core(settings, view, real, env);
    core.RunPass("plan.pdf");
    EXPECT_EQ(view.log.size(), 10u);
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_EQ(errorLog(), "");

    view.log.clear();
    pair("plan.pdf");
    settings.sSandrelExe = bin + "sandrel-broken";
    MervikCore broken(settings, view, real, env);
    broken.RunPass("plan.pdf");
    ASSERT_EQ(view.log.size(), 11u);
    EXPECT_EQ(view.log[7], "  *** sandrel-broken exited with status 2");
    // Its pages were all there, so the run still completes.
    EXPECT_EQ(view.log.back(), "* End");
}

// ---------------------------------------------------------------- 7. the Failed folder

TEST_F(ReliabilityCore, AFailedPairOfTheLongestNameStaysTogether) {
    const std::string name = std::string(251, 'n') + ".pdf";
    ASSERT_EQ(name.size(), 255u);
    pair(name);
    runner.splitPages[0] = 0;
    MervikCore core = makeCore();
    core.RunPass(name);
    const auto runs = failedRuns(settings.sDataDir);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_LE(fs::path(runs[0]).parent_path().filename().string().size(), 255u);
    EXPECT_EQ(readFile(runs[0] + "1/" + name), "one");
    EXPECT_EQ(readFile(runs[0] + "2/" + name), "two");
    EXPECT_TRUE(fs::exists(runs[0] + "run.txt"));
    EXPECT_EQ(core.tally.failed, 1);
    EXPECT_EQ(core.tally.keptIn, Lines{runs[0].substr(0, runs[0].size() - 1)});
    // A name with a multi-byte letter at the cut keeps whole letters.
    const std::string wide = std::string(230, 'w') + "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9.pdf";
    pair(wide);
    core.RunPass(wide);
    for (const auto& run : failedRuns(settings.sDataDir)) {
        const std::string folder = fs::path(run).parent_path().filename().string();
        EXPECT_NE(static_cast<unsigned char>(folder.back()) & 0xC0, 0xC0) << "cut inside a letter";
    }
}

// ---------------------------------------------------------------- 8. inputs that stay

TEST_F(ReliabilityCore, APairThatCannotBeDeletedIsSaidOnceAndNotRunAgain) {
    pair("plan.pdf");
    const bool root = isRoot();
    auto lock = [&](bool on) {
        for (const std::string& f : {in1 + "plan.pdf", in2 + "plan.pdf"})
            if (root)
                setImmutable(f, on);
        if (!root)
            for (const std::string& d : {in1, in2})
                fs::permissions(
                    d, on ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
    };
    if (root && !setImmutable(in1 + "plan.pdf", true))
        GTEST_SKIP() << "no way to make a file undeletable here";
    lock(true);
    MervikCore core = makeCore();
    ASSERT_EQ(core.FindInputFile(), "plan.pdf");
    core.RunPass("plan.pdf");
    const Lines tail = {"* End", "  *** Input file cannot be deleted : " + in1 + "plan.pdf",
                        "  *** Input file cannot be deleted : " + in2 + "plan.pdf"};
    ASSERT_GE(view.log.size(), 3u);
    EXPECT_EQ(Lines(view.log.end() - 3, view.log.end()), tail);
    EXPECT_EQ(errorLog(),
              "8 Dec 2026 09:05:03 plan.pdf Input file cannot be deleted ! " + in1 +
                  "plan.pdf\r\n8 Dec 2026 09:05:03 plan.pdf Input file cannot be deleted ! " + in2 +
                  "plan.pdf\r\n");
    // Not run again while the two files stay as they are.
    EXPECT_EQ(core.FindInputFile(), "");
    EXPECT_EQ(core.FindInputFile(), "");
    lock(false);
    // A changed file is a new pair.
    writeFile(in1 + "plan.pdf", "one, changed");
    backdateForTest(in1 + "plan.pdf");
    EXPECT_EQ(core.FindInputFile(), "plan.pdf");
}

// ---------------------------------------------------------------- 4. one data folder

TEST_F(ReliabilityCore, TheDataFolderIsLockedForTheWholeProcess) {
    fs::remove_all(settings.sDataDir);
    MervikCore first = makeCore();
    EXPECT_EQ(first.lockDataFolder(), DataFolderLockResult::acquired);
    EXPECT_TRUE(fs::is_directory(settings.sDataDir));
    MervikCore second = makeCore();
    EXPECT_EQ(second.lockDataFolder(), DataFolderLockResult::heldByOther);
    // Another data folder is free.
    CoreEnvironment otherEnv = env;
    otherEnv.localAppData = root + "/other";
    TSettings otherSettings = settings;
    MervikCore other(otherSettings, view, runner, otherEnv);
    EXPECT_EQ(other.lockDataFolder(), DataFolderLockResult::acquired);
    // A data folder the lock had to create is new: the first paint fills it
    // from the Init folder.
    writeFile(env.initFolder + "/Mervik.par", formatParFile(settings));
    writeFile(env.initFolder + "/marker", "from Init");
    EXPECT_TRUE(first.FormPaint({}));
    EXPECT_EQ(readFile(settings.sDataDir + "/marker"), "from Init");
}

// ---------------------------------------------------------------- 5. hand-edited parameter file

TEST_F(ReliabilityCore, AHandEditedParameterFileIsReadAndNeverLost) {
    // The Init folder holds the maker's defaults.
    TSettings defaults;
    writeFile(env.initFolder + "/Mervik.par", formatParFile(defaults));
    // The user's file, saved by an editor that writes LF.
    std::string lf = formatParFile(settings);
    std::string edited;
    for (char c : lf)
        if (c != '\r')
            edited += c;
    const std::string par = settings.sDataDir + "/Mervik.par";
    writeFile(par, edited);
    TSettings loaded;
    CoreEnvironment e = env;
    {
        MervikCore core(loaded, view, runner, e);
        ASSERT_TRUE(core.FormPaint({}));
    }
    EXPECT_EQ(loaded.sChgAreaDir1, settings.sChgAreaDir1);
    EXPECT_EQ(loaded.sOutDir, settings.sOutDir);
    EXPECT_EQ(loaded.iWaitTime, 2);
    EXPECT_EQ(readFile(par), edited);
    EXPECT_FALSE(fs::exists(par + ".old"));

    // A file of another version is kept beside before the Init copy replaces it.
    const std::string foreign = "Version 10.00\nmy own settings\n";
    for (const std::string& kept : {par + ".old", par + ".old.1"}) {
        writeFile(par, foreign);
        TSettings again;
        MervikCore core(again, view, runner, e);
        ASSERT_TRUE(core.FormPaint({}));
        EXPECT_EQ(readFile(kept), foreign);
        EXPECT_EQ(readFile(par), formatParFile(defaults));
    }
    EXPECT_NE(
        errorLog().find("Mervik.par Parameter file of another version kept as Mervik.par.old"),
        std::string::npos);
}

// ---------------------------------------------------------------- 10. command line

TEST_F(ReliabilityCore, RelativeCommandLinePathsAreMadeAbsolute) {
    const fs::path before = fs::current_path();
    fs::current_path(root);
    MervikCore core = makeCore();
    core.applyCommandLine({"/a", "/oh", "in1/*.hgl", "./in2", "out/"});
    fs::current_path(before);
    EXPECT_EQ(settings.sChgAreaDir1, root + "/in1/*.hgl");
    EXPECT_EQ(settings.sChgAreaDir2, root + "/in2/");
    EXPECT_EQ(settings.sOutDir, root + "/out/");
    // Absolute ones stay as given.
    core.applyCommandLine({"/a", "/in/*.pdf", "/in2", "/out"});
    EXPECT_EQ(settings.sChgAreaDir1, "/in/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, "/in2/");
}

}  // namespace
}  // namespace mervik::test
