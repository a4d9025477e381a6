#include "sandrel/params.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/files.h"

namespace sandrel {
namespace {

constexpr double kMaxToleranceMm = 100;
constexpr double kMaxRegionGapMm = 1000;
constexpr double kMinDpi = 10;
constexpr double kMaxDpi = 2400;
constexpr double kMaxWidthPercent = 1000;

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool parseNumber(const std::string& text, double low, double high, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool parseColor(std::string text, drawing::Rgb& color) {
    if (!text.empty() && text[0] == '#') {
        text.erase(0, 1);
    }
    if (text.size() != 6) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, color, 16);
    return ec == std::errc() && ptr == end;
}

bool parseSwitch(const std::string& text, bool& value) {
    if (text != "0" && text != "1") {
        return false;
    }
    value = text == "1";
    return true;
}

}  // namespace

std::string parameterFilePath() {
    const std::string base = siblings::localAppDataDir();
    return base.empty() ? std::string() : base + "/Corvanta/Sandrel/Sandrel.par";
}

std::string defaultParameterText() {
    return "# Sandrel parameters: one \"name = value\" a line; lines starting with # are "
           "comments.\n"
           "#\n"
           "# Tolerance: how far apart, in millimetres, two lines may lie and still count\n"
           "# as the same line.\n"
           "Tolerance = 0.2\n"
           "# Colours of the result pages as RRGGBB in hexadecimal: what both drawings\n"
           "# have, what only the first has, what only the second has, and the boxes\n"
           "# around changes with the legend. A set that readers with any kind of\n"
           "# colour blindness tell apart: BBBBBB, D55E00, 0072B2, CC79A7.\n"
           "UnchangedColor = B4B4B4\n"
           "RemovedColor = FF0000\n"
           "AddedColor = 0000FF\n"
           "MarkColor = FF9900\n"
           "# RegionGap: changes closer together than this, in millimetres, are boxed\n"
           "# and listed as one region; 0 leaves out the boxes and the legend.\n"
           "RegionGap = 5\n"
           "# Resolution, in dots per inch, at which pages holding raster images are\n"
           "# compared pixel by pixel (10 to 2400).\n"
           "Resolution = 200\n"
           "# CompareStyle: 0 compares where lines are, whatever their pen; 1 also counts\n"
           "# a change of colour, width or line type as a change.\n"
           "CompareStyle = 0\n"
           "# CompareWidth: 1 counts a line drawn in another line type, or in a width\n"
           "# that differs by more than WidthTolerance percent and by more than\n"
           "# WidthToleranceMm millimetres, as a change; 0 does not.\n"
           "CompareWidth = 1\n"
           "WidthTolerance = 25\n"
           "WidthToleranceMm = 0.1\n"
           "# AlignScans: 1 lays a scanned page 2 over page 1 (shift, turn, scale)\n"
           "# before comparing it; 0 compares it as it is.\n"
           "AlignScans = 1\n";
}

bool parseParameters(const std::string& text, Options& options, std::vector<std::string>& warnings,
                     std::string& error) {
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(number) + ": ";
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            error = where + "expected name = value";
            return false;
        }
        const std::string name = siblings::lowerAscii(trim(line.substr(0, equals)));
        const std::string value = trim(line.substr(equals + 1));
        bool ok = true;
        if (name == "tolerance") {
            ok = parseNumber(value, 0, kMaxToleranceMm, options.toleranceMm);
        } else if (name == "unchangedcolor") {
            ok = parseColor(value, options.unchangedColor);
        } else if (name == "removedcolor") {
            ok = parseColor(value, options.removedColor);
        } else if (name == "addedcolor") {
            ok = parseColor(value, options.addedColor);
        } else if (name == "markcolor") {
            ok = parseColor(value, options.markColor);
        } else if (name == "regiongap") {
            ok = parseNumber(value, 0, kMaxRegionGapMm, options.regionGapMm);
        } else if (name == "resolution") {
            ok = parseNumber(value, kMinDpi, kMaxDpi, options.dpi);
        } else if (name == "comparestyle") {
            ok = value == "0" || value == "1";
            options.compareStyle = value == "1";
        } else if (name == "comparewidth") {
            ok = parseSwitch(value, options.compareWidth);
        } else if (name == "widthtolerance") {
            ok = parseNumber(value, 0, kMaxWidthPercent, options.widthTolerancePercent);
        } else if (name == "widthtolerancemm") {
            ok = parseNumber(value, 0, kMaxToleranceMm, options.widthToleranceMm);
        } else if (name == "alignscans") {
            ok = parseSwitch(value, options.alignScans);
        } else {
            warnings.push_back(where + "unknown parameter " + trim(line.substr(0, equals)) +
                               " ignored");
            continue;
        }
        if (!ok) {
            error = where + "bad value for " + trim(line.substr(0, equals)) + ": " + value;
            return false;
        }
    }
    return true;
}

bool loadParameters(const std::string& path, Options& options, std::vector<std::string>& warnings,
                    std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        std::string why;
        const bool written = siblings::writeFileAtomically(
            path,
            [](std::ostream& out) {
                out << defaultParameterText();
                return static_cast<bool>(out);
            },
            why);
        if (!written) {
            error = path + ": " + why;
            return false;
        }
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    if (!parseParameters(text.str(), options, warnings, why)) {
        error = path + ": " + why;
        return false;
    }
    for (auto& warning : warnings) {
        warning = path + ": " + warning;
    }
    return true;
}

}  // namespace sandrel
