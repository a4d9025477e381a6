#include <gtest/gtest.h>

#include "platform/special_folders.h"
#include "tests/platform/support/temp_root.h"

namespace mervik {
namespace {

TEST(SpecialFolders, LocalAppDataFollowsXdgThenHome) {
    test::TempRoot root;
    const std::string home = root / "home";
    EXPECT_EQ(localAppDataFolder(), home + "/.local/share");

    root.env.set("XDG_DATA_HOME", root / "data/");
    EXPECT_EQ(localAppDataFolder(), root / "data");
    for (const char* ignored : {"", "relative/data"}) {
        root.env.set("XDG_DATA_HOME", ignored);
        EXPECT_EQ(localAppDataFolder(), home + "/.local/share") << ignored;
    }
    root.env.unset("XDG_DATA_HOME");
    EXPECT_EQ(localAppDataFolder(), home + "/.local/share");
    root.env.unset("HOME");
    EXPECT_EQ(localAppDataFolder(), "");
    EXPECT_EQ(specialFolderPath(28), "");
}

TEST(SpecialFolders, UserDirsFileNamesDesktopDocumentsTemplates) {
    test::TempRoot root;
    const std::string home = root / "home";
    EXPECT_EQ(specialFolderPath(16), home + "/Desktop");
    EXPECT_EQ(specialFolderPath(5), home + "/Documents");
    EXPECT_EQ(specialFolderPath(21), home + "/Templates");

    test::writeFile(root / "home/.config/user-dirs.dirs",
                    "# written by xdg-user-dirs-update\n"
                    "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                    "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n"
                    "XDG_TEMPLATESX_DIR=\"$HOME/wrong\"\n");
    EXPECT_EQ(specialFolderPath(16), home + "/Schreibtisch");
    EXPECT_EQ(specialFolderPath(0), home + "/Schreibtisch");
    EXPECT_EQ(specialFolderPath(5), "/srv/docs");
    EXPECT_EQ(specialFolderPath(21), home + "/Templates");
}

TEST(SpecialFolders, RoamingAndFoldersLinuxLacks) {
    test::TempRoot root;
    EXPECT_EQ(specialFolderPath(26), root / "home/.config");
    root.env.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(specialFolderPath(26), root / "home/.config");
    EXPECT_EQ(specialFolderPath(11), root / "home/.local/share/applications");
    for (int csidl : {17, 6, 46, 99, -1}) {
        EXPECT_EQ(specialFolderPath(csidl), "") << csidl;
    }
}

}  // namespace
}  // namespace mervik
