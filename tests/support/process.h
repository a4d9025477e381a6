// Starting child processes from tests and benchmarks.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Null-terminated pointers into strings, as exec and spawn calls take them;
// the strings must outlive the result.
std::vector<char*> cStringArray(const std::vector<std::string>& strings);

// This process's environment without the entries that start with any of
// prefixes, so that a caller can append its own values for them.
std::vector<std::string> environmentWithout(const std::vector<std::string>& prefixes);

// Runs argv[0] (a path, not searched for) with env and waits for it. Its
// standard output and error go to outPath and errPath, created or
// truncated; an empty path leaves that stream as it is. Returns the exit
// status, or -1 when the program could not be started or did not exit.
int runAndWait(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outPath, const std::string& errPath);

}  // namespace testsupport
