// mervik-cli as a user runs it unattended: two instances on one data folder,
// read-only input folders, a file system of its own for the inputs, a writer
// that is slow, a command line written wrongly. (A thousand pairs at once:
// soak_test.cpp.)
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"
#include "tests/support/process.h"

using namespace e2e;
using unattended::countOf;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> withEnv(std::vector<std::string> env, const std::string& key,
                                 const std::string* value) {
    const std::string prefix = key + "=";
    std::erase_if(env, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    if (value != nullptr) {
        env.push_back(prefix + *value);
    }
    return env;
}

std::unique_ptr<Child> startCliWith(const std::vector<std::string>& args,
                                    const std::vector<std::string>& env) {
    std::vector<std::string> argv{cliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, env);
}

std::vector<std::string> readdirOrder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    while (dirent* e = d != nullptr ? readdir(d) : nullptr) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") {
            names.push_back(n);
        }
    }
    if (d != nullptr) {
        closedir(d);
    }
    return names;
}

bool isRoot() {
    return geteuid() == 0;
}

}  // namespace

// ---------------------------------------------------------------- 1. same folder

TEST(Cli, TheSameFolderGivenTwiceDoesNotStart) {
    Sandbox s;
    auto lines = s.parLines();
    ASSERT_EQ(symlink(s.in1.c_str(), (s.root + "/in1 again").c_str()), 0);
    lines[11] = s.root + "/in1 again/";
    s.writePar(lines);
    s.pair("plan.hgl");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Output folder is the same as a comparison folder!\n" + s.root +
                         "/in1 again/\nRegister comparison with the Set Button\n");
    EXPECT_TRUE(s.calls().empty());
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"plan.hgl"});
    EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{"plan.hgl"});
}

// ---------------------------------------------------------------- 2. stray files

TEST(Cli, AnOrphanFirstInDirectoryOrderHoldsUpNoPair) {
    Sandbox s;
    s.writePar();
    for (int i = 0; i < 6; ++i) {
        s.pair("p" + std::to_string(i) + ".hgl");
    }
    const auto order = readdirOrder(s.in1);
    ASSERT_EQ(order.size(), 6u);
    fs::remove(s.in2 + "/" + order[0]);
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(countOf(r.out, "* End\n"), 5) << r.out;
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{order[0]});
    EXPECT_EQ(listFolder(s.out).size(), 5u);
    EXPECT_EQ(r.err, "mervik-cli: pairs run 5, complete 5, failed 0\n");
}

// ---------------------------------------------------------------- 3. a slow writer

TEST(Cli, AFileWrittenInPiecesIsTakenOnlyWhenComplete) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";  // a poll at every tick
    s.writePar(lines);
    writeText(s.in2 + "/plan.hgl", "pages=2\n");
    backdate(s.in2 + "/plan.hgl");
    const std::string path = s.in1 + "/plan.hgl";
    writeText(path, "pages=2\n");
    auto cli = s.startCli({});
    // A copy that closes the file between pieces, for 4.5 s.
    for (int i = 0; i < 15; ++i) {
        std::this_thread::sleep_for(300ms);
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "piece\n", 6), 6);
        close(fd);
        EXPECT_TRUE(exists(path)) << "taken while being written, after piece " << i;
    }
    EXPECT_TRUE(cli->waitForOutput(
        [](const std::string& out) { return out.find("* End\n") != std::string::npos; }, 10s));
    cli->signal(SIGTERM);
    const Result r = cli->wait(10s);
    EXPECT_EQ(countOf(r.out, "* Start Input file : plan.hgl"), 1) << r.out;
    EXPECT_FALSE(exists(path));
}

// ---------------------------------------------------------------- 4. one data folder

TEST(Cli, TwoInstancesOnOneDataFolderNeverRunTogether) {
    Sandbox s;
    s.writePar();
    auto first = s.startCli({});
    // Standby begins once both locks are held: the session's and the data
    // folder's.
    ASSERT_TRUE(first->waitForStandby(30s));
    ASSERT_TRUE(holdsFlock(first->pid()));
    s.pair("plan.hgl");

    const std::string run2 = s.root + "/run2";
    ASSERT_EQ(mkdir(run2.c_str(), 0700), 0);
    const std::vector<std::vector<std::string>> others = {
        withEnv(s.env(), "XDG_RUNTIME_DIR", &run2),    // another session
        withEnv(s.env(), "XDG_RUNTIME_DIR", nullptr),  // none at all
    };
    for (const auto& env : others) {
        auto second = startCliWith({"--once"}, env);
        const Result r = second->wait(10s);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(s.calls().empty()) << "the second instance ran the pair";

    // An instance on another data folder runs beside the first.
    Sandbox other;
    other.writePar();
    other.pair("plan.hgl");
    const Result r = other.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    first->signal(SIGTERM);
    first->wait(10s);
}

// ---------------------------------------------------------------- 7. Failed across file systems

TEST(Cli, AFailedPairMovedToAnotherFileSystemTakesBoundedMemory) {
    Sandbox s;
    const std::string shm = "/dev/shm";
    struct stat a {
    }, b{};
    if (stat(shm.c_str(), &a) != 0 || stat(s.data.c_str(), &b) != 0 || a.st_dev == b.st_dev) {
        GTEST_SKIP() << "no second file system (/dev/shm) beside " << s.data;
    }
    std::string tmpl = shm + "/mervik-reliability-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string in1 = tmpl + "/in1", in2 = tmpl + "/in2";
    makeFolders(in1);
    makeFolders(in2);
    constexpr off_t kSize = 1LL << 30;
    for (const auto& f : {in1 + "/big.hgl", in2 + "/big.hgl"}) {
        const int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(pwrite(fd, f.data(), f.size(), 0), static_cast<ssize_t>(f.size()));
        EXPECT_EQ(ftruncate(fd, kSize), 0);
        close(fd);
        backdate(f);
    }
    auto lines = s.parLines();
    lines[13] = in1 + "/*.hgl";
    lines[14] = in2 + "/";
    s.writePar(lines);
    s.setControl({{"split.mode", "exit"}});

    // Run with the resources of the process measured.
    std::vector<std::string> argv{cliPath(), "--once"};
    const std::vector<std::string> env = s.env();
    auto cargv = testsupport::cStringArray(argv);
    auto cenv = testsupport::cStringArray(env);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    // Kilobytes: far below the size of one file (with room for a sanitizer's own).
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "peak memory in KiB";

    const auto kept = listFolder(s.data + "/Failed");
    ASSERT_EQ(kept.size(), 1u);
    for (const std::string role : {"1", "2"}) {
        const std::string f = s.data + "/Failed/" + kept[0] + "/" + role + "/big.hgl";
        struct stat st {};
        ASSERT_EQ(stat(f.c_str(), &st), 0) << f;
        EXPECT_EQ(st.st_size, kSize);
        // Still sparse: the holes were not written out.
        EXPECT_LT(st.st_blocks * 512, 16 << 20);
        // Its first bytes name the folder it came from.
        const std::string source = (role == std::string("1") ? in1 : in2) + "/big.hgl";
        std::string head(source.size(), '\0');
        const int fd = open(f.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        close(fd);
        EXPECT_EQ(head, source);
    }
    EXPECT_TRUE(listFolder(in1).empty());
    EXPECT_TRUE(listFolder(in2).empty());
    std::error_code ec;
    fs::remove_all(tmpl, ec);
}

// ---------------------------------------------------------------- 8. read-only input folders

TEST(Cli, ReadOnlyInputFoldersAreRunOnceAndSaidOnce) {
    Sandbox s;
    auto lines = s.parLines();
    lines[12] = "0";
    s.writePar(lines);
    s.pair("plan.hgl");
    // Root ignores the permission bits: then the program runs as nobody.
    std::vector<std::string> argv;
    if (isRoot()) {
        if (access("/usr/sbin/runuser", X_OK) != 0) {
            GTEST_SKIP()
                << "root ignores read-only folders, and runuser is missing to run as nobody";
        }
        chmod(s.root.c_str(), 0755);
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(s.root, ec)) {
            ASSERT_EQ(lchown(e.path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(lchown(s.root.c_str(), 65534, 65534), 0);
        argv = {"/usr/sbin/runuser", "-u", "nobody", "--", "/usr/bin/env"};
        for (const auto& e : s.env()) {
            argv.push_back(e);
        }
    }
    argv.push_back(cliPath());
    chmod(s.in1.c_str(), 0555);
    chmod(s.in2.c_str(), 0555);
    if (!isRoot() && access(s.in1.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permission bits do not bind this account";
    }
    auto cli = std::make_unique<Child>(argv, s.env());
    const std::string said = "  *** Input file cannot be deleted : ";
    ASSERT_TRUE(
        cli->waitForOutput([&](const std::string& out) { return countOf(out, said) == 2; }, 15s));
    // Two more polls find the pair unchanged and pass it over.
    std::this_thread::sleep_for(4500ms);
    // Changed: a new pair of the same name.
    writeText(s.in1 + "/plan.hgl", "pages=2\nchanged\n");
    backdate(s.in1 + "/plan.hgl");
    const bool again =
        cli->waitForOutput([&](const std::string& out) { return countOf(out, said) == 4; }, 15s);
    cli->signal(SIGTERM);
    const Result r = cli->wait(10s);
    EXPECT_TRUE(again) << r.out << r.err;
    EXPECT_EQ(countOf(r.out, "* Start Input file : plan.hgl"), 2) << r.out;
    EXPECT_EQ(countOf(r.out, "* End\n"), 2);
    const auto entries = s.errorEntries();
    EXPECT_EQ(entries.size(), 4u);
    for (const auto& e : entries) {
        EXPECT_NE(e.find(" plan.hgl Input file cannot be deleted ! "), std::string::npos) << e;
    }
}

// ---------------------------------------------------------------- 10. command line

TEST(Cli, AMisplacedFirstArgumentIsExplainedAndRelativePathsAreKeptAbsolute) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    const fs::path before = fs::current_path();
    fs::current_path(s.root);
    const std::string in1 = fs::relative(s.in1, s.root).string();
    const std::string in2 = fs::relative(s.in2, s.root).string();
    const std::string out = fs::relative(s.out, s.root).string();

    // FILE1 first: it is taken as the start switch, and the hint says so.
    Result r = s.runCli({"--once", in1 + "/*.hgl", in2, out});
    EXPECT_NE(r.err.find("mervik-cli: \"" + in1 +
                         "/*.hgl\" was read as the start-switch position (the first argument) "
                         "and ignored; to use it, write /a (or -) before it\n"),
              std::string::npos)
        << r.err;
    // An output switch first.
    r = s.runCli({"--once", "/oh", in1 + "/*.hgl"});
    EXPECT_NE(r.err.find("mervik-cli: \"/oh\" was read as the start-switch position"),
              std::string::npos)
        << r.err;
    // The shifted values of the second start still named usable folders, so
    // it ran the pair (and saved nothing); a new one for the next start.
    s.pair("plan.hgl");
    // A right one says nothing of it, and the relative paths are saved absolute.
    r = s.runCli({"--once", "/a", "./" + in1 + "/*.hgl", in2, out});
    fs::current_path(before);
    EXPECT_EQ(r.err.find("start-switch"), std::string::npos) << r.err;
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(countOf(r.out, "* End\n"), 1);
    const auto par = splitLines(readText(s.data + "/Mervik.par").value_or(""));
    ASSERT_EQ(par.size(), 16u);
    EXPECT_EQ(par[11], s.out + "/\r");
    EXPECT_EQ(par[13], s.in1 + "/*.hgl\r");
    EXPECT_EQ(par[14], s.in2 + "/\r");
}

TEST(Cli, HelpTellsTheStartPositionAndTheStatuses) {
    Sandbox s;
    const Result r = s.runCli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: mervik-cli [--once] START [/op|/ot|/os|/ov|/oh]"),
              std::string::npos);
    EXPECT_NE(r.out.find("3 (--once) a run failed"), std::string::npos);
}
