// File and folder utilities: special folders, folder primitives, deletion
// to the trash, recursive copy, shell shortcuts, base names.
#pragma once

#include <cstdint>
#include <string>

#include "platform/path_style.h"

namespace mervik {

enum TSpecialFolder : std::uint8_t {
    sfStartMenu,
    sfPrograms,
    sfMyComputer,
    sfDesktopFolder,
    sfMyDocuments,
    sfAppData,
    sfFavorites,
    sfTemplates,
    sfDesktop,
    sfProgramFiles,
    sfCommonAppData,
    sfLocalAppData,
    sfCommonDocuments,
};

// The Windows folder identifier (CSIDL) of which, or -1 outside the table.
int specialFolderCsidl(TSpecialFolder which);

// True only for an existing folder (a plain file is false).
bool FolderExists(const std::string& path);

// Creates exactly one folder level; false when it exists already or its
// parent is missing.
bool CreateFolder(const std::string& path);

// The path of the special folder without a trailing separator, or empty.
std::string GetSpecialFolderPath(TSpecialFolder which);

// Moves the folder with everything in it to the trash, silently; a missing
// folder is skipped. When the trash cannot take it, the folder is deleted.
void DeleteFolderToRecycleBin(const std::string& folder);

// Copies the contents of source into the existing folder target, recursively,
// in the order the folder read gives the entries. Neither path ends in a
// separator. 0 on success; the first failure ends the walk and is returned:
// the I/O code of CopyOneFile (io_codes.h), or 1 when a target subfolder can
// neither be found nor created. A missing source copies nothing and gives 0.
int CopyFolderTree(const std::string& source, const std::string& target,
                   PathStyle style = PathStyle::native());

// Copies source/name to target/name in 512-byte blocks, overwriting; time
// stamps and attributes are not copied. 0 or the first I/O code.
int CopyOneFile(const std::string& source, const std::string& target, const std::string& name,
                PathStyle style = PathStyle::native());

// The target of a ".lnk" shell link (extension in any case); path itself when
// it is no ".lnk" or cannot be read as a shell link; empty when the link
// names no path.
std::string ResolveShortcut(const std::string& path, PathStyle style = PathStyle::native());

// The file name without folder and without extension: C:\in\plan.a.pdf gives
// plan.a, ".par" and "C:\in\" give "".
std::string GetBaseName(const std::string& path, PathStyle style = PathStyle::native());

// Start-up and shut-down of the unit. The Windows build loads the optional
// folder-path library here; POSIX has no such library, so these do nothing.
void LoadFolderPathLibrary();
void FreeFolderPathLibrary();

}  // namespace mervik
