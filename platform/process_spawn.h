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

// Starts the first argument of the command line as the program, with this
// process's environment and current folder, and waits for it to end.
// Returns false at once when the program could not be started.
bool spawnAndWait(std::string_view commandLine);

// The folder of this program's executable file, byte for byte; empty when the
// system cannot tell.
std::string executableFolder();

}  // namespace mervik
