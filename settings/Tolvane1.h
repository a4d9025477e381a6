// The settings unit: the global settings record, its parameter file, the
// warning hook, and the classification of input files by extension lists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/install_layout.h"
#include "platform/path_style.h"
#include "settings/messages.h"

namespace mervik {

// Texts are byte strings of any length. Field order is the parameter file's.
struct TSettings {
    std::string sHpglFileExt = "hgl";
    std::string sImageFileExt = "tif";
    std::string sPdfFileExt = "pdf";
    std::string sEmfFileExt = "emf";
    std::string sDxfFileExt = "dxf";
    std::string sDwgFileExt = "dwg";
    std::string sIgesFileExt = "igs";
    std::string sGerberFileExt = "gbr";
    std::string sSandrelExe;
    std::string sTolvaneExe;
    std::string sOutDir;
    std::int32_t iWaitTime = 0;  // seconds
    std::string sChgAreaDir1;    // comparison file 1: folder + pattern
    std::string sChgAreaDir2;
    std::uint8_t iOutTyp = 0;  // 0 PDF, 1 TIFF, 2 SXF(.p21), 3 SXF(.sfc), 4 HPGL
    // Fixed; never written to or read from the parameter file.
    std::string sSxfFileExt = "p21;sfc";
    std::string sDataDir;  // no trailing separator
    std::string sParFile;

    bool operator==(const TSettings&) const = default;
};

extern TSettings Settings;
// Result of the last LoadParFile: 0 loaded, 1 cannot open, 2 wrong version.
extern int ParFileStatus;
inline constexpr std::string_view ParFileVersion = kMessages[0];

// Sets sDataDir to localAppData + "/Corvanta/Mervik" (separators of style)
// and sParFile to sDataDir + "/Mervik.par".
void setDataFolder(TSettings& settings, const std::string& localAppData,
                   PathStyle style = PathStyle::native());

// Writes Settings to Settings.sParFile: 16 lines, CR LF each. The old file is
// replaced only once the new one is complete on disk; on any failure it stays
// as it was and "Cannot create parameter file!" is shown.
void SaveParFile();

// Reads Settings.sParFile into Settings; returns 0, 1 or 2 (see
// ParFileStatus) and does not set ParFileStatus itself. Lines 10 and 11 go
// through the executable check (default, one-way fall-back, warning).
int LoadParFile();

// The 16 lines of the parameter file for settings, and their reading into
// settings (status 0 or 2); the file routines above use these.
std::string formatParFile(const TSettings& settings);
int parseParFile(std::string_view content, TSettings& settings);

// The sibling executables' default and fall-back paths used by the
// executable check; the install layout's, replaceable for tests.
using ExecutableDefaults = SiblingInstallPaths;
const ExecutableDefaults& executableDefaults();
void setExecutableDefaults(const ExecutableDefaults& defaults);
void resetExecutableDefaults();

// Reduces path to its folder part (with the trailing separator; a bare drive
// "C:" gets a "\" appended) and returns whether that folder exists.
bool CheckPathFolder(std::string& path, PathStyle style = PathStyle::native());

// For the folder settings (comparison folder 2, output folder): a text that
// names an existing folder, with or without the trailing separator, means
// that folder and gets the separator; any other text is reduced as
// CheckPathFolder does. Returns whether the folder exists.
bool CheckFolderSetting(std::string& path, PathStyle style = PathStyle::native());

// The program's one warning box. A CR in text starts a new line. Front ends
// install their own hook; by default the text goes to standard error.
void ShowWarning(const std::string& text);
using WarningHook = std::function<void(const std::string&)>;
// An empty hook restores the default.
void setWarningHook(WarningHook hook);

// Input file types, decided by extension alone.
enum TInputFileType : std::uint8_t {
    ftUnknown = 0,
    ftHpgl,
    ftImage,
    ftPdf,
    ftEmf,
    ftDxf,
    ftDwg,
    ftIges,
    ftGerber,
    ftSxf,
    ftComment,
};

// The type of path (a file path or a wildcard mask) by the lists of Settings,
// tested in the order HPGL, image, PDF, EMF, DXF, DWG, IGES, GERBER, SXF; an
// unmatched "cmt" is a comment file.
TInputFileType GetInputFileType(const std::string& path, PathStyle style = PathStyle::native());
TInputFileType GetInputFileType(const std::string& path, const TSettings& settings,
                                PathStyle style = PathStyle::native());

// Whether list (entries separated by ";") accepts ext (lower case, no dot).
// An empty list, or one that starts or ends with ";" or holds ";;", accepts
// the empty extension. The list is lower-cased (A-Z) before comparing.
bool IsExtInList(const std::string& ext, const std::string& list);

// The 1-based position in list at which the first entry equal to ext begins,
// or 0. Compares bytes exactly.
int FindExtInList(const std::string& ext, const std::string& list);

// The entry that begins at position (1-based); moves position past it and
// past its ";". Empty when position is beyond the list.
std::string GetNextListEntry(const std::string& list, int& position);

}  // namespace mervik
