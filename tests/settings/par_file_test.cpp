#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/settings/settings_fixture.h"

namespace mervik {
namespace {

using test::readFile;
using test::writeFile;

std::string lines(std::initializer_list<std::string> all, const std::string& end = "\r\n") {
    std::string out;
    for (const auto& l : all) {
        out += l + end;
    }
    return out;
}

class ParFile : public test::SettingsTest {
  protected:
    // A complete file whose executables exist, with the given number lines.
    std::string validFile(const std::string& wait = "60", const std::string& outTyp = "1") {
        return lines({"Version 11.00", "hgl", "tif", "pdf", "emf", "dxf", "dwg", "igs", "gbr",
                      sandrel(), tolvane(), "/out/", wait, "/in1/*.pdf", "/in2/", outTyp});
    }
    int load(const std::string& content) {
        writeFile(Settings.sParFile, content);
        return LoadParFile();
    }
};

TEST_F(ParFile, StartValuesWriteTheKnownSixteenLines) {
    SaveParFile();
    EXPECT_EQ(readFile(Settings.sParFile),
              "Version 11.00\r\nhgl\r\ntif\r\npdf\r\nemf\r\ndxf\r\ndwg\r\nigs\r\ngbr\r\n"
              "\r\n\r\n\r\n0\r\n\r\n\r\n0\r\n");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ParFile, RoundTripGivesTheSameRecord) {
    Settings.sHpglFileExt = "Hgl; PRN;;hpg";
    Settings.sImageFileExt = "tif;png";
    Settings.sGerberFileExt = "";
    Settings.sSandrelExe = sandrel();
    Settings.sTolvaneExe = tolvane();
    Settings.sOutDir = "/out put/\x95\x5C/";
    Settings.iWaitTime = -2147483647 - 1;
    Settings.sChgAreaDir1 = "/in1/*.PDF";
    Settings.sChgAreaDir2 = std::string(100000, 'd') + "/";
    Settings.iOutTyp = 255;
    const TSettings saved = Settings;
    SaveParFile();

    const std::string file = readFile(Settings.sParFile);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 16);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\r'), 16);
    EXPECT_EQ(file.substr(file.size() - 7), "\r\n255\r\n");
    EXPECT_EQ(file.find("p21"), std::string::npos);

    Settings = TSettings{};
    Settings.sParFile = saved.sParFile;
    Settings.sDataDir = saved.sDataDir;
    EXPECT_EQ(LoadParFile(), 0);
    EXPECT_EQ(Settings, saved);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ParFile, WrongVersionLineLeavesRecordUntouched) {
    const std::string rest = validFile().substr(validFile().find("\r\n"));
    for (const char* version : {"version 11.00", "Version 11.00 ", "Version 10.00", ""}) {
        const TSettings before = Settings;
        EXPECT_EQ(load(version + rest), 2) << version;
        EXPECT_EQ(Settings, before);
    }
    const TSettings before = Settings;
    EXPECT_EQ(load(""), 2);
    EXPECT_EQ(Settings, before);
}

TEST_F(ParFile, UnopenableFileGivesOne) {
    const TSettings before = Settings;
    EXPECT_EQ(LoadParFile(), 1);
    std::filesystem::create_directory(Settings.sParFile);
    EXPECT_EQ(LoadParFile(), 1);
    EXPECT_EQ(Settings, before);
}

TEST_F(ParFile, NumberLines) {
    struct Case {
        std::string wait, outTyp;
        int32_t iWaitTime;
        uint8_t iOutTyp;
    };
    const Case cases[] = {
        {"120", "4", 120, 4},
        {"  2 minutes", "\t3\x01junk", 2, 3},
        {"-7", "260", -7, 4},  // the low 8 bits
        {"", "", 0, 0},
        {"abc", "4x", 0, 0},
        {"2147483647", "-1", 2147483647, 255},
        // A waiting time beyond 32 bits is the longest one, not none; the
        // output type keeps reading such a number as 0.
        {"2147483648", "99999999999999999999", 2147483647, 0},
        {"-99999999999", "0", -2147483648, 0},
        {"-2147483648", "0", -2147483648, 0},
        {"+5", "-", 5, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(load(validFile(c.wait, c.outTyp)), 0);
        EXPECT_EQ(Settings.iWaitTime, c.iWaitTime) << c.wait;
        EXPECT_EQ(Settings.iOutTyp, c.iOutTyp) << c.outTyp;
        // An empty or wordless number line still takes only its own line.
        EXPECT_EQ(Settings.sChgAreaDir1, "/in1/*.pdf");
    }
}

TEST_F(ParFile, TruncatedFileReadsMissingLinesAsEmpty) {
    ASSERT_EQ(load(lines({"Version 11.00", "HGL", "tif"})), 0);
    EXPECT_EQ(Settings.sHpglFileExt, "HGL");
    EXPECT_EQ(Settings.sImageFileExt, "tif");
    EXPECT_EQ(Settings.sPdfFileExt, "");
    EXPECT_EQ(Settings.sGerberFileExt, "");
    EXPECT_EQ(Settings.sSxfFileExt, "p21;sfc");
    EXPECT_EQ(Settings.iWaitTime, 0);
    EXPECT_EQ(Settings.sChgAreaDir2, "");
    EXPECT_EQ(warnings, (std::vector<std::string>{"\rSandrel program file does not exist!",
                                                  "\rTolvane program file does not exist!"}));

    // Cut in the middle of a line, without its CR.
    const std::string full = validFile();
    ASSERT_EQ(load(full.substr(0, full.find("/in1/") + 3)), 0);
    EXPECT_EQ(Settings.sChgAreaDir1, "/in");
    EXPECT_EQ(Settings.iOutTyp, 0);
}

TEST_F(ParFile, LineEndsAndOddBytes) {
    // Old-style CR-only line ends read like CR LF, and so does a lone LF.
    ASSERT_EQ(load(lines({"Version 11.00", "hgl\nx", "tif"}, "\r")), 0);
    EXPECT_EQ(Settings.sHpglFileExt, "hgl");
    EXPECT_EQ(Settings.sImageFileExt, "x");

    std::string binary = lines({"Version 11.00", std::string("a\0b\xff\x7f", 5)});
    ASSERT_EQ(load(binary), 0);
    EXPECT_EQ(Settings.sHpglFileExt, std::string("a\0b\xff\x7f", 5));

    // No line end at all.
    EXPECT_EQ(load("Version 11.00"), 0);
    EXPECT_EQ(Settings.sHpglFileExt, "");
    // CR LF LF: the second LF ends an empty line.
    ASSERT_EQ(load("Version 11.00\r\n\nhgl\r\n"), 0);
    EXPECT_EQ(Settings.sHpglFileExt, "");
    EXPECT_EQ(Settings.sImageFileExt, "hgl");
}

TEST_F(ParFile, HandEditedFileWithLfOrMixedLineEndsLoadsEveryLine) {
    // As an editor that writes LF leaves it, and one that mixes line ends.
    const std::string crlfFile = validFile("600", "4");
    for (const std::string& sep : {std::string("\n"), std::string("\r")}) {
        std::string edited;
        for (char c : crlfFile) {
            if (c != '\r')
                edited += c == '\n' ? sep : std::string(1, c);
        }
        ASSERT_EQ(load(edited), 0) << "separator " << int(sep[0]);
        EXPECT_EQ(Settings.iWaitTime, 600);
        EXPECT_EQ(Settings.sChgAreaDir1, "/in1/*.pdf");
        EXPECT_EQ(Settings.iOutTyp, 4);
    }
    std::string mixed = crlfFile;
    mixed.replace(mixed.find("\r\n"), 2, "\n");
    mixed.replace(mixed.rfind("\r\n"), 2, "\r");
    ASSERT_EQ(load(mixed), 0);
    EXPECT_EQ(Settings.iWaitTime, 600);
    EXPECT_EQ(Settings.iOutTyp, 4);
}

TEST_F(ParFile, OverlongLinesAreKeptWhole) {
    const std::string longPath(1 << 20, 'p');
    std::string content = validFile();
    content.replace(content.find("/out/"), 5, longPath);
    ASSERT_EQ(load(content), 0);
    EXPECT_EQ(Settings.sOutDir, longPath);
    EXPECT_EQ(Settings.sChgAreaDir1, "/in1/*.pdf");
}

TEST_F(ParFile, ExecutableCheck) {
    const std::string def = root / "opt/Sandrel/sandrel";
    const std::string fallback = root / "local/Sandrel/sandrel";
    const std::string tdef = root / "opt/Tolvane/tolvane";
    setExecutableDefaults({def, fallback, tdef, root / "local/Tolvane/tolvane"});
    std::filesystem::create_directories(root / "local/Sandrel");
    writeFile(fallback, "");

    auto withExes = [&](const std::string& s, const std::string& t) {
        std::string c = validFile();
        c.replace(c.find(sandrel()), sandrel().size(), s);
        c.replace(c.find(tolvane()), tolvane().size(), t);
        return c;
    };
    // The exact default, missing, with the fall-back present: silently moved.
    ASSERT_EQ(load(withExes(def, tolvane())), 0);
    EXPECT_EQ(Settings.sSandrelExe, fallback);
    EXPECT_TRUE(warnings.empty());

    // Other capitals are not the default; a folder is no program file; the
    // fall-back is never swapped for the default; a missing Tolvane warns.
    std::string upper = def;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::filesystem::create_directories(tdef);
    std::filesystem::remove(fallback);
    ASSERT_EQ(load(withExes(upper, tdef)), 0);
    EXPECT_EQ(Settings.sSandrelExe, upper);
    EXPECT_EQ(Settings.sTolvaneExe, tdef);
    writeFile(def, "");
    ASSERT_EQ(load(withExes(fallback, tolvane())), 0);
    EXPECT_EQ(Settings.sSandrelExe, fallback);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{upper + "\rSandrel program file does not exist!",
                                        tdef + "\rTolvane program file does not exist!",
                                        fallback + "\rSandrel program file does not exist!"}));
}

TEST_F(ParFile, UncreatableFileWarnsAndKeepsNothingHalfWritten) {
    Settings.sParFile = root / "missing/Mervik.par";
    SaveParFile();
    EXPECT_EQ(warnings, std::vector<std::string>{"Cannot create parameter file!"});
    EXPECT_FALSE(std::filesystem::exists(root / "missing"));
}

// The old file survives a write that fails half-way (a file-size limit stands
// in for a full disk); the child reports whether the warning came.
TEST_F(ParFile, FailedSaveKeepsTheOldFile) {
    const std::string old = validFile();
    writeFile(Settings.sParFile, old);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Settings.sOutDir = std::string(50000, 'o');
        SaveParFile();
        ::_exit(warnings == std::vector<std::string>{"Cannot create parameter file!"} ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(Settings.sParFile), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Settings.sDataDir),
                            std::filesystem::directory_iterator()),
              1);
}

// Saving what the file already holds leaves it alone (no new file put in
// its place); anything else is written, a file of the same length included.
TEST_F(ParFile, SavingWhatTheFileHoldsLeavesItAlone) {
    writeFile(Settings.sParFile, validFile());
    ASSERT_EQ(LoadParFile(), 0);
    const auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(Settings.sParFile.c_str(), &st), 0);
        return st.st_ino;
    };
    const auto before = inode();
    SaveParFile();
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(readFile(Settings.sParFile), validFile());
    Settings.iWaitTime = 61;
    SaveParFile();
    EXPECT_NE(inode(), before);
    EXPECT_EQ(readFile(Settings.sParFile), validFile("61"));
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ParFile, SaveAfterFailedLoadWritesStartValues) {
    ASSERT_EQ(LoadParFile(), 1);
    SaveParFile();
    EXPECT_EQ(load(readFile(Settings.sParFile)), 0);
    EXPECT_EQ(Settings.sHpglFileExt, "hgl");
    EXPECT_EQ(Settings.sSandrelExe, "");
}

TEST(ShowWarning, DefaultWritesLinesToStandardError) {
    setWarningHook({});
    ::testing::internal::CaptureStderr();
    ShowWarning("/opt/x\rSandrel program file does not exist!");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "/opt/x\nSandrel program file does not exist!\n");
}

TEST(DataFolder, TailsInBothStyles) {
    TSettings s;
    setDataFolder(s, "/home/u/.local/share", PathStyle::posix());
    EXPECT_EQ(s.sDataDir, "/home/u/.local/share/Corvanta/Mervik");
    EXPECT_EQ(s.sParFile, "/home/u/.local/share/Corvanta/Mervik/Mervik.par");
    setDataFolder(s, "C:\\Users\\u\\AppData\\Local", PathStyle::windows());
    EXPECT_EQ(s.sParFile, "C:\\Users\\u\\AppData\\Local\\Corvanta\\Mervik\\Mervik.par");
}

}  // namespace
}  // namespace mervik
