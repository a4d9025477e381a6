// Names with line breaks and other control characters: one name is always
// one line of the run log and one entry of the error log, and the reason of
// a failed step is the program's own last line, not the tail of a name; the
// console's summary at the end names the kept pairs the same way.
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"

using namespace e2e;
using namespace unattended;
namespace fs = std::filesystem;

TEST(Names, ALineBreakInANameForgesNoLogLineAndNoReason) {
    Sandbox s;
    s.writePar();
    const std::string name =
        "plan\n2026-12-09 10:00:00 forged.hgl Input files moved to nowhere.hgl";
    const std::string shown =
        "plan\\n2026-12-09 10:00:00 forged.hgl Input files moved to nowhere.hgl";
    const std::string other = "tab\there\x01\x7f.hgl";
    const std::string otherShown = "tab\\there\\x01\\x7F.hgl";
    s.pair(name);
    s.pair(other);
    // The converter names the input in its complaint, line break and all.
    s.setControl({{"split.mode", "complain"}});
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 3);

    const auto lines = splitLines(r.out);
    for (const auto& n : {shown, otherShown}) {
        EXPECT_EQ(countOf(r.out, "\n* Start Input file : " + n + "\n") +
                      (r.out.rfind("* Start Input file : " + n + "\n", 0) == 0 ? 1 : 0),
                  1)
            << r.out;
    }
    const std::string reason =
        "tolvane exited with status 2: fake: " + s.in1 + "/" + shown + ": not a plot";
    EXPECT_EQ(countOf(r.out, "\n  *** " + reason + "\n"), 1) << r.out;
    // Every line is one of ours: none starts with the forged date.
    for (const auto& line : lines) {
        EXPECT_NE(line.rfind("2026-12-09", 0), 0u) << line;
    }

    // errorEntries fails on any stray line break inside an entry.
    const auto entries = s.errorEntries();
    EXPECT_EQ(entriesLike(s, shown, reason), 1);
    EXPECT_EQ(entriesLike(s, otherShown,
                          "tolvane exited with status 2: fake: " + s.in1 + "/" + otherShown +
                              ": not a plot"),
              1);
    for (const auto& e : entries) {
        EXPECT_EQ(e.find('\t'), std::string::npos) << e;
    }
    // The summary at the end names the Failed folders escaped as well: each
    // of its lines is one of ours (what the siblings wrote comes before it).
    const auto summary = r.err.find("mervik-cli: pairs run 2, complete 0, failed 2\n");
    ASSERT_NE(summary, std::string::npos) << r.err;
    for (const auto& line : splitLines(r.err.substr(summary))) {
        EXPECT_EQ(line.rfind("mervik-cli: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(countOf(r.err, "mervik-cli: failed pair kept in "), 2) << r.err;
    EXPECT_EQ(countOf(r.err, " " + shown + "\n"), 1) << r.err;
    EXPECT_EQ(countOf(r.err, " " + otherShown + "\n"), 1) << r.err;

    // The files themselves keep their names.
    ASSERT_TRUE(exists(s.data + "/Failed"));
    bool keptWhole = false;
    for (const auto& run : listFolder(s.data + "/Failed")) {
        keptWhole = keptWhole || exists(s.data + "/Failed/" + run + "/1/" + name);
    }
    EXPECT_TRUE(keptWhole);
}
