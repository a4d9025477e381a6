#include "folder_identity.h"

#include <filesystem>
#include <system_error>

namespace mervik {

bool sameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

FolderClash checkDistinctFolders(const std::string& folder1, const std::string& folder2,
                                 const std::string& outDir) {
    if (sameFolder(outDir, folder1) || sameFolder(outDir, folder2)) {
        return FolderClash::outputIsComparisonFolder;
    }
    if (sameFolder(folder2, folder1)) {
        return FolderClash::folder2IsFolder1;
    }
    return FolderClash::none;
}

}  // namespace mervik
