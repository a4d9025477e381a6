#include "automation/sibling_runner.h"

#include "platform/process_spawn.h"

namespace mervik {

void ProcessRunner::run(const std::string& commandLine) {
    // A program that cannot be started is not reported: the pipeline's counts see it.
    spawnAndWait(commandLine);
}

}  // namespace mervik
