// Folders that would make a run delete data or send results elsewhere:
// refused at the start, and a pass skipped when a link changed them since.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"

using namespace e2e;
using namespace unattended;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kInDataFolder =
    "Folder lies inside Mervik's data folder, whose work folders are emptied at every run!";
const std::string kHasQuote =
    "Folder name contains a double quote, which a command line cannot carry!";
const std::string kOutputIsInput = "Output folder is the same as a comparison folder!";

std::string refusal(const std::string& message, const std::string& folder) {
    return message + "\n" + folder + "\nRegister comparison with the Set Button\n";
}

}  // namespace

TEST(StartCheck, FoldersInTheDataFolderOrWithAQuoteAreRefusedAndNothingIsTouched) {
    struct Case {
        int line;  // 11 output, 13 folder 1 (with the pattern), 14 folder 2
        std::string folder;
        std::string message;
    };
    Sandbox probe;
    const std::vector<Case> cases = {
        {13, "/Temp1", kInDataFolder},     // the next run's clean-up empties it
        {11, "/Temp3", kInDataFolder},     // a result deleted by the next run
        {14, "", kInDataFolder},           // the data folder itself
        {11, "/Failed/x", kInDataFolder},  // deeper inside
        {11, "QUOTE", kHasQuote},          // the result would go elsewhere
        {14, "QUOTE", kHasQuote},          // every pair would fail
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + " " + c.folder);
        Sandbox s;
        std::string folder;
        if (c.folder == "QUOTE") {
            folder = s.root + "/o\"ut/";
        } else {
            folder = s.data + c.folder + "/";
        }
        makeFolders(folder);
        writeText(folder + "plan.hgl", "pages=2\n");
        auto lines = s.parLines();
        lines[c.line] = c.line == 13 ? folder + "*.hgl" : folder;
        s.writePar(lines);
        s.pair("plan.hgl");
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, refusal(c.message, folder));
        EXPECT_TRUE(s.calls().empty());
        EXPECT_TRUE(exists(folder + "plan.hgl"));
        EXPECT_TRUE(exists(s.in1 + "/plan.hgl"));
        EXPECT_TRUE(exists(s.in2 + "/plan.hgl"));
    }
}

TEST(StartCheck, AnOutputLinkRepointedDuringStandbySkipsThePassUntilItIsSafeAgain) {
    Sandbox s;
    const std::string link = s.root + "/result link";
    ASSERT_EQ(symlink(s.out.c_str(), link.c_str()), 0);
    auto lines = s.parLines();
    lines[11] = link + "/";
    lines[12] = "0";
    s.writePar(lines);
    auto cli = s.startCli({});
    // Its start checks passed: only now may the folders change under it.
    ASSERT_TRUE(cli->waitForStandby(30s));

    // Now the output folder is folder 1: an HP-GL result would replace input 1.
    fs::remove(link);
    ASSERT_EQ(symlink(s.in1.c_str(), link.c_str()), 0);
    s.pair("plan.hgl");
    const std::string skipped =
        "  *** Pass skipped, the folders are unsafe : " + kOutputIsInput + " " + link + "/\n";
    EXPECT_TRUE(cli->waitForOutput(
        [&](const std::string& out) { return out.find(skipped) != std::string::npos; }, 30s));
    // Several polls later it has still been said once, and nothing ran.
    std::this_thread::sleep_for(5s);
    EXPECT_TRUE(s.calls().empty());
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"plan.hgl"});

    // Into the data folder is no better.
    fs::remove(link);
    ASSERT_EQ(symlink(s.data.c_str(), link.c_str()), 0);
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(s.calls().empty());

    fs::remove(link);
    ASSERT_EQ(symlink(s.out.c_str(), link.c_str()), 0);
    EXPECT_TRUE(cli->waitForOutput(
        [](const std::string& out) { return out.find("* End\n") != std::string::npos; }, 30s));
    cli->signal(SIGTERM);
    const Result r = cli->wait(30s);
    EXPECT_EQ(countOf(r.out, skipped), 1) << r.out;
    EXPECT_EQ(countOf(r.out, "  Folders safe again, passes go on\n"), 1) << r.out;
    EXPECT_TRUE(exists(s.out + "/plan.pdf"));
    EXPECT_EQ(
        entriesLike(s, "Mervik",
                    "Pass skipped, the folders are unsafe ! " + kOutputIsInput + " " + link + "/"),
        1);
}
