// Complete runs: the run log, the command lines, the parameter-file handover.
#include <cstdio>
#include <set>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"

using namespace e2e;

namespace {

void expectHandedBack(const Sandbox& s) {
    EXPECT_EQ(readText(s.tolvanePar), crlf(Sandbox::userTolvaneLines()));
    EXPECT_EQ(readText(s.sandrelPar), Sandbox::userSandrelText());
    EXPECT_FALSE(exists(s.data + "/Tolvane.par"));
    EXPECT_FALSE(exists(s.data + "/Sandrel.par"));
}

// The four calls of one complete run on pair name.
void expectRunCalls(const Sandbox& s, const std::vector<Call>& calls, std::size_t first,
                    const std::string& name, const std::string& sw, const std::string& ext) {
    ASSERT_GE(calls.size(), first + 4);
    // The second split runs beside the first: either may be logged first.
    std::set<std::vector<std::string>> splits = {calls[first].args, calls[first + 1].args};
    EXPECT_EQ(splits, (std::set<std::vector<std::string>>{splitArgs(s, s.in1, "Temp1", name),
                                                          splitArgs(s, s.in2, "Temp2", name)}));
    EXPECT_EQ(calls[first + 2].args, compareArgs(s, name));
    EXPECT_EQ(calls[first + 3].args, joinArgs(s, name, sw, ext));
}

}  // namespace

TEST(Run, CompletePairIsLoggedHandedOverAndCleanedUp) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    s.setControl({{"sandrel.par", "changed during the run"}});

    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    EXPECT_EQ(r.err, "mervik-cli: pairs run 1, complete 1, failed 0\n");

    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 4u);
    expectRunCalls(s, calls, 0, "plan.hgl", "/p", ".pdf");
    // Lines 8 and 10 keep the user's values while splitting.
    EXPECT_EQ(calls[0].par, switchedTolvane("", "1", ""));
    EXPECT_EQ(calls[1].par, switchedTolvane("", "1", ""));
    EXPECT_EQ(calls[3].par, switchedTolvane("0", "0", "0"));
    for (const auto& c : calls) {
        EXPECT_TRUE(c.fds.empty()) << c.role << " inherited descriptor " << c.fds.front();
    }

    EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan.pdf"});
    EXPECT_TRUE(listFolder(s.in1).empty());
    EXPECT_TRUE(listFolder(s.in2).empty());
    EXPECT_EQ(listFolder(s.data + "/Temp1"),
              (std::vector<std::string>{"plan-001.hgl", "plan-002.hgl"}));
    EXPECT_TRUE(s.errorEntries().empty());
    expectHandedBack(s);
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
}

TEST(Run, PagesOfAnEarlierRunAreNotCountedAndNotTrashed) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    for (const auto* temp : {"/Temp1", "/Temp2", "/Temp3"}) {
        makeFolders(s.data + temp);
        writeText(s.data + temp + "/plan-009.hgl", "old page\n");
    }
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    // The work folders are ours: removed outright, never into the user's trash.
    EXPECT_FALSE(exists(s.xdg + "/Trash"));
    EXPECT_FALSE(exists(s.home + "/.local/share/Trash"));
}

TEST(Run, OutputTypeChoosesSwitchAndExtension) {
    struct Case {
        std::string stored, sw, ext;
    };
    // 7: a hand-edited file; no switch (the two blanks make no argument) and no extension.
    for (const Case& c : {Case{"0", "/p", ".pdf"}, Case{"1", "/t", ".tif"}, Case{"2", "/y", ".p21"},
                          Case{"3", "/y", ".sfc"}, Case{"4", "/h", ".hgl"}, Case{"7", "", ""}}) {
        SCOPED_TRACE("iOutTyp " + c.stored);
        Sandbox s;
        auto par = s.parLines();
        par[15] = c.stored;
        s.writePar(par);
        s.pair("plan.hgl");
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
        const auto calls = s.calls();
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(calls[3].args, joinArgs(s, "plan.hgl", c.sw, c.ext));
        EXPECT_EQ(listFolder(s.out), std::vector<std::string>{"plan" + c.ext});
    }
}

TEST(Run, OddNamesReachTheSiblingsIntact) {
    struct Case {
        std::string name;
        bool blanks;
        std::string pattern;
    };
    const std::vector<Case> cases = {
        {"my plan.hgl", true, "*.hgl"},
        {"pl\xc3\xa4n \xe5\x9b\xb3\xe9\x9d\xa2.hgl", true, "*.hgl"},  // UTF-8
        {"caf\xe9.hgl", false, "*.hgl"},                              // not UTF-8 at all
        {"plan.a.hgl", false, "*.hgl"},
        {"plan [rev 1].hgl", true, "*.hgl"},  // brackets are no wildcards
        {"Plan.Hgl", false, "*.HGL"},
        {"  two  blanks .hgl", false, "*.hgl"},
        {"tab\there.hgl", false, "*.hgl"},  // letters match without regard to case
        {"plan", false, "*"},               // no extension, accepted by an empty list entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("name " + c.name);
        Sandbox s(c.blanks);
        auto par = s.parLines(c.pattern);
        par[1] = "hgl;;hpg";
        par[15] = "1";
        s.writePar(par);
        s.pair(c.name);
        const Result r = s.runCli({"--once"});
        EXPECT_EQ(r.exitCode, 0);
        // A control character is shown escaped, so that a name is one line.
        std::string shown = c.name;
        if (const auto tab = shown.find('\t'); tab != std::string::npos) {
            shown.replace(tab, 1, "\\t");
        }
        EXPECT_EQ(r.out, joinLines(completeRunLines(shown, 2, 1)));
        expectRunCalls(s, s.calls(), 0, c.name, "/t", ".tif");
        EXPECT_EQ(listFolder(s.out), std::vector<std::string>{baseName(c.name) + ".tif"});
        EXPECT_TRUE(listFolder(s.in1).empty());
        expectHandedBack(s);
    }
}

TEST(Run, FolderNamesThatAreNoUtf8) {
    // File names are bytes; a home folder may come from an older system.
    Sandbox s(true, true);
    s.writePar();
    s.pair("plan.hgl", "pages=2\n", "pages=1\n");
    s.setControl({{"sandrel.par", "changed during the run"}});
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 4u);
    expectRunCalls(s, calls, 0, "plan.hgl", "/p", ".pdf");
    EXPECT_EQ(calls[0].par, switchedTolvane("", "1", ""));
    EXPECT_EQ(calls[3].par, switchedTolvane("0", "0", "0"));
    expectHandedBack(s);
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(s.parLines()));
    const auto entries = s.errorEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(
        entryIs(entries[0], "plan.hgl", "Compared file count is not the same ! Temp1=2 Temp2=1"));
}

TEST(Run, OncePassesUntilNoPairIsLeft) {
    Sandbox s;
    s.writePar();
    s.pair("a.hgl");
    s.pair("b.hgl", "pages=3\n", "pages=3\n");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 8u);
    // The directory read decides the order.
    const bool aFirst = calls[0].args[2].ends_with("/a.hgl");
    const auto first = completeRunLines(aFirst ? "a.hgl" : "b.hgl", aFirst ? 2 : 3, 1);
    auto both = first;
    for (const auto& l : completeRunLines(aFirst ? "b.hgl" : "a.hgl", aFirst ? 3 : 2, 2)) {
        both.push_back(l);
    }
    EXPECT_EQ(r.out, joinLines(both));
    expectRunCalls(s, calls, 0, aFirst ? "a.hgl" : "b.hgl", "/p", ".pdf");
    expectRunCalls(s, calls, 4, aFirst ? "b.hgl" : "a.hgl", "/p", ".pdf");
    // The viewer's file is switched from the user's own again at every run.
    EXPECT_EQ(calls[4].par, switchedTolvane("", "1", ""));
    EXPECT_TRUE(listFolder(s.in1).empty());
    EXPECT_EQ(listFolder(s.out), (std::vector<std::string>{"a.pdf", "b.pdf"}));
    expectHandedBack(s);
}

TEST(Run, CommandLineReplacesSettingsAndIsSaved) {
    Sandbox s;
    auto par = s.parLines("*.pdf");
    par[11] = s.root + "/nowhere/";
    par[13] = s.root + "/nowhere/*.pdf";
    par[14] = s.root + "/nowhere/";
    s.writePar(par);
    s.pair("plan.hgl");
    // "/b" acts as "/a"; an empty argument is no argument.
    const Result r = s.runCli({"--once", "/b", "/ot", "", s.in1 + "/*.hgl", s.in2, s.out});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 4u);
    expectRunCalls(s, calls, 0, "plan.hgl", "/t", ".tif");
    auto saved = s.parLines();
    saved[15] = "1";
    EXPECT_EQ(readText(s.data + "/Mervik.par"), crlf(saved));
}

TEST(Run, MissingSiblingParameterFilesAreNotCreated) {
    Sandbox s;
    s.writePar();
    s.pair("plan.hgl");
    std::remove(s.tolvanePar.c_str());
    std::remove(s.sandrelPar.c_str());
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.out, joinLines(completeRunLines("plan.hgl", 2, 1)));
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_FALSE(calls[0].par.has_value());
    EXPECT_FALSE(calls[3].par.has_value());
    EXPECT_FALSE(exists(s.tolvanePar));
    EXPECT_FALSE(exists(s.sandrelPar));
    EXPECT_FALSE(exists(s.data + "/Tolvane.par"));
    EXPECT_FALSE(exists(s.data + "/Sandrel.par"));
}

TEST(Run, PartnerDifferingInCaseIsNoPair) {
    Sandbox s;
    s.writePar();
    writeText(s.in1 + "/plan.hgl", "pages=2\n");
    writeText(s.in2 + "/PLAN.hgl", "pages=2\n");
    const Result r = s.runCli({"--once"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(s.calls().empty());
    EXPECT_EQ(listFolder(s.in1), std::vector<std::string>{"plan.hgl"});
    EXPECT_EQ(listFolder(s.in2), std::vector<std::string>{"PLAN.hgl"});
    EXPECT_TRUE(s.errorEntries().empty());
}
