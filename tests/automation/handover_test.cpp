#include "automation/viewer_params.h"
#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

std::string lines(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i)
        s += "v" + std::to_string(i) + "\r\n";
    return s;
}

class HandoverTest : public CoreFixture {
  protected:
    std::string viewer() { return local + "/Corvanta/Tolvane/Tolvane.par"; }
    std::string sandrel() { return local + "/Corvanta/Sandrel/Sandrel.par"; }
    std::string viewerBackup() { return settings.sDataDir + "/Tolvane.par"; }
    std::string sandrelBackup() { return settings.sDataDir + "/Sandrel.par"; }
};

TEST_F(HandoverTest, SplitAndJoinSetLinesEightToTenFromTheBackup) {
    writeFile(viewer(), lines(1, 12));
    MervikCore core = makeCore();
    core.SwitchViewerParameters(1);
    EXPECT_TRUE(core.ViewerParBackedUp);
    EXPECT_EQ(readFile(viewerBackup()), lines(1, 12));
    EXPECT_EQ(readFile(viewer()), lines(1, 8) + "1\r\n" + lines(10, 12));
    core.SwitchViewerParameters(2);
    EXPECT_EQ(readFile(viewer()), lines(1, 7) + "0\r\n0\r\n0\r\n" + lines(11, 12));
    core.SwitchViewerParameters(1);
    EXPECT_EQ(readFile(viewer()), lines(1, 8) + "1\r\n" + lines(10, 12));
    core.SwitchViewerParameters(7);
    EXPECT_EQ(readFile(viewer()), lines(1, 7) + "0\r\n0\r\n0\r\n" + lines(11, 12));
}

TEST_F(HandoverTest, ShortEmptyAndMissingViewerFiles) {
    writeFile(viewer(), "a\nb\nc\nd\ne\nf\ng\nh");
    MervikCore core = makeCore();
    core.SwitchViewerParameters(2);
    EXPECT_EQ(readFile(viewer()), "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n0\r\n");

    writeFile(viewer(), "");
    MervikCore empty = makeCore();
    fs::remove(viewerBackup());
    empty.SwitchViewerParameters(1);
    EXPECT_EQ(readFile(viewer()), "");

    fs::remove(viewer());
    fs::remove(viewerBackup());
    MervikCore none = makeCore();
    none.SwitchViewerParameters(1);
    EXPECT_FALSE(fs::exists(viewer()));
    none.FormDestroy();
    EXPECT_FALSE(fs::exists(viewer()));
}

TEST_F(HandoverTest, EndRestoresBothSiblingFilesAndDeletesTheBackups) {
    writeFile(viewer(), lines(1, 10));
    writeFile(sandrel(), "user's own");
    MervikCore core = makeCore();
    core.FormCreate();
    EXPECT_EQ(readFile(sandrelBackup()), "user's own");
    core.SwitchViewerParameters(2);
    writeFile(sandrel(), "changed by the comparison program");
    settings.iWaitTime = 120;
    core.FormDestroy();
    EXPECT_EQ(readFile(sandrel()), "user's own");
    EXPECT_EQ(readFile(viewer()), lines(1, 10));
    EXPECT_FALSE(fs::exists(sandrelBackup()));
    EXPECT_FALSE(fs::exists(viewerBackup()));
    const std::string par = readFile(settings.sParFile);
    EXPECT_EQ(par.substr(0, 15), "Version 11.00\r\n");
    EXPECT_NE(par.find("\r\n120\r\n"), std::string::npos);
}

TEST_F(HandoverTest, LeftoverBackupsOfAnAbortedRunArePutBack) {
    writeFile(viewer(), lines(1, 7) + "0\r\n0\r\n0\r\n");
    writeFile(viewerBackup(), lines(1, 10));
    writeFile(sandrel(), "changed");
    writeFile(sandrelBackup(), "original");
    MervikCore core = makeCore();
    core.FormCreate();
    EXPECT_EQ(readFile(viewer()), lines(1, 10));
    EXPECT_FALSE(fs::exists(viewerBackup()));
    EXPECT_FALSE(core.ViewerParBackedUp);
    EXPECT_EQ(readFile(sandrel()), "original");
    EXPECT_EQ(readFile(sandrelBackup()), "original");
    core.SwitchViewerParameters(1);
    EXPECT_EQ(readFile(viewerBackup()), lines(1, 10));
}

TEST_F(HandoverTest, BackupThatCannotBePutBackIsKeptForTheNextStart) {
    writeFile(sandrel(), "user's own");
    MervikCore core = makeCore();
    core.FormCreate();
    writeFile(sandrel(), "changed");
    if (!setImmutable(sandrel(), true))
        GTEST_SKIP() << "no way to make a file unwritable here";
    core.FormDestroy();
    setImmutable(sandrel(), false);
    EXPECT_EQ(readFile(sandrelBackup()), "user's own");
    MervikCore next = makeCore();
    next.FormCreate();
    EXPECT_EQ(readFile(sandrel()), "user's own");
}

TEST_F(HandoverTest, FolderNamesThatAreNoUtf8) {
    local = root + "/h\xe9";
    env.localAppData = local;
    setDataFolder(settings, local);
    fs::create_directories(settings.sDataDir);
    writeFile(viewer(), lines(1, 10));
    MervikCore core = makeCore();
    core.SwitchViewerParameters(2);
    EXPECT_EQ(readFile(viewer()), lines(1, 7) + "0\r\n0\r\n0\r\n");
    core.currentName = "a.pdf";
    core.WriteErrorLog("m");
    EXPECT_EQ(errorLog(), "8 Dec 2026 09:05:03 a.pdf m\r\n");
    fs::remove_all(local);  // QTemporaryDir cannot remove such names
}

TEST_F(HandoverTest, FirstStartWithoutDataFolderTakesNoBackup) {
    fs::remove_all(local);
    writeFile(sandrel(), "s");
    MervikCore core = makeCore();
    core.FormCreate();
    EXPECT_FALSE(fs::exists(sandrelBackup()));
    core.FormDestroy();
    EXPECT_EQ(readFile(sandrel()), "s");
}

}  // namespace
}  // namespace mervik::test
