// The command line as a script or a scheduler gives it: typing errors are
// refused at once, values that cannot be used never reach the parameter file,
// and a standby without a terminal says what it does.
#include <signal.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"

using namespace e2e;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The lines of a CR LF file.
std::vector<std::string> parLinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(readText(path).value_or(""));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(Arguments, UnknownOptionsAndMalformedSwitchesAreUsageErrors) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--once", "--bogus", "/a"},
        {"/a", "--onse"},
        {"--once", "/a", "/oz"},
        {"--once", "-", "/o", s.in1 + "/*.hgl"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const Result r = s.runCli(args);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("mervik-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nUsage: mervik-cli"), std::string::npos) << r.err;
        EXPECT_TRUE(s.calls().empty());
        EXPECT_TRUE(exists(s.in1 + "/plan.hgl"));
        EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
    }
    // "--" ends the options; the rest is read as before.
    const Result r = s.runCli({"--once", "--", "/a", "/oh"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.hgl"});
}

TEST(Arguments, ValuesFailingTheStartCheckAreNotSaved) {
    struct Case {
        std::string what;
        std::function<std::vector<std::string>(const Sandbox&)> args;
    };
    const std::vector<Case> cases = {
        {"a missing folder 1 with an output switch",
         [](const Sandbox& s) {
             return std::vector<std::string>{"--once", "/a", "/ot", s.root + "/nowhere/*.hgl",
                                             s.in2,    s.out};
         }},
        {"an output folder that does not exist",
         [](const Sandbox& s) {
             return std::vector<std::string>{"--once",         "/a",  "/ov",
                                             s.in1 + "/*.hgl", s.in2, s.root + "/nowhere"};
         }},
        {"the start switch forgotten, so /a became comparison file 1",
         [](const Sandbox&) {
             return std::vector<std::string>{"--once", "/op", "/a"};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox s;
        s.writePar();
        s.pair("plan.hgl");
        const Result r = s.runCli(c.args(s));
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("Register comparison with the Set Button"), std::string::npos)
            << r.err;
        EXPECT_TRUE(s.calls().empty());
        EXPECT_EQ(parLinesOf(s.data + "/Mervik.par"), s.parLines());
    }
}

TEST(Arguments, ShiftedValuesRunButAreNotSaved) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    const std::string out2 = s.root + "/out2";
    makeFolders(out2);
    // "/oh" in the start position is used up; the paths after it fill the
    // places as written, and the run goes to out2.
    const Result r = s.runCli({"--once", "/oh", s.in1 + "/*.hgl", s.in2, out2});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("was read as the start-switch position"), std::string::npos) << r.err;
    EXPECT_EQ(listFolder(out2), std::vector<std::string>{"plan.pdf"});
    EXPECT_EQ(parLinesOf(s.data + "/Mervik.par"), s.parLines());
}

TEST(Arguments, AFolderTypedWithoutItsSeparatorIsThatFolder) {
    Sandbox s;
    auto par = s.parLines();
    // In the parameter file, as a user may have written it.
    par[11] = s.out;
    par[14] = s.in2;
    s.writePar(par);
    s.pair("plan.hgl");
    Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.pdf"});
    EXPECT_EQ(parLinesOf(s.data + "/Mervik.par"), s.parLines());

    // And on the command line, where two different folders stay different.
    s.pair("plan.hgl");
    const std::string out2 = s.root + "/out2";
    makeFolders(out2);
    r = s.runCli({"--once", "/a", "/oh", s.in1 + "/*.hgl", s.in2, out2});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(out2), std::vector<std::string>{"plan.hgl"});
    auto saved = s.parLines();
    saved[11] = out2 + "/";
    saved[15] = "4";
    EXPECT_EQ(parLinesOf(s.data + "/Mervik.par"), saved);
}

TEST(Arguments, StandbyWithoutATerminalSaysOnceWhatItWatches) {
    Sandbox s;
    auto par = s.parLines();
    par[12] = "0";  // every tick polls
    s.writePar(par);
    s.pair("plan.hgl");
    auto child = s.startCli({"/a"});  // standard input is /dev/null
    ASSERT_TRUE(child->waitForOutput(
        [](const std::string& out) { return out.find("* End\n") != std::string::npos; }, 30s));
    child->signal(SIGTERM);
    const Result r = child->wait(20s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(occurrences(r.err, "mervik-cli: standing by"), 1u) << r.err;
    for (const std::string& part : {s.in1 + "/*.hgl", s.in2 + "/", s.out + "/",
                                    std::string("SIGTERM"), "kill " + std::to_string(child->pid())})
        EXPECT_NE(r.err.find(part), std::string::npos) << part << " in " << r.err;
    EXPECT_EQ(occurrences(r.err, "\n"), 1u) << r.err;
}

// The Init folder's parameter file as built, seen through a first start.
TEST(Arguments, TheShippedExtensionListsTakeTiffSpeltEitherWay) {
    const std::vector<std::string> shipped = parLinesOf(MERVIK_INIT_PAR);
    ASSERT_EQ(shipped.size(), 16u);
    EXPECT_EQ(shipped[2], "tif;tiff");
    for (const std::string pattern : {"*.tiff", "*.TIF"}) {
        SCOPED_TRACE(pattern);
        Sandbox s;
        auto par = shipped;
        const auto ours = s.parLines(pattern);
        for (const std::size_t own : {9u, 10u, 11u, 13u, 14u})
            par[own] = ours[own];
        s.writePar(par);
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find("is not PDF"), std::string::npos) << r.err;
    }
}
