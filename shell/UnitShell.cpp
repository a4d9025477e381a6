#include "shell/UnitShell.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/dir_search.h"
#include "platform/io_codes.h"
#include "platform/shell_link.h"
#include "platform/special_folders.h"
#include "platform/trash.h"

namespace mervik {

namespace fs = std::filesystem;

int specialFolderCsidl(TSpecialFolder which) {
    static constexpr std::array<int, 13> kCsidl = {
        11,  // CSIDL_STARTMENU
        2,   // CSIDL_PROGRAMS
        17,  // CSIDL_DRIVES
        16,  // CSIDL_DESKTOPDIRECTORY
        5,   // CSIDL_PERSONAL
        26,  // CSIDL_APPDATA
        6,   // CSIDL_FAVORITES
        21,  // CSIDL_TEMPLATES
        0,   // CSIDL_DESKTOP
        38,  // CSIDL_PROGRAM_FILES
        35,  // CSIDL_COMMON_APPDATA
        28,  // CSIDL_LOCAL_APPDATA
        46,  // CSIDL_COMMON_DOCUMENTS
    };
    const auto index = static_cast<std::size_t>(which);
    return index < kCsidl.size() ? kCsidl[index] : -1;
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool CreateFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::create_directory(path, ec) && !ec;
}

std::string GetSpecialFolderPath(TSpecialFolder which) {
    const int csidl = specialFolderCsidl(which);
    return csidl < 0 ? std::string() : specialFolderPath(csidl);
}

namespace {

// Folders without write permission would keep their contents from being
// deleted; the Recycle Bin never asks about such things either.
void makeTreeWritable(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !it->is_symlink(typeError)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, typeError);
        }
    }
}

}  // namespace

void DeleteFolderToRecycleBin(const std::string& folder) {
    if (!FolderExists(folder)) {
        return;
    }
    if (moveToTrash(folder)) {
        return;
    }
    // Where no trash can take it (another volume without a trash folder) the
    // folder is deleted for good, as the Recycle Bin does on such drives:
    // callers rely on the folder being gone.
    makeTreeWritable(folder);
    std::error_code ec;
    fs::remove_all(folder, ec);
}

int CopyFolderTree(const std::string& source, const std::string& target, PathStyle style) {
    DirSearch search(joinPath(source, "*.*", style), style);
    if (!search.isOpen()) {
        return 0;
    }
    int result = 0;
    DirEntry entry;
    while (result == 0 && search.next(entry)) {
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        if (entry.isFolder) {
            const std::string from = joinPath(source, entry.name, style);
            const std::string to = joinPath(target, entry.name, style);
            if (!FolderExists(to) && !CreateFolder(to)) {
                result = 1;
            } else {
                result = CopyFolderTree(from, to, style);
            }
        } else {
            result = CopyOneFile(source, target, entry.name, style);
        }
    }
    return result;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int CopyOneFile(const std::string& source, const std::string& target, const std::string& name,
                PathStyle style) {
    constexpr std::size_t kBlock = 512;
    File in(std::fopen(joinPath(source, name, style).c_str(), "rb"));
    if (!in) {
        return ioCodeFromErrno(errno, false);
    }
    std::FILE* rawOut = std::fopen(joinPath(target, name, style).c_str(), "wb");
    if (rawOut == nullptr) {
        return ioCodeFromErrno(errno, true);
    }
    // Unbuffered, so that a failing write is seen at the block that failed.
    std::setvbuf(rawOut, nullptr, _IONBF, 0);
    File out(rawOut);
    std::array<char, kBlock> block{};
    for (;;) {
        errno = 0;
        const std::size_t n = std::fread(block.data(), 1, block.size(), in.get());
        if (n == 0) {
            if (std::ferror(in.get())) {
                return ioCodeFromErrno(errno, false);
            }
            break;
        }
        errno = 0;
        if (std::fwrite(block.data(), 1, n, out.get()) != n) {
            return ioCodeFromErrno(errno, true);
        }
    }
    errno = 0;
    if (std::fclose(out.release()) != 0) {
        return ioCodeFromErrno(errno, true);
    }
    return 0;
}

std::string ResolveShortcut(const std::string& path, PathStyle style) {
    if (asciiLower(extensionPart(path, style)) != "lnk") {
        return path;
    }
    std::optional<std::string> target = readShellLinkTarget(path);
    return target ? *target : path;
}

std::string GetBaseName(const std::string& path, PathStyle style) {
    return baseNamePart(path, style);
}

void LoadFolderPathLibrary() {}

void FreeFolderPathLibrary() {}

}  // namespace mervik
