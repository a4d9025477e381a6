#include "automation/program_start.h"

#include "automation/run_texts.h"
#include "platform/path_style.h"
#include "settings/messages.h"

namespace mervik {

bool takeSingleInstanceLock(InstanceLock& lock, const std::string& localAppData) {
    const std::string dataFolder =
        joinPath(joinPath(localAppData, std::string(kMakerFolder)), std::string(kProgramFolder));
    return lock.acquire(instanceLockPath(std::string(kInstanceName), dataFolder)) !=
           InstanceLockResult::heldByOther;
}

std::string initFolderOf(const std::string& executableFolder) {
    return joinPath(executableFolder, std::string(runtext::kInitFolder));
}

}  // namespace mervik
