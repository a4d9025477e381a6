#include <filesystem>

#include "tests/settings/settings_fixture.h"

namespace mervik {
namespace {

constexpr PathStyle kWin = PathStyle::windows();

class CheckPathFolderTest : public test::SettingsTest {};

// On Linux a Windows path names nothing, so these show the reduction alone.
TEST_F(CheckPathFolderTest, WindowsReduction) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\HpglData\\InData1\\*.pdf", "C:\\HpglData\\InData1\\"},
        {"C:\\HpglData\\InData2\\", "C:\\HpglData\\InData2\\"},
        {"C:\\HpglData\\InData2", "C:\\HpglData\\"},
        {"C:\\in\\*.pdf", "C:\\in\\"},
        {"C:", "C:\\"},
        {"C:*.pdf", "C:\\"},
        {"plan.pdf", ""},
        {"", ""},
        {"C:\\in\\\x95\x5C\\*.pdf", "C:\\in\\\x95\x5C\\"},
        {"C:\\in\\\x95\x5C", "C:\\in\\"},
    };
    for (const auto& [in, out] : cases) {
        std::string path = in;
        EXPECT_FALSE(CheckPathFolder(path, kWin)) << in;
        EXPECT_EQ(path, out) << in;
    }
}

// A folder literally named "C:\in" in the current folder shows which folder
// the Windows reduction tests: the folder part without its backslash.
TEST_F(CheckPathFolderTest, WindowsFolderTestedWithoutTrailingBackslash) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(root.path());
    std::filesystem::create_directory("C:\\in");
    std::string mask = "C:\\in\\*.pdf";
    const bool maskFolder = CheckPathFolder(mask, kWin);
    std::string noSlash = "C:\\in";
    const bool parentBeforeDrive = CheckPathFolder(noSlash, kWin);
    std::filesystem::create_directory("C:");
    std::string drive = "C:plan.pdf";
    const bool driveFolder = CheckPathFolder(drive, kWin);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(maskFolder);
    EXPECT_EQ(mask, "C:\\in\\");
    EXPECT_FALSE(parentBeforeDrive);  // tests "C:", not "C:\\in"
    EXPECT_EQ(noSlash, "C:\\");
    EXPECT_TRUE(driveFolder);
    EXPECT_EQ(drive, "C:\\");
}

TEST_F(CheckPathFolderTest, AFolderSettingNamingAFolderIsThatFolder) {
    const std::string in = root / "HpglData/InData2";
    std::filesystem::create_directories(in);
    test::writeFile(root / "HpglData/file", "");
    struct Case {
        std::string text, after;
        bool exists;
    };
    const Case cases[] = {
        {in, in + "/", true},
        {in + "/", in + "/", true},
        {root / "HpglData/file", root / "HpglData/", true},  // no folder: reduced
        {root / "HpglData/InData9", root / "HpglData/", true},
        {root / "HpglData/InData9/x", root / "HpglData/InData9/", false},
        {"/", "/", true},
        {"", "", false},
        {"HpglData", "", false},  // a bare name never means the current folder's
    };
    for (const Case& c : cases) {
        std::string path = c.text;
        EXPECT_EQ(CheckFolderSetting(path), c.exists) << c.text;
        EXPECT_EQ(path, c.after) << c.text;
    }
}

TEST_F(CheckPathFolderTest, RealFoldersInPosixStyle) {
    const std::string in = root / "HpglData/InData1";
    std::filesystem::create_directories(in);
    test::writeFile(root / "HpglData/file", "");

    std::string mask = in + "/*.pdf";
    EXPECT_TRUE(CheckPathFolder(mask));
    EXPECT_EQ(mask, in + "/");
    EXPECT_TRUE(CheckPathFolder(mask));
    EXPECT_EQ(mask, in + "/");

    std::string bare = in;
    EXPECT_TRUE(CheckPathFolder(bare));
    EXPECT_EQ(bare, root / "HpglData/");

    std::string missing = root / "HpglData/InData9/*.pdf";
    EXPECT_FALSE(CheckPathFolder(missing));
    EXPECT_EQ(missing, root / "HpglData/InData9/");

    std::string file = root / "HpglData/file/";
    EXPECT_FALSE(CheckPathFolder(file));

    std::string top = "/plan.pdf";
    EXPECT_TRUE(CheckPathFolder(top));
    EXPECT_EQ(top, "/");

    std::string longPath = in + "/" + std::string(5000, 'x') + "/*.pdf";
    EXPECT_FALSE(CheckPathFolder(longPath));
    EXPECT_EQ(longPath.size(), in.size() + 5002);
}

}  // namespace
}  // namespace mervik
