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

// runAndWait, telling only whether the program could be started.
bool spawnAndWait(std::string_view commandLine, const std::vector<std::string>& environment = {});

// The folder of this program's executable file, byte for byte; empty when the
// system cannot tell.
std::string executableFolder();

}  // namespace mervik
