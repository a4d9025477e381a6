#include "automation/sibling_runner.h"

#include <thread>

#include "platform/stop_signals.h"

namespace mervik {

void ProcessRunner::run(const std::string& commandLine) {
    runStep(commandLine);
}

SpawnResult ProcessRunner::runStep(const std::string& commandLine) {
    SpawnLimits limits;
    limits.timeoutSeconds = stepLimit();
    limits.stopFd = stopDescriptor();
    return ahead_.run(commandLine, environment(), limits);
}

bool startingAheadPays() {
    return std::thread::hardware_concurrency() > 1;
}

void ProcessRunner::startAhead(const std::string& commandLine) {
    if (!cancelled() && startingAheadPays())
        ahead_.start(commandLine, environment());
}

void AheadStep::start(const std::string& commandLine, const std::vector<std::string>& environment) {
    SpawnResult started;
    program_ = startProgram(commandLine, environment, started);
    // One that cannot be started fails again in its own step, which says why.
    commandLine_ = commandLine;
    environment_ = environment;
}

SpawnResult AheadStep::run(const std::string& commandLine,
                           const std::vector<std::string>& environment, const SpawnLimits& limits) {
    if (program_.running() && commandLine == commandLine_ && environment == environment_)
        return waitForProgram(program_, limits);
    // A step before the one started ahead runs beside it.
    return runAndWait(commandLine, environment, limits);
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
