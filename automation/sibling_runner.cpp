#include "automation/sibling_runner.h"

namespace mervik {

void ProcessRunner::run(const std::string& commandLine) {
    runAndWait(commandLine);
}

SpawnResult ProcessRunner::runStep(const std::string& commandLine) {
    return runAndWait(commandLine);
}

}  // namespace mervik
