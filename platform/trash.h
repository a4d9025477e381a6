// Moving files and folders to the desktop's trash (the Recycle Bin on
// Windows), silently, read-only contents included.
#pragma once

#include <string>

namespace mervik {

// True when path (a file or a whole folder) is now in the trash. Paths go
// through Qt as UTF-8; a name that is not valid UTF-8 cannot be trashed.
bool moveToTrash(const std::string& path);

}  // namespace mervik
