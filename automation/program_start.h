#pragma once

#include <string>

#include "platform/instance_lock.h"

namespace mervik {

// Takes the single-instance lock "hMervikInst". False when another running
// instance holds it: the program is to end at once, silently. A lock that
// cannot be made at all lets the program start normally.
bool takeSingleInstanceLock(InstanceLock& lock, const std::string& localAppData);

// The Init folder beside the program's executable.
std::string initFolderOf(const std::string& executableFolder);

}  // namespace mervik
