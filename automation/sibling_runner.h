#pragma once

#include <string>

namespace mervik {

// Starts one sibling program with its composed command line and returns when it
// has ended. Tests put a scripted runner in its place.
class SiblingRunner {
  public:
    virtual ~SiblingRunner() = default;
    virtual void run(const std::string& commandLine) = 0;
};

class ProcessRunner : public SiblingRunner {
  public:
    void run(const std::string& commandLine) override;
};

}  // namespace mervik
