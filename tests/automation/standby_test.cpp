#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

const std::string kPrefix = "Waiting!  Waiting time=";

class StandbyTest : public CoreFixture {
  protected:
    // Ticks until a poll has run; returns the number of ticks and the labels seen.
    int ticksUntilPoll(MervikCore& core, std::vector<std::string>* labels = nullptr) {
        pair("p.pdf");
        for (int tick = 1; tick < 100000; ++tick) {
            core.ButtonAutoOutputClick();
            if (labels)
                labels->push_back(view.status);
            if (!view.log.empty())
                return tick;
        }
        return -1;
    }
};

TEST_F(StandbyTest, WaitingTimeDisplay) {
    MervikCore core = makeCore();
    const std::pair<int, std::string> cases[] = {
        {3661, "1Hour1Minute1Second"},     {86400, "24Hour0Minute0Second"},
        {60, "0Hour1Minute0Second"},       {-1, "0Hour0Minute-1Second"},
        {-3661, "-1Hour-1Minute-1Second"},
    };
    for (const auto& [c, text] : cases) {
        core.WaitCountdown = c;
        core.ShowWaitingTime();
        EXPECT_EQ(view.status, kPrefix + text);
    }
}

TEST_F(StandbyTest, StartEntersCountingAndLocksControls) {
    settings.iWaitTime = 60;
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    EXPECT_TRUE(core.StandbyActive);
    EXPECT_TRUE(view.timer);
    EXPECT_FALSE(view.controlsEnabled);
    EXPECT_EQ(view.status, kPrefix + "0Hour1Minute0Second");
    core.ButtonAutoOutputClick();
    EXPECT_EQ(view.status, kPrefix + "0Hour0Minute58Second");
    EXPECT_EQ(settings.sChgAreaDir2, in2);
}

TEST_F(StandbyTest, PollComesOnTickHalfWPlusOne) {
    for (int w : {2, 60}) {
        settings.iWaitTime = w;
        view.timer = false;
        MervikCore core = makeCore();
        core.ButtonAutoOutputClick();  // the press of "Standby output"
        EXPECT_EQ(ticksUntilPoll(core), w / 2 + 1) << w;
        // Straight back to counting with the full waiting time.
        EXPECT_TRUE(view.timer);
        EXPECT_EQ(core.WaitCountdown, w);
        view.log.clear();
    }
}

TEST_F(StandbyTest, OddAndNonPositiveWaitingTimes) {
    settings.iWaitTime = 3;
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    std::vector<std::string> labels{view.status};
    EXPECT_EQ(ticksUntilPoll(core, &labels), 3);
    const std::vector<std::string> expected = {
        kPrefix + "0Hour0Minute3Second", kPrefix + "0Hour0Minute1Second",
        kPrefix + "0Hour0Minute-1Second", kPrefix + "0Hour0Minute3Second"};
    EXPECT_EQ(labels, expected);

    settings.iWaitTime = -4;
    view.timer = false;
    MervikCore every = makeCore();
    every.ButtonAutoOutputClick();
    EXPECT_EQ(view.status, kPrefix + "0Hour0Minute-4Second");
    view.log.clear();
    EXPECT_EQ(ticksUntilPoll(every), 1);
}

TEST_F(StandbyTest, PollWithoutInputLogsNothing) {
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    core.ButtonAutoOutputClick();
    core.ButtonAutoOutputClick();
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(view.status, kPrefix + "0Hour0Minute2Second");
    EXPECT_TRUE(view.timer);
}

TEST_F(StandbyTest, StartChecksInOrderWithThreeLineWarnings) {
    const std::string reg = "\rRegister comparison with the Set Button";
    struct Case {
        std::function<void(TSettings&)> spoil;
        std::string warning;
    };
    const std::string missing = root + "/nothing/here";
    const Case cases[] = {
        {[&](TSettings& s) { s.sSandrelExe = missing; }, "File does not exist!\r" + missing + reg},
        {[&](TSettings& s) { s.sTolvaneExe = root + "/bin"; },
         "File does not exist!\r" + root + "/bin" + reg},
        {[&](TSettings& s) { s.sChgAreaDir1 = missing + "/*.pdf"; },
         "Folder does not exist!\r" + missing + "/*.pdf" + reg},
        {[&](TSettings& s) { s.sChgAreaDir2 = in2 + "x/"; },
         "Folder does not exist!\r" + in2 + "x/" + reg},
        {[&](TSettings& s) {
             s.sChgAreaDir2 = in2 + "file-in-folder";
             s.sOutDir = missing;
         },
         "Folder does not exist!\r" + missing + reg},
        {[&](TSettings& s) { s.sChgAreaDir1 = in1 + "*.dxf"; },
         "Type of comparison file 1 is not PDF, TIFF, SXF, or HPGL !\r" + in1 + "*.dxf" + reg},
    };
    const TSettings good = settings;
    for (const Case& c : cases) {
        settings = good;
        c.spoil(settings);
        warnings.clear();
        view.controlsEnabled = false;
        view.timer = false;
        MervikCore core = makeCore();
        core.ButtonAutoOutputClick();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0], c.warning);
        EXPECT_FALSE(core.StandbyActive);
        EXPECT_FALSE(view.timer);
        EXPECT_TRUE(view.controlsEnabled);
    }
    // A check that passed before the failing one keeps its rewrite.
    settings = good;
    settings.sChgAreaDir2 = in2 + "file-in-folder";
    settings.sOutDir = root + "/nothing";
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    EXPECT_EQ(settings.sChgAreaDir2, in2);
}

TEST_F(StandbyTest, ChecksAreNotRepeatedOnceStandbyRuns) {
    MervikCore core = makeCore();
    core.ButtonAutoOutputClick();
    fs::remove(settings.sTolvaneExe);
    core.ButtonAutoOutputClick();
    core.ButtonAutoOutputClick();
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(core.StandbyActive);
}

}  // namespace
}  // namespace mervik::test
