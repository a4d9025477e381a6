// Reading Windows shell-link (".lnk") files.
#pragma once

#include <optional>
#include <string>

namespace mervik {

// The target path stored in the shell-link file at path: the network path
// when the link has one, else the local path; an empty string when the link
// names no path. nullopt when the file cannot be read as a shell link.
std::optional<std::string> readShellLinkTarget(const std::string& path);

}  // namespace mervik
