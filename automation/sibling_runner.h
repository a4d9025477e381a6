#pragma once

#include <string>

#include "platform/process_spawn.h"

namespace mervik {

// Starts one sibling program with its composed command line and returns when it
// has ended. Tests put a scripted runner in its place.
class SiblingRunner {
  public:
    virtual ~SiblingRunner() = default;
    virtual void run(const std::string& commandLine) = 0;
    // As run, telling how the program ended. A runner that cannot tell reports
    // a normal end with status 0.
    virtual SpawnResult runStep(const std::string& commandLine) {
        run(commandLine);
        SpawnResult r;
        r.started = true;
        r.exited = true;
        return r;
    }
};

class ProcessRunner : public SiblingRunner {
  public:
    void run(const std::string& commandLine) override;
    SpawnResult runStep(const std::string& commandLine) override;
};

}  // namespace mervik
