// Moving a file to another folder, on the same file system or not.
#pragma once

#include <string>

namespace mervik {

// Renames from to to; across file systems copies in fixed-size blocks (so a
// file of any size takes the memory of one block, and holes of a sparse file
// stay holes), then removes from. An existing file at to is never replaced.
// False when the file could not be moved: from is then where it was and no
// partial copy is left at to.
bool moveFileTo(const std::string& from, const std::string& to);

}  // namespace mervik
