// Whole files as byte strings, for tests that check what a program wrote.
#pragma once

#include <string>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::string readText(const std::string& path);

// Writes text as the file's whole content, creating or truncating it.
void writeText(const std::string& path, const std::string& text);

}  // namespace testsupport
