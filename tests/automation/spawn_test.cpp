#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/file_lease.h"
#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotesGroupAndBackslashesAreOrdinary) {
    EXPECT_EQ(splitCommandLine("\"/a b/t\" /h \"C:\\in\\\" x"),
              (Args{"/a b/t", "/h", "C:\\in\\", "x"}));
    EXPECT_EQ(splitCommandLine("  a\tb\x01"
                               "c  "),
              (Args{"a", "b", "c"}));
    EXPECT_EQ(splitCommandLine("a \"\" b"), (Args{"a", "b"}));
    EXPECT_EQ(splitCommandLine("x\"y z\"w"), (Args{"xy zw"}));
    EXPECT_EQ(splitCommandLine("p /t \"T/b*.hgl\" \"/out dir/b.tif"),
              (Args{"p", "/t", "T/b*.hgl", "/out dir/b.tif"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}

class SpawnTest : public CoreFixture {};

TEST_F(SpawnTest, RunsAndWaitsWithoutLeakingDescriptors) {
    // A descriptor without close-on-exec must not reach the child either.
    const int leaky = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(leaky, 0);
    const std::string script = root + "/child.sh";
    writeFile(script,
              "#!/bin/sh\nsleep 0.2\n"
              "if [ -e /proc/$$/fd/$2 ]; then echo leaked; else echo clean; fi > \"$1\"\n"
              "pwd >> \"$1\"\n");
    fs::permissions(script, fs::perms::owner_all);
    const std::string report = root + "/my report";
    ASSERT_TRUE(spawnAndWait("\"" + script + "\" \"" + report + "\" " + std::to_string(leaky)));
    ::close(leaky);
    EXPECT_EQ(readFile(report), "clean\n" + fs::current_path().string() + "\n");
}

TEST_F(SpawnTest, TheGivenEnvironmentIsAddedToOursAndReplacesItsNames) {
    setenv("MERVIK_SPAWN_TEST_KEPT", "ours", 1);
    setenv("MERVIK_SPAWN_TEST_REPLACED", "ours", 1);
    const std::string script = root + "/env.sh";
    writeFile(script, "#!/bin/sh\nenv | grep '^MERVIK_SPAWN_TEST_' | sort > \"$1\"\n");
    fs::permissions(script, fs::perms::owner_all);
    const std::string report = root + "/env.txt";
    const SpawnResult r =
        runAndWait("\"" + script + "\" \"" + report + "\"",
                   {"MERVIK_SPAWN_TEST_REPLACED=theirs", "MERVIK_SPAWN_TEST_NEW=a b=c"});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(readFile(report),
              "MERVIK_SPAWN_TEST_KEPT=ours\nMERVIK_SPAWN_TEST_NEW=a b=c\n"
              "MERVIK_SPAWN_TEST_REPLACED=theirs\n");
    // Our own environment is left as it was.
    EXPECT_STREQ(getenv("MERVIK_SPAWN_TEST_REPLACED"), "ours");
    unsetenv("MERVIK_SPAWN_TEST_KEPT");
    unsetenv("MERVIK_SPAWN_TEST_REPLACED");
}

TEST_F(SpawnTest, ALimitOrAStopEndsTheWholeGroupEvenWhenItIgnoresTheRequest) {
    // A shell that ignores the request to end, with a child of its own.
    const std::string script = root + "/stubborn.sh";
    writeFile(script,
              "#!/bin/sh\ntrap '' TERM\nsleep 300 &\necho $! > \"$1\"\n"
              "echo 'stubborn: still here' >&2\nwait\n");
    fs::permissions(script, fs::perms::owner_all);
    const std::string pidFile = root + "/child.pid";
    const std::string command = "\"" + script + "\" \"" + pidFile + "\"";
    const auto childGone = [&] {
        const int pid = std::atoi(readFile(pidFile).c_str());
        return pid > 0 && (::kill(pid, 0) != 0 ||
                           readFile("/proc/" + std::to_string(pid) + "/stat").find(") Z ") !=
                               std::string::npos);
    };

    SpawnLimits limits;
    limits.timeoutSeconds = 1;
    SpawnResult r = runAndWait(command, {}, limits);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_EQ(r.lastErrorLine, "stubborn: still here");
    // SIGKILL is delivered, not awaited: the grandchild may take a moment
    // to die on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!childGone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(childGone());

    // A stop request already made ends the next program at once.
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    fs::remove(pidFile);
    limits.timeoutSeconds = 0;
    limits.stopFd = stop[0];
    r = runAndWait(command, {}, limits);
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.timedOut);
    EXPECT_FALSE(r.exited);
    ::close(stop[0]);
    ::close(stop[1]);

    // Without either, a program that ends by itself is told apart as before.
    r = runAndWait("/bin/sh -c \"exit 3\"", {}, SpawnLimits{5, -1});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_FALSE(r.timedOut || r.stopped);
}

TEST_F(SpawnTest, AProgramStartedAheadRunsBesideTheStepBeforeAndIsWaitedForInItsOwn) {
    // The later step says when it has begun and waits for the word to go on;
    // the step before gives the word only once the later one has begun, and
    // says so when it waited in vain.
    const std::string later = root + "/later.sh";
    writeFile(later,
              "#!/bin/sh\necho \"$$ $AHEAD_TEST\" >> \"$1/begun\"\n"
              "while [ ! -e \"$1/go\" ]; do sleep 0.02; done\n"
              "echo 'later: what it said meanwhile' >&2\nexit 3\n");
    const std::string before = root + "/before.sh";
    writeFile(before,
              "#!/bin/sh\nn=0\nwhile [ ! -s \"$1/begun\" ] && [ $n -lt 1500 ]; do\n"
              "  sleep 0.02; n=$((n+1))\ndone\n"
              "if [ -s \"$1/begun\" ]; then echo beside; else echo alone; fi > \"$1/go\"\n");
    const std::string stay = root + "/stay.sh";
    writeFile(stay, "#!/bin/sh\necho $$ > \"$1/stay.pid\"\nsleep 300 &\nwait\n");
    for (const std::string& script : {later, before, stay})
        fs::permissions(script, fs::perms::owner_all);
    const auto line = [&](const std::string& script) {
        return "\"" + script + "\" \"" + root + "\"";
    };
    const std::vector<std::string> env = {"AHEAD_TEST=one"};

    AheadStep ahead;
    ahead.start(line(later), env);
    EXPECT_TRUE(ahead.run(line(before), env, {}).exited);
    EXPECT_EQ(readFile(root + "/go"), "beside\n");
    const SpawnResult r = ahead.run(line(later), env, {});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.lastErrorLine, "later: what it said meanwhile");
    const std::string begun = readFile(root + "/begun");
    EXPECT_EQ(std::count(begun.begin(), begun.end(), '\n'), 1) << begun;

    // Another environment is another step: it runs on its own, and the one
    // started ahead is ended when dropped.
    fs::remove(root + "/begun");
    ahead.start(line(stay), env);
    EXPECT_EQ(ahead.run(line(later), {"AHEAD_TEST=two"}, {}).exitStatus, 3);
    const std::string again = readFile(root + "/begun");
    EXPECT_EQ(again.substr(again.find(' ')), " two\n");
    for (int i = 0; i < 1000 && readFile(root + "/stay.pid").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int stayPid = std::atoi(readFile(root + "/stay.pid").c_str());
    ASSERT_GT(stayPid, 0);
    EXPECT_EQ(::kill(stayPid, 0), 0) << "ended before it was dropped";
    ahead.drop();
    // Reaped by the drop: no such process any more.
    EXPECT_NE(::kill(stayPid, 0), 0);
}

TEST_F(SpawnTest, MissingProgramReturnsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(spawnAndWait("\"" + root + "/none\" /h"));
    EXPECT_FALSE(spawnAndWait(""));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(SpawnTest, ExclusiveOpenRefusesFoldersAndSeesOurOwnDescriptors) {
    writeFile(root + "/f", "x");
    EXPECT_TRUE(canOpenExclusive(root + "/f"));
    EXPECT_FALSE(canOpenExclusive(root));
    EXPECT_FALSE(canOpenExclusive(root + "/missing"));
    const int fd = ::open((root + "/f").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(canOpenExclusive(root + "/f"));
    ::close(fd);
}

}  // namespace
}  // namespace mervik::test
