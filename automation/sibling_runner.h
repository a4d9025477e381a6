#pragma once

#include <string>
#include <utility>
#include <vector>

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
    // NAME=value entries the programs get on top of our environment: the
    // pair being compared, which the comparison program names on its result.
    void setEnvironment(std::vector<std::string> environment) {
        environment_ = std::move(environment);
    }
    const std::vector<std::string>& environment() const { return environment_; }

  private:
    std::vector<std::string> environment_;
};

class ProcessRunner : public SiblingRunner {
  public:
    void run(const std::string& commandLine) override;
    SpawnResult runStep(const std::string& commandLine) override;
};

}  // namespace mervik
