#include "automation/viewer_params.h"

#include <fstream>
#include <iterator>

namespace mervik {

namespace {

// Paths are byte strings and may hold bytes that are no UTF-8, so no QFile here.
bool readWhole(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

void rewriteViewerParFile(const std::string& backup, const std::string& target, int mode) {
    std::string data;
    if (!readWhole(backup, data))
        return;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out)
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
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
}

bool copyFileReplacing(const std::string& from, const std::string& to) {
    std::string data;
    if (!readWhole(from, data))
        return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    return !out.fail();
}

}  // namespace mervik
