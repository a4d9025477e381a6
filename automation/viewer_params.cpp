#include "automation/viewer_params.h"

#include "platform/byte_file.h"

namespace mervik {

void rewriteViewerParFile(const std::string& backup, const std::string& target, int mode) {
    std::string data;
    if (!readFileBytes(backup, data))
        return;
    std::string result;
    result.reserve(data.size() + 16);
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < data.size()) {
        // A line ends at CR, LF or CR LF, as a text-file reader sees it.
        std::size_t end = data.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(pos, end - pos);
        pos = end + ((end + 1 < data.size() && data[end] == '\r' && data[end + 1] == '\n') ? 2 : 1);
        ++lineNo;
        if (mode == 1) {
            if (lineNo == 9)
                line = "1";
        } else if (lineNo >= 8 && lineNo <= 10) {
            line = "0";
        }
        result += line;
        result += "\r\n";
    }
    writeFileBytes(target, result);
}

bool copyFileReplacing(const std::string& from, const std::string& to) {
    std::string data;
    return readFileBytes(from, data) && writeFileBytes(to, data);
}

}  // namespace mervik
