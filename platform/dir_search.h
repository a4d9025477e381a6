// A folder search by pattern, like FindFirstFile/FindNextFile.
#pragma once

#include <memory>
#include <string>

#include "platform/path_style.h"

namespace mervik {

struct DirEntry {
    std::string name;
    bool isFolder = false;  // symbolic links count as what they point to
};

// Whether name matches pattern: "*" (any run) and "?" (one byte) are the only
// wildcards, every other byte ("[" and "]" too) stands for itself, ASCII
// letters match without regard to case, and a pattern ending in ".*" also
// matches names without a dot (so "*.*" matches every name).
bool matchesPattern(const std::string& pattern, const std::string& name);

// Opened on a path whose last component is a pattern (folder + "*.*").
// Yields the matching entries in the order the folder read gives them.
// "." and ".." are yielded like any other entry when the pattern matches
// them, as the Windows search does; callers skip them.
class DirSearch {
  public:
    explicit DirSearch(const std::string& patternPath, PathStyle style = PathStyle::native());
    ~DirSearch();
    DirSearch(DirSearch&&) noexcept;
    DirSearch& operator=(DirSearch&&) noexcept;
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // False when the folder could not be opened.
    bool isOpen() const;
    // The next matching entry; false when there is none.
    bool next(DirEntry& entry);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace mervik
