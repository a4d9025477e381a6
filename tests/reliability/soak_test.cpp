// A long soak: a thousand pairs in one run of mervik-cli. It runs in the
// normal build only (CTest label "soak"): under the sanitizers its five
// thousand program starts take many minutes and prove nothing more. Its
// time limit guards against a hang, not a speed.
#include <chrono>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"
#include "tests/reliability/unattended_support.h"

using namespace e2e;
using unattended::countOf;
using namespace std::chrono_literals;

TEST(Soak, AThousandPairsInOneOnceRunAreEachConsumedOnce) {
    Sandbox s;
    s.writePar();
    constexpr int kPairs = 1000;
    for (int i = 0; i < kPairs; ++i) {
        s.pair("drawing " + std::to_string(i) + ".hgl");
    }
    // Some 30 s on a quiet machine and about two minutes on a loaded one.
    const Result r = s.runCli({"--once"}, 1500s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(countOf(r.out, "* Start Input file : "), kPairs);
    EXPECT_EQ(countOf(r.out, "* End\n"), kPairs);
    EXPECT_EQ(r.err, "mervik-cli: pairs run 1000, complete 1000, failed 0\n");
    EXPECT_TRUE(listFolder(s.in1).empty());
    EXPECT_TRUE(listFolder(s.in2).empty());
    EXPECT_EQ(listFolder(s.out).size(), static_cast<std::size_t>(kPairs));
    // Every input split exactly once.
    std::multiset<std::string> split;
    for (const Call& c : s.calls()) {
        if (c.role == "split" && c.args.size() == 4) {
            split.insert(c.args[2]);
        }
    }
    EXPECT_EQ(split.size(), 2u * kPairs);
    EXPECT_EQ(std::set<std::string>(split.begin(), split.end()).size(), 2u * kPairs);
}
