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

bool ProcessRunner::cancelled() const {
    return stopRequested();
}

}  // namespace mervik
