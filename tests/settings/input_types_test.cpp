#include <gtest/gtest.h>

#include "settings/Tolvane1.h"

namespace mervik {
namespace {

constexpr PathStyle kWin = PathStyle::windows();

TEST(GetInputFileType, DefaultListsWindowsExamples) {
    const TSettings s;
    const std::pair<const char*, TInputFileType> cases[] = {
        {"C:\\in\\*.pdf", ftPdf},
        {"C:\\in\\*.TIF", ftImage},
        {"C:\\in\\*.p21", ftSxf},
        {"C:\\in\\*.SFC", ftSxf},
        {"C:\\in\\*.hgl", ftHpgl},
        {"C:\\in\\*.dxf", ftDxf},
        {"C:\\in\\a.cmt", ftComment},
        {"C:\\in\\*.*", ftUnknown},
        {"C:\\in\\a.txt", ftUnknown},
        {"C:\\in.d\\plan", ftUnknown},
        {"C:\\HpglData\\InData1\\*.pdf", ftPdf},
        {"C:plan.emf", ftEmf},
        {"C:\\in\\a.DWG", ftDwg},
        {"C:\\in\\a.igs", ftIges},
        {"C:\\in\\a.Gbr", ftGerber},
        {"C:\\in\\a.CMT", ftComment},
    };
    for (const auto& [path, type] : cases) {
        EXPECT_EQ(GetInputFileType(path, s, kWin), type) << path;
    }
}

TEST(GetInputFileType, PosixPathsAndTheGlobalRecord) {
    Settings = TSettings{};
    EXPECT_EQ(GetInputFileType("/home/u/in/*.pdf"), ftPdf);
    EXPECT_EQ(GetInputFileType("/home/u/in.d/plan"), ftUnknown);
    EXPECT_EQ(GetInputFileType("/home/u/in\\a.hgl"), ftHpgl);
    Settings.sPdfFileExt = "xyz";
    EXPECT_EQ(GetInputFileType("/in/a.XYZ"), ftPdf);
    Settings = TSettings{};
}

TEST(GetInputFileType, ShiftJisTrailBytes) {
    const TSettings s;
    // The trail byte 0x5C does not end the folder part, so the dot is seen.
    EXPECT_EQ(GetInputFileType("C:\\in\\\x95\x5C.pdf", s, kWin), ftPdf);
    // A lead byte hides the dot after it: no extension.
    EXPECT_EQ(GetInputFileType("C:\\in\\a\x81.pdf", s, kWin), ftUnknown);
    EXPECT_EQ(GetInputFileType("C:\\in\\a\x81.pdf", s, PathStyle::windows(false)), ftPdf);
}

TEST(GetInputFileType, ListOrderAndEmptyEntries) {
    TSettings s;
    s.sHpglFileExt = "hgl;;hpg";
    EXPECT_EQ(GetInputFileType("C:\\in\\plan", s, kWin), ftHpgl);
    EXPECT_EQ(GetInputFileType("C:\\in\\plan.", s, kWin), ftHpgl);
    EXPECT_EQ(GetInputFileType("C:\\in\\plan.HPG", s, kWin), ftHpgl);

    s = TSettings{};
    s.sImageFileExt = "tif;pdf";
    EXPECT_EQ(GetInputFileType("C:\\in\\*.pdf", s, kWin), ftImage);

    s = TSettings{};
    s.sGerberFileExt = "gbr;cmt";
    EXPECT_EQ(GetInputFileType("C:\\in\\a.cmt", s, kWin), ftGerber);

    s = TSettings{};
    s.sHpglFileExt = "";
    EXPECT_EQ(GetInputFileType("C:\\in\\plan", s, kWin), ftHpgl);
    EXPECT_EQ(GetInputFileType("C:\\in\\plan.hgl", s, kWin), ftUnknown);
    s.sDxfFileExt = ";dxf";
    EXPECT_EQ(GetInputFileType("C:\\in\\plan", s, kWin), ftHpgl);
    s.sHpglFileExt = "hgl";
    EXPECT_EQ(GetInputFileType("C:\\in\\plan", s, kWin), ftDxf);

    s = TSettings{};
    s.sHpglFileExt = "Hgl; PRN";
    EXPECT_EQ(GetInputFileType("C:\\in\\a.hgl", s, kWin), ftHpgl);
    EXPECT_EQ(GetInputFileType("C:\\in\\a.prn", s, kWin), ftUnknown);
}

TEST(ExtensionLists, EmptyEntryRule) {
    EXPECT_TRUE(IsExtInList("", ""));
    EXPECT_TRUE(IsExtInList("", ";hgl"));
    EXPECT_TRUE(IsExtInList("", "hgl;"));
    EXPECT_TRUE(IsExtInList("", "hgl;;hpg"));
    EXPECT_FALSE(IsExtInList("", "hgl;hpg"));
    EXPECT_FALSE(IsExtInList("hgl", ""));
    EXPECT_TRUE(IsExtInList("hpg", "HGL;HPG"));
    // Only A-Z are folded, byte by byte.
    EXPECT_FALSE(IsExtInList("\xe4", "\xc4"));
    EXPECT_TRUE(IsExtInList("a\xc4", "A\xc4"));
    EXPECT_FALSE(IsExtInList("prn", "hgl; prn"));
    EXPECT_TRUE(IsExtInList(" prn", "hgl; prn"));
}

TEST(ExtensionLists, PositionsOfEntries) {
    EXPECT_EQ(FindExtInList("hgl", "hgl;prn"), 1);
    EXPECT_EQ(FindExtInList("prn", "hgl;prn"), 5);
    EXPECT_EQ(FindExtInList("", "hgl;;hpg"), 5);
    EXPECT_EQ(FindExtInList("hpg", "hgl;;hpg"), 6);
    EXPECT_EQ(FindExtInList("", ";hgl"), 1);
    // A final ";" makes no trailing empty entry.
    EXPECT_EQ(FindExtInList("", "hgl;"), 0);
    EXPECT_EQ(FindExtInList("HGL", "hgl"), 0);
    EXPECT_EQ(FindExtInList("hg", "hgl"), 0);
    EXPECT_EQ(FindExtInList("x", ""), 0);
}

TEST(ExtensionLists, NextEntryWalksTheList) {
    const std::string list = "hgl;;hpg";
    int pos = 1;
    EXPECT_EQ(GetNextListEntry(list, pos), "hgl");
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(GetNextListEntry(list, pos), "");
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(GetNextListEntry(list, pos), "hpg");
    EXPECT_EQ(pos, 9);
    EXPECT_EQ(GetNextListEntry(list, pos), "");
    EXPECT_EQ(pos, 9);

    int bad = 0;
    EXPECT_EQ(GetNextListEntry(list, bad), "hgl");
    bad = -100;
    EXPECT_EQ(GetNextListEntry("a", bad), "a");
    int beyond = 1000;
    EXPECT_EQ(GetNextListEntry(list, beyond), "");
    EXPECT_EQ(beyond, 1000);
}

}  // namespace
}  // namespace mervik
