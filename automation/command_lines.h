#pragma once

#include <string>
#include <string_view>

namespace mervik {

// Output switch and extension of each output type; anything outside 0..4 has both empty.
struct OutputType {
    std::string_view outSwitch;
    std::string_view extension;
};
OutputType outputTypeOf(int outTyp);

// What the four command lines are made of. Folders end in the separator.
struct PassInput {
    std::string tolvaneExe;
    std::string sandrelExe;
    std::string folder1;  // folder part of comparison file 1
    std::string folder2;
    std::string outDir;
    std::string temp1;
    std::string temp2;
    std::string temp3;
    std::string name;      // N
    std::string baseName;  // B
    int outTyp = 0;
};

std::string splitCommandLine1(const PassInput& in);
std::string splitCommandLine2(const PassInput& in);
std::string compareCommandLine(const PassInput& in);
std::string joinCommandLine(const PassInput& in);
// The file step 4 writes: output folder + N with the output extension.
std::string outputFilePath(const PassInput& in);

}  // namespace mervik
