#include <gtest/gtest.h>

#include "platform/path_style.h"

namespace mervik {
namespace {

constexpr PathStyle kWin = PathStyle::windows();
constexpr PathStyle kWinNoDbcs = PathStyle::windows(false);
constexpr PathStyle kPosix = PathStyle::posix();

TEST(PathStyle, WindowsPartsOfAMask) {
    const std::string mask = "C:\\HpglData\\InData1\\*.pdf";
    EXPECT_EQ(folderPart(mask, kWin), "C:\\HpglData\\InData1\\");
    EXPECT_EQ(fileNamePart(mask, kWin), "*.pdf");
    EXPECT_EQ(extensionPart(mask, kWin), "pdf");
    EXPECT_EQ(baseNamePart(mask, kWin), "*");
}

TEST(PathStyle, WindowsDriveColonEndsTheFolder) {
    EXPECT_EQ(folderPart("C:plan.pdf", kWin), "C:");
    EXPECT_EQ(fileNamePart("C:plan.pdf", kWin), "plan.pdf");
    EXPECT_EQ(folderPart("C:", kWin), "C:");
    EXPECT_EQ(fileNamePart("C:", kWin), "");
    // POSIX has no drive colon and treats "\" as an ordinary byte.
    EXPECT_EQ(folderPart("C:plan.pdf", kPosix), "");
    EXPECT_EQ(fileNamePart("/in/a\\b.pdf", kPosix), "a\\b.pdf");
}

TEST(PathStyle, ExtensionComesFromTheNameOnly) {
    EXPECT_EQ(extensionPart("C:\\in.d\\plan", kWin), "");
    EXPECT_EQ(extensionPart("/in.d/plan", kPosix), "");
    EXPECT_EQ(extensionPart("C:\\in\\plan.", kWin), "");
    EXPECT_EQ(extensionPart("C:\\in\\plan.a.PDF", kWin), "PDF");
}

// 0x95 0x5C is one Shift-JIS character whose second byte is "\".
TEST(PathStyle, ShiftJisTrailByteIsNoSeparator) {
    const std::string name = "\x95\x5C";
    const std::string path = "C:\\in\\" + name + ".pdf";
    EXPECT_EQ(folderPart(path, kWin), "C:\\in\\");
    EXPECT_EQ(fileNamePart(path, kWin), name + ".pdf");
    EXPECT_EQ(baseNamePart(path, kWin), name);
    // Without the double-byte rule the same bytes split inside the character.
    EXPECT_EQ(folderPart(path, kWinNoDbcs), "C:\\in\\\x95\\");
    EXPECT_EQ(baseNamePart(path, kWinNoDbcs), "");

    const std::string folder = "C:\\in\\" + name;
    EXPECT_EQ(folderPart(folder, kWin), "C:\\in\\");
    EXPECT_EQ(joinPath(folder, "a.hgl", kWin), folder + "\\a.hgl");
    EXPECT_EQ(joinPath("C:\\in\\", "a.hgl", kWin), "C:\\in\\a.hgl");
}

TEST(PathStyle, LeadByteHidesDotAndColon) {
    EXPECT_EQ(extensionPart("C:\\in\\ab\x81.pdf", kWin), "");
    EXPECT_EQ(extensionPart("C:\\in\\ab\x81.pdf", kWinNoDbcs), "pdf");
    EXPECT_EQ(folderPart("\x81:x", kWin), "");
    // A lead byte at the very end has nothing to hide.
    EXPECT_EQ(fileNamePart("C:\\in\\a\x95", kWin), "a\x95");
    EXPECT_EQ(folderPart("C:\\in\\\x95", kWin), "C:\\in\\");
    // In UTF-8 the same bytes mean nothing special.
    EXPECT_EQ(folderPart("/in/\x95\x5C/a", kPosix), "/in/\x95\x5C/");
}

TEST(PathStyle, AsciiLowerTouchesOnlyAtoZ) {
    EXPECT_EQ(asciiLower("HgL;PRN\xC4\x95\x5A"), "hgl;prn\xC4\x95z");
}

}  // namespace
}  // namespace mervik
