// Whole-file reads and writes on byte-string paths, every descriptor opened
// close-on-exec so that no sibling program we start inherits one.
#pragma once

#include <string>
#include <string_view>

namespace mervik {

// The whole content of the file at path; false when it cannot be read.
bool readFileBytes(const std::string& path, std::string& content);

// Writes content to path, truncating it (or appending to it), creating the
// file when it is missing; false when it cannot be opened or fully written.
bool writeFileBytes(const std::string& path, std::string_view content, bool append = false);

}  // namespace mervik
