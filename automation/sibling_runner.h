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
    // Seconds a step may run before its program is ended; 0 for no limit.
    void setStepLimit(int seconds) { stepLimit_ = seconds; }
    int stepLimit() const { return stepLimit_; }
    // Whether the program is ending: a running step is ended and no further
    // one is started.
    virtual bool cancelled() const { return false; }
    // The command line of a later step that needs nothing of the steps before
    // it: a runner may start it now, with the environment as it is, so that it
    // runs beside them. The step that then runs this command line with the same
    // environment waits for it instead of starting it again; dropAhead ends it
    // when its step is not reached.
    virtual void startAhead(const std::string& commandLine) { (void)commandLine; }
    virtual void dropAhead() {}

  private:
    std::vector<std::string> environment_;
    int stepLimit_ = 0;
};

// Whether starting a step ahead pays: with one processor the two programs
// would only take turns, each holding its memory the while.
bool startingAheadPays();

// The program a runner started ahead of its step, if any.
class AheadStep {
  public:
    void start(const std::string& commandLine, const std::vector<std::string>& environment);
    // Waits for the program started ahead when it is this command line with this
    // environment; otherwise runs the command line (runAndWait) beside it.
    SpawnResult run(const std::string& commandLine, const std::vector<std::string>& environment,
                    const SpawnLimits& limits);
    void drop() { program_.end(); }

  private:
    std::string commandLine_;
    std::vector<std::string> environment_;
    StartedProgram program_;
};

// Runs the programs in the console front end; a stop signal ends the step.
class ProcessRunner : public SiblingRunner {
  public:
    void run(const std::string& commandLine) override;
    SpawnResult runStep(const std::string& commandLine) override;
    bool cancelled() const override;
    void startAhead(const std::string& commandLine) override;
    void dropAhead() override { ahead_.drop(); }

  private:
    AheadStep ahead_;
};

// The GLIBC_TUNABLES entry the sibling programs are started with: ours, with
// glibc's malloc allowed to back its heaps with transparent huge pages, and
// its heap growing by 8 MiB at a time from the first allocation on (glibc
// asks for huge pages only for a growth of 2 MiB or more). Reading and
// comparing a drawing touches thousands of fresh pages, and on a virtual
// machine each first touch of a small page is a trap of several
// microseconds; a huge page takes one for 512 of them (docs/architecture.md
// has the figures). inherited is GLIBC_TUNABLES as we have it, or null; a
// setting of either that the user already made there is kept.
std::string siblingTunables(const char* inherited);

}  // namespace mervik
