// The fake sibling itself: the end-to-end tests rely on what it writes and records.
#include <signal.h>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {
Result runFake(const Sandbox& s, const std::vector<std::string>& argv) {
    Child child(argv, s.env());
    return child.wait(10s);
}
}  // namespace

TEST(FakeSibling, SplitsComparesAndJoinsAsPromised) {
    Sandbox s(true);
    const std::string t1 = s.data + "/Temp1/", t2 = s.data + "/Temp2/", t3 = s.data + "/Temp3/";
    for (const auto& f : {t1, t2, t3}) {
        makeFolders(f);
    }
    writeText(s.in1 + "/my plan.pdf", "pages=3\n");
    EXPECT_EQ(runFake(s, {s.tolvane, "/h", s.in1 + "/my plan.pdf", t1 + "my plan.hgl"}).exitCode,
              0);
    EXPECT_EQ(listFolder(t1),
              (std::vector<std::string>{"my plan-001.hgl", "my plan-002.hgl", "my plan-003.hgl"}));
    s.setControl({{"split.pages", "1"}});
    writeText(s.in2 + "/my plan.pdf", "no count here\n");
    runFake(s, {s.tolvane, "/h", s.in2 + "/my plan.pdf", t2 + "my plan.hgl"});
    EXPECT_EQ(listFolder(t2).size(), 1u);

    // Case does not matter to the pattern, as on the original platform.
    runFake(s, {s.sandrel, "/h", "/oh", t1 + "MY PLAN*.HGL", t2, t3});
    EXPECT_EQ(listFolder(t3), listFolder(t1));
    s.setControl({{"compare.pages", "4"}});
    runFake(s, {s.sandrel, "/h", "/oh", t1 + "my plan*.hgl", t2, t3});
    EXPECT_EQ(listFolder(t3).size(), 4u);

    runFake(s, {s.tolvane, "/t", t3 + "my plan*.hgl", s.out + "/my plan.tif"});
    EXPECT_TRUE(exists(s.out + "/my plan.tif"));
    runFake(s, {s.tolvane, t3 + "my plan*.hgl", s.out + "/my plan"});
    EXPECT_TRUE(exists(s.out + "/my plan"));
    runFake(s, {s.tolvane, "/p", t3 + "nothing*.hgl", s.out + "/nothing.pdf"});
    EXPECT_FALSE(exists(s.out + "/nothing.pdf"));

    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0].role, "split");
    EXPECT_EQ(calls[0].args[2], s.in1 + "/my plan.pdf");
    EXPECT_EQ(calls[0].par, crlf(Sandbox::userTolvaneLines()));
    EXPECT_EQ(calls[2].role, "compare");
    EXPECT_FALSE(calls[2].par.has_value());
    EXPECT_EQ(calls[4].role, "join");
    EXPECT_EQ(calls[5].role, "join");
    EXPECT_TRUE(calls[0].fds.empty());
}

TEST(FakeSibling, FailureModes) {
    Sandbox s;
    makeFolders(s.data + "/Temp1");
    writeText(s.in1 + "/p.hgl", "pages=2\n");
    const std::vector<std::string> split{s.tolvane, "/h", s.in1 + "/p.hgl",
                                         s.data + "/Temp1/p.hgl"};
    s.setControl({{"split.mode", "segv"}});
    EXPECT_EQ(runFake(s, split).signal, SIGSEGV);
    s.setControl({{"split.mode@" + s.in1 + "/p.hgl", "abort"}});
    EXPECT_EQ(runFake(s, split).signal, SIGABRT);
    s.setControl({{"split.mode", "fail"}});
    EXPECT_EQ(runFake(s, split).exitCode, 1);
    EXPECT_TRUE(listFolder(s.data + "/Temp1").empty());
    EXPECT_EQ(s.calls().size(), 3u);
}

TEST(FakeSibling, RecordsInheritedDescriptors) {
    Sandbox s;
    runFake(s, {"/bin/sh", "-c", "exec 7</dev/null; exec \"$0\" /h x y", s.tolvane});
    const auto calls = s.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].fds, std::vector<std::string>{"7 /dev/null"});
}
