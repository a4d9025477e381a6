#include "automation/sibling_runner.h"

namespace mervik {

void ProcessRunner::run(const std::string& commandLine) {
    runAndWait(commandLine, environment());
}

SpawnResult ProcessRunner::runStep(const std::string& commandLine) {
    return runAndWait(commandLine, environment());
}

}  // namespace mervik
