#include "tolvane/parameters.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/files.h"

namespace tolvane {
namespace {

constexpr const char* kIdentLine = "Tolvane 1.00";

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool flag(const std::vector<std::string>& lines, std::size_t number, bool fallback) {
    if (lines.size() < number) {
        return fallback;
    }
    const std::string v = trim(lines[number - 1]);
    return v == "1" ? true : v == "0" ? false : fallback;
}

}  // namespace

Mode effectiveMode(const Parameters& params, const std::string& source) {
    if (params.mode != Mode::ByArguments) {
        return params.mode;
    }
    return siblings::nameOf(source).find_first_of("*?") != std::string::npos ? Mode::Join
                                                                             : Mode::Split;
}

std::string parameterFilePath() {
    const std::string base = siblings::localAppDataDir();
    return base.empty() ? std::string() : base + "/Corvanta/Tolvane/Tolvane.par";
}

std::string defaultParameterText() {
    const Parameters d;
    std::ostringstream out;
    out << kIdentLine << "\r\n"
        << static_cast<int>(d.dpi) << "\r\n"
        << (d.deflate ? "Deflate" : "LZW") << "\r\n"
        << d.hpglExtensions << "\r\n"
        << "0\r\n0\r\n0\r\n"
        << (d.fitSheet ? 1 : 0) << "\r\n"
        << (d.mode == Mode::Split  ? "1"
            : d.mode == Mode::Join ? "0"
                                   : "")
        << "\r\n"
        << (d.blackOnly ? 1 : 0) << "\r\n";
    return out.str();
}

Parameters parseParameters(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    Parameters p;
    if (lines.size() >= 2) {
        char* end = nullptr;
        const std::string v = trim(lines[1]);
        const double dpi = std::strtod(v.c_str(), &end);
        if (!v.empty() && *end == '\0' && std::isfinite(dpi) && dpi >= 50 && dpi <= 1200) {
            p.dpi = dpi;
        }
    }
    if (lines.size() >= 3) {
        const std::string v = siblings::lowerAscii(trim(lines[2]));
        p.deflate = v == "deflate" ? true : v == "lzw" ? false : p.deflate;
    }
    if (lines.size() >= 4 && !trim(lines[3]).empty()) {
        p.hpglExtensions = trim(lines[3]);
    }
    p.fitSheet = flag(lines, 8, p.fitSheet);
    if (lines.size() >= 9) {
        const std::string v = trim(lines[8]);
        p.mode = v == "1" ? Mode::Split : v == "0" ? Mode::Join : Mode::ByArguments;
    }
    p.blackOnly = flag(lines, 10, p.blackOnly);
    return p;
}

Parameters loadParameters(std::string& warning) {
    const std::string path = parameterFilePath();
    if (path.empty()) {
        warning = "no local application-data folder: using default parameters";
        return Parameters();
    }
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        return parseParameters(text.str());
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string error;
    if (ec || !siblings::writeFileAtomically(
                  path,
                  [](std::ostream& out) {
                      out << defaultParameterText();
                      return static_cast<bool>(out);
                  },
                  error)) {
        warning = "cannot create " + path + (ec ? ": " + ec.message() : ": " + error) +
                  "; using default parameters";
    }
    return Parameters();
}

bool extensionInList(const std::string& ext, const std::string& list) {
    const std::string e = siblings::lowerAscii(ext);
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto end = std::min(list.find(';', start), list.size());
        if (siblings::lowerAscii(trim(list.substr(start, end - start))) == e) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace tolvane
