#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/dir_search.h"
#include "platform/io_codes.h"
#include "shell/UnitShell.h"
#include "tests/platform/support/temp_root.h"

namespace mervik {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

constexpr PathStyle kWin = PathStyle::windows();

TEST(FolderPrimitives, ExistsAndCreateOneLevel) {
    test::TempRoot root;
    writeFile(root / "file", "x");
    EXPECT_TRUE(FolderExists(root.path()));
    EXPECT_FALSE(FolderExists(root / "file"));
    EXPECT_FALSE(FolderExists(root / "none"));
    EXPECT_FALSE(FolderExists(""));

    EXPECT_TRUE(CreateFolder(root / "a"));
    EXPECT_TRUE(FolderExists(root / "a"));
    EXPECT_FALSE(CreateFolder(root / "a"));
    EXPECT_FALSE(CreateFolder(root / "b/c"));
    EXPECT_FALSE(FolderExists(root / "b"));
    EXPECT_FALSE(CreateFolder(root / "file"));
}

TEST(SpecialFolderTable, ThirteenValuesInOrder) {
    const std::vector<int> csidl = {11, 2, 17, 16, 5, 26, 6, 21, 0, 38, 35, 28, 46};
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(specialFolderCsidl(static_cast<TSpecialFolder>(i)), csidl[i]) << i;
    }
    EXPECT_EQ(specialFolderCsidl(static_cast<TSpecialFolder>(13)), -1);
    EXPECT_EQ(GetSpecialFolderPath(static_cast<TSpecialFolder>(13)), "");
}

TEST(SpecialFolderTable, LocalAppDataWithoutTrailingSeparator) {
    test::TempRoot root;
    root.env.set("XDG_DATA_HOME", root / "data/");
    EXPECT_EQ(GetSpecialFolderPath(sfLocalAppData), root / "data");
    EXPECT_EQ(GetSpecialFolderPath(sfAppData), root / "home/.config");
    EXPECT_EQ(GetSpecialFolderPath(sfMyDocuments), root / "home/Documents");
    root.env.unset("XDG_DATA_HOME");
    root.env.unset("HOME");
    EXPECT_EQ(GetSpecialFolderPath(sfLocalAppData), "");
}

TEST(DeleteFolderToRecycleBin, ReadOnlyContentsGoToTheTrash) {
    test::TempRoot root;
    const std::string temp1 = root / "Temp1";
    fs::create_directories(temp1 + "/sub");
    writeFile(temp1 + "/page1.hgl", "IN;");
    writeFile(temp1 + "/sub/page2.hgl", "IN;");
    ::chmod((temp1 + "/page1.hgl").c_str(), 0444);
    ::chmod((temp1 + "/sub/page2.hgl").c_str(), 0444);
    ::chmod((temp1 + "/sub").c_str(), 0555);

    DeleteFolderToRecycleBin(temp1);
    EXPECT_FALSE(fs::exists(temp1));
    const std::string trash = root / "home/.local/share/Trash";
    EXPECT_EQ(readFile(trash + "/files/Temp1/sub/page2.hgl"), "IN;");
    EXPECT_TRUE(fs::exists(trash + "/info/Temp1.trashinfo"));
    // The pipeline re-creates the folder right after.
    EXPECT_TRUE(CreateFolder(temp1));
}

// A name the trash cannot take (not UTF-8) is still removed.
TEST(DeleteFolderToRecycleBin, FolderTheTrashRefusesIsDeleted) {
    test::TempRoot root;
    const std::string odd = root / "Temp\x95\x5C";
    fs::create_directories(odd + "/sub");
    writeFile(odd + "/sub/page.hgl", "IN;");
    ::chmod((odd + "/sub").c_str(), 0555);
    DeleteFolderToRecycleBin(odd);
    EXPECT_FALSE(fs::exists(odd));
}

TEST(DeleteFolderToRecycleBin, MissingFolderOrPlainFileIsLeftAlone) {
    test::TempRoot root;
    writeFile(root / "plain", "x");
    DeleteFolderToRecycleBin(root / "none");
    DeleteFolderToRecycleBin(root / "plain");
    EXPECT_TRUE(fs::exists(root / "plain"));
    EXPECT_FALSE(fs::exists(root / "home/.local/share/Trash"));
}

TEST(CopyFolderTree, CopiesFilesAndNestedEmptyFolders) {
    test::TempRoot root;
    const std::string src = root / "Init";
    const std::string dst = root / "Mervik";
    fs::create_directories(src + "/empty/deeper/deepest");
    fs::create_directories(src + "/full");
    fs::create_directories(dst);
    const std::string big(512 * 3 + 7, 'b');
    writeFile(src + "/Mervik.par", "Version 11.00\r\n");
    writeFile(src + "/zero", "");
    writeFile(src + "/exact", std::string(512, 'e'));
    writeFile(src + "/full/big.bin", big);
    writeFile(src + "/.hidden", "h");
    writeFile(dst + "/Mervik.par", "an older, longer file that must be overwritten");

    EXPECT_EQ(CopyFolderTree(src, dst), 0);
    EXPECT_TRUE(FolderExists(dst + "/empty/deeper/deepest"));
    EXPECT_EQ(readFile(dst + "/Mervik.par"), "Version 11.00\r\n");
    EXPECT_TRUE(fs::exists(dst + "/zero"));
    EXPECT_EQ(fs::file_size(dst + "/zero"), 0u);
    EXPECT_EQ(readFile(dst + "/exact"), std::string(512, 'e'));
    EXPECT_EQ(readFile(dst + "/full/big.bin"), big);
    EXPECT_EQ(readFile(dst + "/.hidden"), "h");
}

TEST(CopyFolderTree, MissingSourceCopiesNothing) {
    test::TempRoot root;
    fs::create_directories(root / "dst");
    EXPECT_EQ(CopyFolderTree(root / "none", root / "dst"), 0);
    EXPECT_TRUE(fs::is_empty(root / "dst"));
}

TEST(CopyFolderTree, SubfolderThatCannotBeMadeGivesOne) {
    test::TempRoot root;
    fs::create_directories(root / "src/sub");
    fs::create_directories(root / "dst");
    writeFile(root / "dst/sub", "a file where the folder should go");
    EXPECT_EQ(CopyFolderTree(root / "src", root / "dst"), 1);
}

// The names of source's entries in the order the copy will meet them.
std::vector<std::string> walkOrder(const std::string& source) {
    std::vector<std::string> names;
    DirSearch search(source + "/*.*");
    DirEntry e;
    while (search.next(e)) {
        if (e.name != "." && e.name != "..") {
            names.push_back(e.name);
        }
    }
    return names;
}

// A file that cannot be opened (here a dangling link) ends the walk with its
// code: what came before it is copied, nothing after it.
TEST(CopyFolderTree, FirstUnreadableFileEndsTheWalk) {
    test::TempRoot root;
    const std::string src = root / "src";
    fs::create_directories(src);
    fs::create_directories(root / "dst");
    for (const char* n : {"a", "b", "c", "d", "e", "f"}) {
        writeFile(src + "/" + n, n);
    }
    std::vector<std::string> order = walkOrder(src);
    const std::string bad = order[2];
    fs::remove(src + "/" + bad);
    fs::create_symlink(root / "nowhere", src + "/" + bad);
    order = walkOrder(src);
    const auto badAt = std::find(order.begin(), order.end(), bad) - order.begin();

    EXPECT_EQ(CopyFolderTree(src, root / "dst"), kIoFileNotFound);
    for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(order.size()); ++i) {
        EXPECT_EQ(fs::exists(root / ("dst/" + order[i])), i < badAt) << order[i];
    }
}

TEST(CopyFolderTree, ReadErrorGivesItsCode) {
    test::TempRoot root;
    fs::create_directories(root / "src");
    fs::create_directories(root / "dst");
    // Opens fine, fails on the first read.
    fs::create_symlink("/proc/self/mem", root / "src/mem");
    EXPECT_EQ(CopyFolderTree(root / "src", root / "dst"), kIoReadError);
}

TEST(CopyFolderTree, UnreadableByPermissionGivesAccessDenied) {
    test::TempRoot root;
    fs::create_directories(root / "src");
    fs::create_directories(root / "dst");
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    writeFile(root / "src/locked", "x");
    ::chmod((root / "src/locked").c_str(), 0);
    EXPECT_EQ(CopyFolderTree(root / "src", root / "dst"), kIoAccessDenied);
}

TEST(CopyOneFile, EmptyFileAndUnwritableTarget) {
    test::TempRoot root;
    fs::create_directories(root / "src");
    writeFile(root / "src/empty", "");
    EXPECT_EQ(CopyOneFile(root / "src", root.path(), "empty"), 0);
    EXPECT_TRUE(fs::exists(root / "empty"));
    EXPECT_EQ(CopyOneFile(root / "src", root / "none", "empty"), kIoFileNotFound);
    EXPECT_EQ(CopyOneFile(root / "src", root.path(), "missing"), kIoFileNotFound);
}

// A minimal shell-link file: header, then a link-info block with a volume id
// and a local base path.
std::string shellLink(const std::string& basePath) {
    std::string out;
    auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    u32(0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    u32(0x02);                     // HasLinkInfo
    u32(0x20);                     // archive
    out += std::string(24, '\0');  // times
    u32(0);                        // file size
    u32(0);                        // icon
    u32(1);                        // show normal
    out += std::string(12, '\0');  // hot key, reserved
    const uint32_t headerSize = 0x1C;
    const uint32_t volumeSize = 17;
    const uint32_t baseOffset = headerSize + volumeSize;
    const uint32_t suffixOffset = baseOffset + static_cast<uint32_t>(basePath.size()) + 1;
    u32(suffixOffset + 1);
    u32(headerSize);
    u32(1);  // VolumeIDAndLocalBasePath
    u32(headerSize);
    u32(baseOffset);
    u32(0);
    u32(suffixOffset);
    u32(volumeSize);
    u32(3);  // fixed drive
    u32(0x12345678);
    u32(0x10);
    out += '\0';
    out += basePath + '\0';
    out += '\0';
    u32(0);  // terminal block
    return out;
}

TEST(ResolveShortcut, ReadsTheTargetOfAShellLink) {
    test::TempRoot root;
    writeFile(root / "plan.lnk", shellLink("C:\\HpglData\\InData1\\plan.pdf"));
    writeFile(root / "PLAN2.LNK", shellLink("D:\\x.hgl"));
    EXPECT_EQ(ResolveShortcut(root / "plan.lnk"), "C:\\HpglData\\InData1\\plan.pdf");
    EXPECT_EQ(ResolveShortcut(root / "PLAN2.LNK"), "D:\\x.hgl");
}

TEST(ResolveShortcut, AnythingElseComesBackUnchanged) {
    test::TempRoot root;
    writeFile(root / "broken.lnk", "not a shell link at all");
    writeFile(root / "short.lnk", shellLink("C:\\a").substr(0, 40));
    writeFile(root / "plan.pdf", shellLink("C:\\a"));
    for (const std::string& p : {root / "broken.lnk", root / "short.lnk", root / "none.lnk",
                                 root / "plan.pdf", root / "lnk", std::string()}) {
        EXPECT_EQ(ResolveShortcut(p), p);
    }
    EXPECT_EQ(ResolveShortcut("C:\\in\\x.LNK", kWin), "C:\\in\\x.LNK");
}

TEST(GetBaseName, BothStyles) {
    EXPECT_EQ(GetBaseName("C:\\in\\plan.a.pdf", kWin), "plan.a");
    EXPECT_EQ(GetBaseName("C:\\in\\plan", kWin), "plan");
    EXPECT_EQ(GetBaseName("C:\\in\\", kWin), "");
    EXPECT_EQ(GetBaseName("C:\\in\\.par", kWin), "");
    EXPECT_EQ(GetBaseName("C:plan.hgl", kWin), "plan");
    EXPECT_EQ(GetBaseName("C:\\in\\\x95\x5C.pdf", kWin), "\x95\x5C");
    EXPECT_EQ(GetBaseName("/in/plan.a.pdf"), "plan.a");
    EXPECT_EQ(GetBaseName("/in.d/plan"), "plan");
    EXPECT_EQ(GetBaseName("/in/"), "");
    EXPECT_EQ(GetBaseName("/in/a\\b.pdf"), "a\\b");
}

}  // namespace
}  // namespace mervik
