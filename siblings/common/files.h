// File helpers shared by the converter and the comparison program.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace siblings {

// Matches a file name against a pattern the way the caller's platform
// searches folders: "*" and "?" are the only wildcards, ASCII letters match
// without regard to case, and a pattern ending in ".*" also matches names
// without a dot.
bool matchPattern(const std::string& pattern, const std::string& name);

// The plain files in the folder part of patternPath whose names match its
// file-name part, as full paths sorted by name (byte order).
std::vector<std::string> listPattern(const std::string& patternPath);

// The folder part of path with its trailing slash ("" when there is none),
// and the name after the last slash.
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

// The name without its last extension.
std::string baseNameOf(const std::string& path);

// ASCII letters in lower case; other bytes as they are.
std::string lowerAscii(std::string s);

// The local application-data folder: $XDG_DATA_HOME, else $HOME/.local/share;
// empty when neither is usable.
std::string localAppDataDir();

// How much of a written file a crash of the machine may cost.
// Durable: every byte reaches the disk before the name points at the file,
// which a caller needs before it deletes what the file was made from.
// Scratch: the file is made again from sources that stay where they are
// (page files of a split, result pages that are joined next), so the disk
// flush, a few milliseconds a file, is left to the system; the rename still
// keeps a partial file from ever standing under the final name while the
// system runs.
enum class Durability { Durable, Scratch };

// Writes a file under a temporary name in the target's folder and renames it
// into place only when write() returned true (and, when durable, every byte
// reached the disk), so that a failure never leaves a partial file under the
// final name. On failure the temporary file is removed and error says why.
bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write,
                         std::string& error, Durability durability = Durability::Durable);

// The start of a temporary file's name beside the target: "." and the
// target's name, cut where needed so that the whole temporary name (with a
// number and ".part") still fits a file system's 255 bytes.
std::string tempNamePrefix(const std::string& targetName);

// The temporary name behind writeFileAtomically, for writers that want a
// path of their own to open: commit() makes the bytes durable (unless told
// they are scratch) and renames the file onto the target; without a successful commit the temporary
// file is removed when this goes out of scope.
class TempFile {
  public:
    explicit TempFile(const std::string& target);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return temp_; }
    bool commit(std::string& error, Durability durability = Durability::Durable);

  private:
    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

}  // namespace siblings
