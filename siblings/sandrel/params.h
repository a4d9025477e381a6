// The comparison program's parameter file.
#pragma once

#include <string>
#include <vector>

#include "sandrel/compare.h"

namespace sandrel {

// <local app-data>/Corvanta/Sandrel/Sandrel.par; empty when there is no
// local app-data folder.
std::string parameterFilePath();

// The file as it is written when missing, describing its own format.
std::string defaultParameterText();

// Reads "name = value" lines into options. Names are matched without regard
// to case; a name the program does not know is left alone and reported in
// warnings. Fails on a malformed line or an out-of-range value, with error
// naming the line.
bool parseParameters(const std::string& text, Options& options, std::vector<std::string>& warnings,
                     std::string& error);

// Reads the file at path into options, first creating it (and its folders)
// with the defaults when it is missing. error names the file.
bool loadParameters(const std::string& path, Options& options, std::vector<std::string>& warnings,
                    std::string& error);

}  // namespace sandrel
