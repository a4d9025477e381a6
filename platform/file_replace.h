// Replacing a whole file so that it is never seen half written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mervik {

enum class ReplaceResult : std::uint8_t {
    ok,
    cannotCreate,  // the new file could not be created beside the old one
    writeFailed,   // writing, syncing or renaming failed; the old file is intact
};

// Writes content to a new file in path's folder, syncs it to the disk and only
// then renames it over path. On any failure the new file is removed and an
// existing file at path keeps its old content. An existing file's permission
// bits are kept.
ReplaceResult replaceFile(const std::string& path, std::string_view content);

}  // namespace mervik
