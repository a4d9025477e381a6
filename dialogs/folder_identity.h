// The settings dialog's checks of the three folders against each other: one
// folder given twice, however spelt, would let a run delete its own inputs
// or its result.
#pragma once

#include <string>

namespace mervik {

// Whether a and b name the same existing folder (same device and inode).
bool sameFolder(const std::string& a, const std::string& b);

inline constexpr const char* kOutputIsComparisonFolder = "Output folder is a comparison folder!";
inline constexpr const char* kFolder2IsFolder1 =
    "Comparison folder 2 is the folder of comparison file 1!";

enum class FolderClash { none, outputIsComparisonFolder, folder2IsFolder1 };

// The first clash in this order: the output folder is one of the comparison
// folders, then folder 2 is folder 1. Folder texts as CheckPathFolder leaves
// them.
FolderClash checkDistinctFolders(const std::string& folder1, const std::string& folder2,
                                 const std::string& outDir);

}  // namespace mervik
