#include "automation/sibling_runner.h"

#include "platform/stop_signals.h"

namespace mervik {

void ProcessRunner::run(const std::string& commandLine) {
    runStep(commandLine);
}

SpawnResult ProcessRunner::runStep(const std::string& commandLine) {
    SpawnLimits limits;
    limits.timeoutSeconds = stepLimit();
    limits.stopFd = stopDescriptor();
    return runAndWait(commandLine, environment(), limits);
}

std::string siblingTunables(const char* inherited) {
    const std::string own = inherited != nullptr ? inherited : "";
    const char* const kHugePages = "glibc.malloc.hugetlb=";
    std::string entry = "GLIBC_TUNABLES=" + own;
    if (own.find(kHugePages) == std::string::npos) {
        entry += (own.empty() ? "" : ":") + std::string(kHugePages) + "1";
    }
    return entry;
}

bool ProcessRunner::cancelled() const {
    return stopRequested();
}

}  // namespace mervik
