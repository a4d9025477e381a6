#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

class StartupTest : public CoreFixture {
  protected:
    void SetUp() override {
        CoreFixture::SetUp();
        fs::remove_all(local);
        writeFile(env.initFolder + "/Mervik.par", parFile("Version 11.00", "120"));
        writeFile(env.initFolder + "/sub/extra.txt", "x");
    }
    std::string parFile(const std::string& version, const std::string& wait) {
        return version + "\r\nhgl\r\ntif\r\npdf\r\nemf\r\ndxf\r\ndwg\r\nigs\r\ngbr\r\n" +
               settings.sSandrelExe + "\r\n" + settings.sTolvaneExe + "\r\n" + out + "\r\n" + wait +
               "\r\n" + in1 + "*.pdf\r\n" + in2 + "\r\n4\r\n";
    }
    std::string dataDir() { return local + "/Corvanta/Mervik"; }
};

TEST_F(StartupTest, FirstStartCreatesTheDataFolderFromInit) {
    MervikCore core = makeCore();
    core.FormCreate();
    EXPECT_FALSE(core.FirstPaintDone);
    ASSERT_TRUE(core.FormPaint({}));
    EXPECT_TRUE(core.FirstPaintDone);
    EXPECT_EQ(settings.sDataDir, dataDir());
    EXPECT_EQ(settings.sParFile, dataDir() + "/Mervik.par");
    EXPECT_TRUE(fs::exists(dataDir() + "/sub/extra.txt"));
    EXPECT_EQ(settings.iWaitTime, 120);
    EXPECT_EQ(settings.iOutTyp, 4);
    EXPECT_FALSE(core.StandbyActive);
    EXPECT_TRUE(warnings.empty());
    // A second paint does nothing.
    settings.iWaitTime = 7;
    EXPECT_TRUE(core.FormPaint({"/a"}));
    EXPECT_EQ(settings.iWaitTime, 7);

    // Later starts copy nothing.
    fs::remove(dataDir() + "/sub/extra.txt");
    MervikCore later = makeCore();
    ASSERT_TRUE(later.FormPaint({}));
    EXPECT_FALSE(fs::exists(dataDir() + "/sub/extra.txt"));
}

TEST_F(StartupTest, OutdatedParameterFileIsReseededFromInit) {
    writeFile(dataDir() + "/Mervik.par", parFile("Version 10.00", "60"));
    MervikCore core = makeCore();
    ASSERT_TRUE(core.FormPaint({}));
    EXPECT_EQ(settings.iWaitTime, 120);
    EXPECT_EQ(ParFileStatus, 0);
}

TEST_F(StartupTest, UnloadableParameterFileEndsTheStart) {
    writeFile(env.initFolder + "/Mervik.par", parFile("version 11.00", "60"));
    MervikCore core = makeCore();
    EXPECT_FALSE(core.FormPaint({"/a"}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], dataDir() + "/Mervik.par\rCannot open parameter file!");
    EXPECT_FALSE(core.StandbyActive);

    fs::remove_all(env.initFolder);
    fs::remove_all(local);
    warnings.clear();
    MervikCore missing = makeCore();
    EXPECT_FALSE(missing.FormPaint({}));
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(StartupTest, SwitchesAndPositionalValues) {
    MervikCore core = makeCore();
    core.applyCommandLine({"/b", "/oh", "/x/in/*.pdf", "/x/in2", "/x/out"});
    EXPECT_TRUE(core.AutoStartRequested);
    EXPECT_TRUE(core.MinimizeRequested);
    EXPECT_EQ(settings.iOutTyp, 4);
    EXPECT_EQ(settings.sChgAreaDir1, "/x/in/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, "/x/in2/");
    EXPECT_EQ(settings.sOutDir, "/x/out/");

    const TSettings loaded = settings;
    MervikCore a = makeCore();
    a.applyCommandLine({"/A", "/y/in/*.pdf"});
    EXPECT_TRUE(a.AutoStartRequested);
    EXPECT_FALSE(a.MinimizeRequested);
    EXPECT_EQ(settings.sChgAreaDir1, "/y/in/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, loaded.sChgAreaDir2);

    MervikCore x = makeCore();
    x.applyCommandLine({"x", "/ot"});
    EXPECT_FALSE(x.AutoStartRequested);
    EXPECT_EQ(settings.iOutTyp, 1);

    MervikCore capital = makeCore();
    capital.applyCommandLine({"/ab", "/OP", "/z/in2"});
    EXPECT_FALSE(capital.AutoStartRequested);
    EXPECT_EQ(settings.iOutTyp, 1);
    EXPECT_EQ(settings.sChgAreaDir1, "/OP");
    EXPECT_EQ(settings.sChgAreaDir2, "/z/in2/");

    MervikCore unknown = makeCore();
    unknown.applyCommandLine({"/a", "/ox", "/w/*.pdf", "", "/w/out/"});
    EXPECT_EQ(settings.iOutTyp, 1);
    EXPECT_EQ(settings.sChgAreaDir1, "/w/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, "/w/out/");
}

TEST_F(StartupTest, AutoStartFromTheCommandLineEntersStandby) {
    MervikCore core = makeCore();
    ASSERT_TRUE(core.FormPaint({"/a", "/op"}));
    EXPECT_TRUE(core.StandbyActive);
    EXPECT_TRUE(view.timer);
    EXPECT_EQ(settings.iOutTyp, 0);
    EXPECT_EQ(view.status, "Waiting!  Waiting time=0Hour2Minute0Second");
}

}  // namespace
}  // namespace mervik::test
