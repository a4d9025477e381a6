#pragma once

#include <string>

namespace mervik {

// Rewrites the viewer's parameter file from its back-up, setting lines 8 to 10
// for a split (mode 1) or a join (any other mode). Silent on every failure.
void rewriteViewerParFile(const std::string& backup, const std::string& target, int mode);

// Copies a file over another one, replacing it. False when nothing was copied.
bool copyFileReplacing(const std::string& from, const std::string& to);

}  // namespace mervik
