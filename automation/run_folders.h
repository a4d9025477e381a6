// Whether the three folders of a run are safe to work with: a folder of the
// run inside the data folder would be emptied with the work folders, a quote
// cannot be carried by the quoted command lines, and results written into an
// input folder would replace inputs and be deleted with them.
#pragma once

#include <optional>
#include <string>

#include "settings/messages.h"

namespace mervik {

struct FolderFault {
    Msg message;
    std::string folder;  // the folder the message is about, as given
};

// The first fault of the folders as they are now, or nullopt. folder1 is the
// folder of comparison file 1 (without the pattern); dataDir is the data folder.
// The start checks, the settings dialog's OK and every pass use this one test.
std::optional<FolderFault> runFolderFault(const std::string& folder1, const std::string& folder2,
                                          const std::string& outDir, const std::string& dataDir);

}  // namespace mervik
