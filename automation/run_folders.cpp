#include "automation/run_folders.h"

#include "platform/file_identity.h"

namespace mervik {

std::optional<FolderFault> runFolderFault(const std::string& folder1, const std::string& folder2,
                                          const std::string& outDir, const std::string& dataDir) {
    for (const std::string* folder : {&folder1, &folder2, &outDir}) {
        if (folder->find('"') != std::string::npos)
            return FolderFault{Msg::folderHasQuote, *folder};
        if (folderWithin(*folder, dataDir))
            return FolderFault{Msg::folderInDataFolder, *folder};
    }
    if (sameFolder(outDir, folder1) || sameFolder(outDir, folder2))
        return FolderFault{Msg::outputIsComparisonFolder, outDir};
    if (sameFolder(folder2, folder1))
        return FolderFault{Msg::folder2IsFolder1, folder2};
    return std::nullopt;
}

}  // namespace mervik
