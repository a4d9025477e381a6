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
    std::string entry = "GLIBC_TUNABLES=" + own;
    bool first = own.empty();
    for (const auto& [name, value] :
         {std::pair{"glibc.malloc.hugetlb=", "1"}, std::pair{"glibc.malloc.top_pad=", "8388608"}}) {
        if (own.find(name) == std::string::npos) {
            entry += (first ? "" : ":") + std::string(name) + value;
            first = false;
        }
    }
    return entry;
}

bool ProcessRunner::cancelled() const {
    return stopRequested();
}

}  // namespace mervik
