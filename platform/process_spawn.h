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
};

// Starts the first argument of the command line as the program, with this
// process's environment and current folder, and waits for it to end. What it
// writes on standard error is passed on to ours as it comes, and its last
// line is kept. Returns at once when the program could not be started.
// environment holds NAME=value entries the program gets on top of ours (in
// place of ours of the same name).
SpawnResult runAndWait(std::string_view commandLine,
                       const std::vector<std::string>& environment = {});

// runAndWait, telling only whether the program could be started.
bool spawnAndWait(std::string_view commandLine, const std::vector<std::string>& environment = {});

// The folder of this program's executable file, byte for byte; empty when the
// system cannot tell.
std::string executableFolder();

}  // namespace mervik
