#include "automation/command_lines.h"

namespace mervik {

namespace {

std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '"';
    q += s;
    q += '"';
    return q;
}

std::string splitLine(const PassInput& in, const std::string& folder, const std::string& temp) {
    return quoted(in.tolvaneExe) + " /h " + quoted(folder + in.name) + ' ' +
           quoted(temp + in.baseName + ".hgl");
}

}  // namespace

OutputType outputTypeOf(int outTyp) {
    switch (outTyp) {
        case 0:
            return {"/p", ".pdf"};
        case 1:
            return {"/t", ".tif"};
        case 2:
            return {"/y", ".p21"};
        case 3:
            return {"/y", ".sfc"};
        case 4:
            return {"/h", ".hgl"};
        default:
            return {"", ""};
    }
}

std::string splitCommandLine1(const PassInput& in) {
    return splitLine(in, in.folder1, in.temp1);
}

std::string splitCommandLine2(const PassInput& in) {
    return splitLine(in, in.folder2, in.temp2);
}

std::string compareCommandLine(const PassInput& in) {
    return quoted(in.sandrelExe) + " /h /oh " + quoted(in.temp1 + in.baseName + "*.hgl") + ' ' +
           quoted(in.temp2) + ' ' + quoted(in.temp3);
}

std::string outputFilePath(const PassInput& in) {
    std::string path = in.outDir + in.baseName;
    path += outputTypeOf(in.outTyp).extension;
    return path;
}

std::string joinCommandLine(const PassInput& in) {
    // The last token has no closing quote: the siblings have always read it so.
    std::string line = quoted(in.tolvaneExe) + ' ';
    line += outputTypeOf(in.outTyp).outSwitch;
    line += ' ' + quoted(in.temp3 + in.baseName + "*.hgl") + " \"" + outputFilePath(in);
    return line;
}

}  // namespace mervik
