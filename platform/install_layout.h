// Where the sibling programs are installed by default, and how executables
// are named on this platform.
#pragma once

#include <string>

namespace mervik {

struct SiblingInstallPaths {
    std::string sandrelDefault;
    std::string sandrelFallback;
    std::string tolvaneDefault;
    std::string tolvaneFallback;
};

// POSIX: /opt/Corvanta/<Name>/<name>, fall-back /usr/local/Corvanta/<Name>/<name>.
SiblingInstallPaths defaultSiblingInstallPaths();

// Appended to a program's base name to make its file name ("" on POSIX).
std::string executableSuffix();

}  // namespace mervik
