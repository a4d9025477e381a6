// Telling whether two paths name the same file or folder, however they are
// spelt (links, "..", other capitals on a case-insensitive volume, a bind
// mount), and whether a file has changed since it was last looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mervik {

// The identity and the state of a file as the file system reports them.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch

    bool sameObject(const FileStamp& o) const { return device == o.device && inode == o.inode; }
    bool operator==(const FileStamp&) const = default;
};

// The stamp of what path names (links followed); nullopt when it cannot be read.
std::optional<FileStamp> fileStamp(const std::string& path);

// True when both paths exist and name the same object (device and inode).
bool sameFileObject(const std::string& a, const std::string& b);

// True when both paths name existing folders and they are one and the same
// folder. A path with a trailing separator names the same folder as without.
// This is the one "same folder" test of the program: the start checks of the
// standby cycle and the settings dialog's OK both use it.
bool sameFolder(const std::string& a, const std::string& b);

// True when folder is base or lies anywhere below it, by device and inode of
// what the paths now name (links followed, so a link into base counts).
bool folderWithin(const std::string& folder, const std::string& base);

// Nanoseconds since the epoch, on the clock that file modification times use.
std::int64_t fileClockNowNs();

}  // namespace mervik
