// Named so that <spawn.h> of the C library is not shadowed by the platform include path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mervik {

// Splits a command line the way the program splits its own: blanks and control
// characters separate, double quotes group and are removed, a backslash is an
// ordinary character, an unclosed quote runs to the end, and an argument that
// comes out empty ("" alone) is no argument.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// How a started program ended, or why it could not be started.
struct SpawnResult {
    bool started = false;
    int startError = 0;   // the error number when it could not be started
    bool exited = false;  // ended by exit(): exitStatus holds its status
    int exitStatus = 0;
    int signal = 0;  // the signal that ended it, 0 when none did
    // The last non-blank line it wrote on standard error, without line end.
    std::string lastErrorLine;
    // The last few kilobytes it wrote on standard error, as written: a caller
    // that knows what names the program may have echoed can tell its lines apart.
    std::string errorTail;
    // Ended by us: its time limit was reached, or a stop was requested.
    bool timedOut = false;
    bool stopped = false;
};

// When a started program is ended early. Either way its whole process group
// is ended: first asked to end, then killed after a short grace.
struct SpawnLimits {
    // Seconds it may run; 0 for no limit.
    int timeoutSeconds = 0;
    // A descriptor that becomes readable when the program is to be ended at
    // once (the stop-signal descriptor); -1 for none.
    int stopFd = -1;
};

// Starts the first argument of the command line as the program, with this
// process's environment and current folder, and waits for it to end. What it
// writes on standard error is passed on to ours as it comes, and its last
// line is kept. Returns at once when the program could not be started.
// environment holds NAME=value entries the program gets on top of ours (in
// place of ours of the same name).
SpawnResult runAndWait(std::string_view commandLine,
                       const std::vector<std::string>& environment = {},
                       const SpawnLimits& limits = {});

// A program started ahead of the step that waits for it (startProgram), so
// that two steps that do not depend on each other run at once. Until its
// step waits for it, what it writes on standard error stays in its pipe: a
// program with more to say than the pipe holds waits for its step. A program
// that is dropped without its step having waited for it is ended with its
// whole process group, and reaped.
class StartedProgram {
  public:
    StartedProgram() = default;
    ~StartedProgram() { end(); }
    StartedProgram(StartedProgram&& other) noexcept;
    StartedProgram& operator=(StartedProgram&& other) noexcept;
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool running() const { return pid_ > 0; }
    // Ends its group at once and waits for it; nothing when none is running.
    void end();

  private:
    friend StartedProgram startProgram(std::string_view, const std::vector<std::string>&,
                                       SpawnResult&);
    friend SpawnResult waitForProgram(StartedProgram&, const SpawnLimits&);
    int pid_ = 0;
    int errorFd_ = -1;  // the read end of its standard error
};

// Starts the program as runAndWait does, without waiting: result.started
// tells whether it could be started, and startError why not.
StartedProgram startProgram(std::string_view commandLine,
                            const std::vector<std::string>& environment, SpawnResult& result);

// Waits for a program startProgram started as runAndWait waits for its own,
// passing on what it wrote meanwhile; the time limit counts from the call.
// The program is reaped: running() is false after.
SpawnResult waitForProgram(StartedProgram& program, const SpawnLimits& limits = {});

// runAndWait, telling only whether the program could be started.
bool spawnAndWait(std::string_view commandLine, const std::vector<std::string>& environment = {});

// The folder of this program's executable file, byte for byte; empty when the
// system cannot tell.
std::string executableFolder();

}  // namespace mervik
