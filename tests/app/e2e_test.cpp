// The window program started as a separate process, with the fake sibling
// programs in a home folder of its own: a whole run ended by pressing "End"
// under a virtual X server, and a second start while one runs.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/support/process.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string onPath(const std::string& program) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string p = std::string(dir) + "/" + program;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    return {};
}

void expectHandedBack(const Sandbox& s) {
    EXPECT_EQ(readText(s.tolvanePar), crlf(Sandbox::userTolvaneLines()));
    EXPECT_EQ(readText(s.sandrelPar), Sandbox::userSandrelText());
    EXPECT_FALSE(exists(s.data + "/Tolvane.par"));
    EXPECT_FALSE(exists(s.data + "/Sandrel.par"));
}

// env with entry in place of any entry of the same name.
std::vector<std::string> with(std::vector<std::string> env, const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(entry);
    return env;
}

// A virtual X server for one test.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        const std::string xvfb = onPath("Xvfb");
        if (xvfb.empty())
            return;
        // The server writes the display number it chose to its standard output.
        server_ = std::make_unique<Child>(
            std::vector<std::string>{xvfb, "-displayfd", "1", "-screen", "0", "1280x800x24",
                                     "-nolisten", "tcp"},
            testsupport::environmentWithout({}));
        std::string number;
        server_->waitForOutput(
            [&](const std::string& out) {
                if (out.find('\n') == std::string::npos)
                    return false;
                number = out.substr(0, out.find('\n'));
                return true;
            },
            10s);
        if (!number.empty())
            display_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (server_) {
            server_->signal(SIGTERM);
            server_->wait(10s);
        }
    }
    const std::string& name() const { return display_; }

  private:
    std::unique_ptr<Child> server_;
    std::string display_;
};

// Runs xdotool on the display; its standard output.
std::string xdotool(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> argv{onPath("xdotool")};
    argv.insert(argv.end(), args.begin(), args.end());
    Child c(argv, with(testsupport::environmentWithout({}), "DISPLAY=" + display));
    const Result r = c.wait(20s);
    return r.out;
}

// Clicks "End" (at 702, 435, 140 by 40 pixels) of the main window on display.
void pressEnd(const std::string& display) {
    const std::string found =
        xdotool(display, {"search", "--sync", "--onlyvisible", "--name", "<< Mervik >>"});
    ASSERT_FALSE(found.empty());
    const std::string window = found.substr(0, found.find('\n'));
    xdotool(display, {"mousemove", "--window", window, "772", "455", "click", "1"});
}

// The program started with /a on a virtual display, with one pair ready.
struct OnDisplay {
    VirtualDisplay display;
    Sandbox s;
    std::unique_ptr<Child> program;

    void start() {
        ASSERT_FALSE(display.name().empty());
        s.writePar();
        s.pair("plan.hgl");
        auto env = with(s.env(), "DISPLAY=" + display.name());
        env = with(env, "QT_QPA_PLATFORM=xcb");
        program = std::make_unique<Child>(std::vector<std::string>{cliPath(), "/a"}, env);
    }
};

bool canUseDisplay() {
    return !onPath("Xvfb").empty() && !onPath("xdotool").empty();
}

}  // namespace

TEST(Window, RunsAPairThenEndIsPressedAndEverythingIsHandedBack) {
    if (!canUseDisplay())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    OnDisplay d;
    ASSERT_NO_FATAL_FAILURE(d.start());
    const Sandbox& s = d.s;
    ASSERT_TRUE(waitFor([&] { return exists(s.out + "/plan.pdf"); }, 60s))
        << "no result; run log calls: " << s.calls().size();
    ASSERT_TRUE(waitFor([&] { return s.calls().size() == 4 && listFolder(s.in1).empty(); }, 20s));
    pressEnd(d.display.name());

    const Result r = d.program->wait(30s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.pdf"});
    EXPECT_TRUE(listFolder(s.in2).empty());
    EXPECT_TRUE(s.errorEntries().empty());
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
    expectHandedBack(s);
}

TEST(Window, TheCaptionIsExactlyOursAndReturnOnEndEndsAndSaves) {
    if (!canUseDisplay())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    VirtualDisplay display;
    ASSERT_FALSE(display.name().empty());
    Sandbox s;
    s.writePar();
    auto env = with(s.env(), "DISPLAY=" + display.name());
    env = with(env, "QT_QPA_PLATFORM=xcb");
    // No start switch: the window waits, "End" focused.
    Child program({cliPath(), "-", "/oh"}, env);
    const std::string found =
        xdotool(display.name(), {"search", "--sync", "--onlyvisible", "--name", "<< Mervik >>"});
    ASSERT_FALSE(found.empty());
    const std::string window = found.substr(0, found.find('\n'));
    // What the window system shows, with nothing appended.
    EXPECT_EQ(xdotool(display.name(), {"getwindowname", window}),
              "<< Mervik >>  Version 11.00 Copyright (C) 2023 Corvanta\n");
    xdotool(display.name(), {"windowfocus", "--sync", window});
    xdotool(display.name(), {"key", "--clearmodifiers", "Return"});

    const Result r = program.wait(30s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto saved = s.parLines();
    saved[15] = "4";
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(saved));
}

TEST(Window, WithoutADisplayOneLineAndStatus2) {
    Sandbox s;
    s.writePar();
    struct Case {
        const char* what;
        std::vector<std::string> env;
    };
    std::vector<std::string> bare = s.env();
    std::erase_if(bare, [](const std::string& e) {
        return e.rfind("DISPLAY=", 0) == 0 || e.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
               e.rfind("QT_QPA_PLATFORM=", 0) == 0;
    });
    const Case cases[] = {
        {"no platform chosen", bare},
        {"xcb chosen", with(bare, "QT_QPA_PLATFORM=xcb")},
        // Named, but no server answers there.
        {"an unreachable display", with(with(bare, "QT_QPA_PLATFORM=xcb"), "DISPLAY=:97")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Child program({cliPath()}, c.env);
        const Result r = program.wait(30s);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("mervik: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
        // Nothing was started: the parameter file is as it was.
        EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
    }
}

TEST(Window, ASecondStartEndsSilentlyAndLeavesTheFirstRunning) {
    Sandbox s;
    s.writePar();
    const auto env = with(s.env(), "QT_QPA_PLATFORM=offscreen");
    Child first({cliPath()}, env);
    ASSERT_TRUE(waitFor([&] { return holdsFlock(first.pid()); }, 20s));
    // The first one has taken its back-up of the comparison program's file.
    ASSERT_TRUE(waitFor([&] { return exists(s.data + "/Sandrel.par"); }, 20s));

    // Started in the same session, and from another session (another runtime
    // folder, so another session lock) on the same data folder.
    const std::string otherRuntime = s.root + "/other-run";
    std::filesystem::create_directories(otherRuntime);
    std::filesystem::permissions(otherRuntime, std::filesystem::perms::owner_all);
    for (const auto& secondEnv : {env, with(env, "XDG_RUNTIME_DIR=" + otherRuntime)}) {
        Child second({cliPath(), "/a", "/oh"}, secondEnv);
        const Result r2 = second.wait(20s);
        EXPECT_FALSE(r2.timedOut);
        EXPECT_EQ(r2.exitCode, 0);
        EXPECT_EQ(r2.out, "");
        EXPECT_EQ(r2.err, "");
        EXPECT_EQ(kill(first.pid(), 0), 0);
        EXPECT_TRUE(s.calls().empty());
    }

    // The end of a session closes the window as "End" does.
    first.signal(SIGTERM);
    const Result r1 = first.wait(20s);
    EXPECT_EQ(r1.exitCode, 0) << r1.err;
    EXPECT_EQ(readText(s.data + "/Mervik.par"),
              crlf(s.parLines()));  // /oh of the second is not in it
    expectHandedBack(s);
}

TEST(Window, EndPressedWhileASiblingRunsWaitsForTheRunsEnd) {
    if (!canUseDisplay())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    OnDisplay d;
    d.s.setControl({{"split.mode", "sleep:1500"}});
    ASSERT_NO_FATAL_FAILURE(d.start());
    const Sandbox& s = d.s;
    // The splits have begun and sleep.
    ASSERT_TRUE(waitFor([&] { return !s.calls().empty(); }, 60s));
    pressEnd(d.display.name());
    EXPECT_FALSE(exists(s.out + "/plan.pdf"));

    // The run goes on to its end; then the click is taken and the program ends.
    const Result r = d.program->wait(60s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(s.calls().size(), 4u);
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.pdf"});
    EXPECT_TRUE(listFolder(s.in1).empty());
    expectHandedBack(s);
}
