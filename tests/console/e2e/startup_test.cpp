// Start-up, the start checks, one instance at a time, and the end of the program.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/support/process.h"

using namespace e2e;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kRegister = "Register comparison with the Set Button";

void expectHandedBack(const Sandbox& s) {
    EXPECT_EQ(readText(s.tolvanePar), crlf(Sandbox::userTolvaneLines()));
    EXPECT_EQ(readText(s.sandrelPar), Sandbox::userSandrelText());
    EXPECT_FALSE(exists(s.data + "/Tolvane.par"));
    EXPECT_FALSE(exists(s.data + "/Sandrel.par"));
}

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A copy of the program with an Init folder of the test's own beside it.
std::string installCopy(const Sandbox& s, const std::vector<std::string>& initPar,
                        const std::string& folder = "prog") {
    const std::string prog = s.root + "/" + folder;
    makeFolders(prog + "/Init/sub");
    fs::copy_file(cliPath(), prog + "/mervik-cli");
    writeText(prog + "/Init/Mervik.par", crlf(initPar));
    writeText(prog + "/Init/readme.txt", "from Init\n");
    writeText(prog + "/Init/sub/nested.txt", "nested\n");
    return prog + "/mervik-cli";
}

Result runProgram(const Sandbox& s, const std::string& program,
                  const std::vector<std::string>& args) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    Child child(argv, s.env());
    Result r = child.wait(30s);
    EXPECT_FALSE(r.timedOut);
    return r;
}

}  // namespace

TEST(Cli, HelpAndVersion) {
    Sandbox s;
    s.writePar();
    const Result help = s.runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--once"), std::string::npos) << help.out;
    const Result version = s.runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("11.00"), std::string::npos) << version.out;
    EXPECT_TRUE(s.calls().empty());
}

TEST(Cli, StartChecksInTheirOrder) {
    struct Case {
        std::string what;
        std::function<void(Sandbox&, std::vector<std::string>&)> spoil;
        std::function<std::string(const Sandbox&, const std::vector<std::string>&)> err;
    };
    const std::vector<Case> cases = {
        {"both programs missing",
         [](Sandbox& s, auto&) {
             fs::remove(s.sandrel);
             fs::remove(s.tolvane);
         },
         [](const Sandbox& s, auto&) {
             // The load warns first, then the first start check.
             return s.sandrel + "\nSandrel program file does not exist!\n" + s.tolvane +
                    "\nTolvane program file does not exist!\nFile does not exist!\n" + s.sandrel +
                    "\n" + kRegister + "\n";
         }},
        {"converter missing", [](Sandbox& s, auto&) { fs::remove(s.tolvane); },
         [](const Sandbox& s, auto&) {
             return s.tolvane + "\nTolvane program file does not exist!\nFile does not exist!\n" +
                    s.tolvane + "\n" + kRegister + "\n";
         }},
        {"converter path names a folder",
         [](Sandbox& s, auto&) {
             fs::remove(s.tolvane);
             makeFolders(s.tolvane);
         },
         [](const Sandbox& s, auto&) {
             return s.tolvane + "\nTolvane program file does not exist!\nFile does not exist!\n" +
                    s.tolvane + "\n" + kRegister + "\n";
         }},
        {"folder 1 missing", [](Sandbox&, auto& par) { par[13] = "/nonexistent/in/*.hgl"; },
         [](const Sandbox&, auto& par) {
             return "Folder does not exist!\n" + par[13] + "\n" + kRegister + "\n";
         }},
        {"folder 2 missing", [](Sandbox&, auto& par) { par[14] = "/nonexistent/in2/"; },
         [](const Sandbox&, auto& par) {
             return "Folder does not exist!\n" + par[14] + "\n" + kRegister + "\n";
         }},
        {"output folder missing", [](Sandbox&, auto& par) { par[11] = "/nonexistent/out/"; },
         [](const Sandbox&, auto& par) {
             return "Folder does not exist!\n" + par[11] + "\n" + kRegister + "\n";
         }},
        {"type refused", [](Sandbox& s, auto& par) { par[13] = s.in1 + "/*.dxf"; },
         [](const Sandbox&, auto& par) {
             return "Type of comparison file 1 is not PDF, TIFF, SXF, or HPGL !\n" + par[13] +
                    "\n" + kRegister + "\n";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox s;
        auto par = s.parLines();
        c.spoil(s, par);
        s.writePar(par);
        s.pair("plan.hgl");
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err(s, par));
        EXPECT_TRUE(s.calls().empty());
        EXPECT_TRUE(exists(s.in1 + "/plan.hgl"));
    }
}

TEST(Cli, ParameterFileMissingFromAnExistingDataFolderIsTakenFromInit) {
    Sandbox s;  // the data folder exists, so nothing else is copied into it
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.err.find("Cannot open parameter file!"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string exe = cliPath();
    EXPECT_EQ(readText(s.data + "/Mervik.par"),
              readText(exe.substr(0, exe.rfind('/')) + "/Init/Mervik.par"));
    const auto entries = s.errorEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entryIs(entries[0], "Mervik.par",
                        "Parameter file was missing and is taken from the Init folder"));
    // One that cannot be read is left as it is at the end.
    Sandbox t;
    ASSERT_EQ(mkdir((t.data + "/Mervik.par").c_str(), 0755), 0);
    const Result r2 = t.runCli({"--once"});
    EXPECT_EQ(r2.exitCode, 1);
    EXPECT_EQ(r2.err, t.data + "/Mervik.par\nCannot open parameter file!\n");
    EXPECT_TRUE(isFolder(t.data + "/Mervik.par"));
    expectHandedBack(t);
    expectHandedBack(s);
}

TEST(Cli, FirstStartFillsTheDataFolderFromInit) {
    for (const bool wholeChain : {false, true}) {
        SCOPED_TRACE(wholeChain ? "no Corvanta folder" : "no Mervik folder");
        Sandbox s;
        const std::string program = installCopy(s, s.parLines());
        fs::remove_all(wholeChain ? s.xdg + "/Corvanta" : s.data);
        ASSERT_FALSE(exists(s.data));
        s.pair("plan.hgl");
        const Result r = runProgram(s, program, {"--once"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
        EXPECT_EQ(readText(s.data + "/readme.txt"), "from Init\n");
        EXPECT_EQ(readText(s.data + "/sub/nested.txt"), "nested\n");
        EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));

        // Later starts copy nothing.
        writeText(s.data + "/readme.txt", "mine\n");
        const Result again = runProgram(s, program, {"--once"});
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_EQ(readText(s.data + "/readme.txt"), "mine\n");
    }
}

TEST(Cli, InitFolderFoundBesideAProgramInAnyFolder) {
    for (const std::string folder : {"my programs", "programs \xe9t\xe9"}) {
        SCOPED_TRACE(folder);
        Sandbox s;
        const std::string program = installCopy(s, s.parLines(), folder);
        fs::remove_all(s.data);
        const Result r = runProgram(s, program, {"--once"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readText(s.data + "/readme.txt"), "from Init\n");
    }
}

TEST(Cli, OutdatedParameterFileIsReseededFromInit) {
    Sandbox s;
    const std::string program = installCopy(s, s.parLines());
    auto old = s.parLines();
    old[0] = "Version 10.00";
    old[11] = "/nonexistent/";
    s.writePar(old);
    writeText(s.data + "/readme.txt", "mine\n");
    s.pair("plan.hgl");
    const Result r = runProgram(s, program, {"--once"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    EXPECT_EQ(readText(s.data + "/readme.txt"), "from Init\n");
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
}

TEST(Cli, SecondInstanceEndsAtOnceSilently) {
    Sandbox s;
    auto par = s.parLines();
    par[12] = "600";
    s.writePar(par);
    auto first = s.startCli({});
    ASSERT_TRUE(waitFor([&] { return holdsFlock(first->pid()); }, 30s))
        << "the first instance took no lock";
    s.pair("plan.hgl");
    const Result second = s.runCli({"--once"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "");
    EXPECT_TRUE(s.calls().empty());
    EXPECT_TRUE(exists(s.in1 + "/plan.hgl"));
    EXPECT_TRUE(exists(s.data + "/Sandrel.par")) << "the first instance's back-up was removed";

    first->signal(SIGTERM);
    const Result r = first->wait(10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(par));
    expectHandedBack(s);
}

TEST(Cli, StandbyPollsOnTheTimerAndEndsOnSigterm) {
    Sandbox s;
    auto par = s.parLines();
    par[12] = "0";  // every tick polls
    s.writePar(par);
    s.pair("plan.hgl");
    auto child = s.startCli({"/a", "/oh"});
    EXPECT_TRUE(child->waitForOutput(
        [](const std::string& out) { return out.find("* End\n") != std::string::npos; }, 15s));
    child->signal(SIGTERM);
    const Result r = child->wait(10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.hgl"});
    par[15] = "4";
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(par));
    expectHandedBack(s);
}

TEST(Cli, SignalDuringARunEndsTheStepAndTheProgramKeepingThePair) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGINT");
        Sandbox s;
        s.writePar();
        s.pair("a.hgl");
        s.pair("b.hgl");
        s.setControl({{"compare.mode", "sleep:20000"}, {"sandrel.par", "changed"}});
        auto child = s.startCli({"--once"});
        ASSERT_TRUE(child->waitForOutput(
            [](const std::string& out) { return out.find("3.Sandrel") != std::string::npos; },
            20s));
        // The comparison writes its pages only after its sleep: the line came
        // while it still ran, as each line is flushed when it is added.
        EXPECT_TRUE(listFolder(s.data + "/Temp3").empty())
            << "run-log lines are not flushed as they are added";
        for (int i = 0; i < 400 && s.calls().size() < 3; ++i) {
            std::this_thread::sleep_for(50ms);
        }
        child->signal(sig);
        const Result r = child->wait(15s);
        EXPECT_EQ(r.exitCode, 0);
        const auto calls = s.calls();
        ASSERT_EQ(calls.size(), 3u) << "a step ran after the signal";
        const std::string name = calls[0].args[2].ends_with("/a.hgl") ? "a.hgl" : "b.hgl";
        auto lines = runHead(name, 2, 2);
        for (const auto& l : step3Lines(0)) {
            lines.push_back(l);
        }
        lines.push_back(
            "  *** sandrel was ended, as Mervik is ending; the input files stay where they are");
        EXPECT_EQ(r.out, joinLines(lines));
        EXPECT_EQ(listFolder(s.in1).size(), 2u);
        EXPECT_EQ(listFolder(s.in2).size(), 2u);
        EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
        expectHandedBack(s);
    }
}

TEST(Cli, LeftoverBackupsArePutBackAtStart) {
    for (const bool withRun : {false, true}) {
        SCOPED_TRACE(withRun ? "with a run" : "without a run");
        Sandbox s;
        s.writePar();
        // What an earlier run that was killed leaves behind.
        writeText(s.data + "/Tolvane.par", crlf(Sandbox::userTolvaneLines()));
        writeText(s.data + "/Sandrel.par", Sandbox::userSandrelText());
        writeText(s.tolvanePar, switchedTolvane("0", "0", "0"));
        writeText(s.sandrelPar, "changed by the comparison\r\n");
        if (withRun) {
            s.pair("plan.hgl");
        }
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 0);
        if (withRun) {
            const auto calls = s.calls();
            ASSERT_EQ(calls.size(), 4u);
            EXPECT_EQ(calls[0].par, switchedTolvane("", "1", ""));
        }
        expectHandedBack(s);
    }
}

TEST(Cli, KilledProgramLeavesNoLockWithItsSibling) {
    Sandbox s;
    s.writePar();
    s.pair("a.hgl");
    s.setControl({{"compare.mode", "stall:30000"}, {"sandrel.par", "changed by the comparison"}});
    {
        auto victim = s.startCli({"--once"});
        ASSERT_TRUE(waitFor(
            [&] {
                const auto calls = s.calls();
                return calls.size() == 3 && calls[2].role == "compare";
            },
            10s));
        victim->signal(SIGKILL);
        victim->wait(5s);
    }
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 3u);
    for (const auto& c : calls) {
        EXPECT_TRUE(c.fds.empty()) << c.role << " inherited descriptor " << c.fds.front();
    }

    // The stalled comparison still runs; the next start must not take it for
    // a running instance, and must put the user's files back.
    s.setControl({});
    s.pair("b.hgl");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(s.calls().size(), 3u + 8u) << r.out;
    EXPECT_TRUE(listFolder(s.in1).empty());
    expectHandedBack(s);
    EXPECT_EQ(kill(calls[2].pid, 0), 0) << "the stalled comparison ended too early to tell";
    kill(calls[2].pid, SIGKILL);
}

// Runs the program on a pseudo-terminal until its output holds until, then
// ends it with SIGTERM; returns what the terminal showed.
std::string runOnTerminal(const Sandbox& s, const std::vector<std::string>& args,
                          const std::string& until, int& status) {
    int master = -1;
    const auto env = s.env();
    std::vector<std::string> argvText{cliPath()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv = testsupport::cStringArray(argvText);
    std::vector<char*> envp = testsupport::cStringArray(env);
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return {};
    }
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (seen.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buf[4096];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            seen.append(buf, static_cast<std::size_t>(n));
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
    close(master);
    return seen;
}

TEST(Cli, TerminalShowsTheCountdownInPlace) {
    Sandbox s;
    auto par = s.parLines();
    par[12] = "600";
    s.writePar(par);
    int status = 0;
    // The first tick comes two seconds after the start of standby.
    const std::string seen = runOnTerminal(s, {}, "0Hour9Minute58Second", status);
    const auto first = seen.find("Waiting!  Waiting time=0Hour10Minute0Second");
    ASSERT_NE(first, std::string::npos) << seen;
    const auto tick = seen.find("Waiting!  Waiting time=0Hour9Minute58Second");
    ASSERT_NE(tick, std::string::npos) << seen;
    // In place: no line break between the two.
    EXPECT_EQ(seen.substr(first, tick - first).find('\n'), std::string::npos) << seen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Cli, TerminalKeepsRunLogLinesWhole) {
    Sandbox s;
    auto par = s.parLines();
    par[12] = "0";
    s.writePar(par);
    s.pair("plan.hgl");
    int status = 0;
    const std::string seen = runOnTerminal(s, {}, "* End", status);
    // The terminal turns each line end into CR LF.
    std::string expected;
    for (const auto& l : completeRunLines("plan.hgl", 2, 1)) {
        expected += l + "\r\n";
    }
    const auto start = seen.find("* Start Input file : plan.hgl");
    ASSERT_NE(start, std::string::npos) << seen;
    EXPECT_EQ(seen.substr(start, expected.size()), expected);
    // The status text before it was taken off the line, not left in front of it.
    const std::string before = seen.substr(0, start);
    EXPECT_TRUE(before.ends_with("\n") || before.ends_with("\x1b[K")) << before;
}

TEST(Cli, InstanceLockWithoutARuntimeFolder) {
    auto withRuntime = [](std::vector<std::string> env, const std::string& value) {
        std::erase_if(env,
                      [](const std::string& e) { return e.rfind("XDG_RUNTIME_DIR=", 0) == 0; });
        if (!value.empty()) {
            env.push_back("XDG_RUNTIME_DIR=" + value);
        }
        return env;
    };
    {
        SCOPED_TRACE("no XDG_RUNTIME_DIR: still one instance at a time");
        Sandbox s;
        auto par = s.parLines();
        par[12] = "600";
        s.writePar(par);
        const auto env = withRuntime(s.env(), "");
        Child first({cliPath()}, env);
        ASSERT_TRUE(waitFor([&] { return holdsFlock(first.pid()); }, 10s));
        s.pair("plan.hgl");
        Child second({cliPath(), "--once"}, env);
        const Result r2 = second.wait(10s);
        EXPECT_EQ(r2.exitCode, 0);
        EXPECT_EQ(r2.out, "");
        EXPECT_TRUE(s.calls().empty());
        first.signal(SIGTERM);
        EXPECT_EQ(first.wait(10s).exitCode, 0);
    }
    {
        SCOPED_TRACE("a lock file that cannot be made: start normally");
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl");
        writeText(s.root + "/not-a-folder", "");
        Child child({cliPath(), "--once"}, withRuntime(s.env(), s.root + "/not-a-folder"));
        const Result r = child.wait(10s);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    }
}
