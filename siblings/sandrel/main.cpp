// sandrel: compares the page files of one folder with those of the same name
// in another and writes one result page file per page file of the first.
//
//   sandrel /h /oh "<folder1>/<name pattern>" "<folder2>/" "<folder3>/"
//
// Exit status: 0 all pages the same, 1 some differ, 2 an error (on stderr).

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "compare.h"
#include "files.h"
#include "hpgl.h"
#include "page_files.h"
#include "params.h"

namespace {

enum Exit { kSame = 0, kDiffer = 1, kError = 2 };

const char* const kUsage =
    "Usage: sandrel /h /oh <first pages> <second folder>/ <result folder>/\n"
    "\n"
    "Compares each HPGL page file that <first pages> (a folder and a file-name\n"
    "pattern with * and ?) names with the file of the same name in <second folder>\n"
    "and writes the result, under the same name, to <result folder>: what both\n"
    "have in the unchanged colour, what only the first has in the removed colour,\n"
    "what only the second has in the added colour. A page file without a partner\n"
    "is shown as removed; one of the second folder without a partner is reported\n"
    "and not compared.\n"
    "\n"
    "  /h     the pages are HPGL (the only input format)\n"
    "  /oh    write the results as HPGL (the only output format)\n"
    "\n"
    "Parameters (tolerance, colours, resolution) are read from\n"
    "<local app-data>/Corvanta/Sandrel/Sandrel.par, which is created with the\n"
    "defaults when missing; sandrel --init only creates it and prints its path.\n"
    "\n"
    "Exit status: 0 all pages are the same, 1 some differ, 2 an error.\n";

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool readPages(const std::string& path, std::vector<drawing::Page>& pages) {
    drawing::ReadError error;
    const bool ok = drawing::readHpglFile(
        path,
        [&](drawing::Page&& page) {
            pages.push_back(std::move(page));
            return true;
        },
        error);
    if (!ok) {
        std::cerr << "sandrel: " << path << ": byte " << error.offset << ": " << error.message
                  << "\n";
        return false;
    }
    // A file without any drawing is one blank page, so that it still gets a
    // result of its own.
    if (pages.empty()) {
        pages.emplace_back();
    }
    return true;
}

// Compares one page file with its partner (or with nothing) and writes the
// result file. Returns kSame, kDiffer or kError.
Exit compareFile(const std::string& first, const std::string& second, bool partnered,
                 const std::string& resultPath, const sandrel::Options& options) {
    std::vector<drawing::Page> a;
    std::vector<drawing::Page> b;
    if (!readPages(first, a) || (partnered && !readPages(second, b))) {
        return kError;
    }
    std::vector<drawing::Page> results;
    // A missing partner is a difference even when the page shows nothing.
    bool differ = !partnered;
    const drawing::Page blank;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        sandrel::Result result;
        std::string error;
        if (!sandrel::comparePages(i < a.size() ? a[i] : blank, i < b.size() ? b[i] : blank,
                                   options, result, error)) {
            std::cerr << "sandrel: " << first << ": page " << i + 1 << ": " << error << "\n";
            return kError;
        }
        differ = differ || result.differ();
        results.push_back(std::move(result.page));
    }
    std::string error;
    if (!sandrel::writePageFile(resultPath, results, error)) {
        std::cerr << "sandrel: " << resultPath << ": " << error << "\n";
        return kError;
    }
    return differ ? kDiffer : kSame;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& arg : args) {
        if (arg == "--help") {
            std::cout << kUsage;
            return kSame;
        }
        if (arg == "--version") {
            std::cout << "sandrel " << SANDREL_VERSION << "\n";
            return kSame;
        }
    }
    if (args.size() == 1 && args[0] == "--init") {
        // What an installer does: leave a parameter file with the defaults,
        // so that the first comparison already runs with a file to back up.
        const std::string parFile = sandrel::parameterFilePath();
        sandrel::Options options;
        std::vector<std::string> warnings;
        std::string error;
        if (parFile.empty() || !sandrel::loadParameters(parFile, options, warnings, error)) {
            std::cerr << "sandrel: "
                      << (parFile.empty() ? "no local application-data folder" : error) << "\n";
            return kError;
        }
        std::cout << parFile << "\n";
        return kSame;
    }
    if (args.size() != 5) {
        std::cerr << "sandrel: expected 5 arguments, got " << args.size()
                  << " (sandrel --help tells more)\n";
        return kError;
    }
    if (args[0] != "/h") {
        std::cerr << "sandrel: input format switch " << args[0]
                  << " not supported: only /h (HPGL) is read\n";
        return kError;
    }
    if (args[1] != "/oh") {
        std::cerr << "sandrel: output format switch " << args[1]
                  << " not supported: only /oh (HPGL) is written\n";
        return kError;
    }
    const std::string& pattern = args[2];
    const std::string secondFolder = withSlash(args[3]);
    const std::string resultFolder = withSlash(args[4]);

    const std::string parFile = sandrel::parameterFilePath();
    if (parFile.empty()) {
        std::cerr << "sandrel: no local application-data folder: set HOME or XDG_DATA_HOME\n";
        return kError;
    }
    sandrel::Options options;
    std::vector<std::string> warnings;
    std::string error;
    if (!sandrel::loadParameters(parFile, options, warnings, error)) {
        std::cerr << "sandrel: " << error << "\n";
        return kError;
    }
    for (const auto& warning : warnings) {
        std::cerr << "sandrel: " << warning << "\n";
    }
    for (const auto* folder : {&secondFolder, &resultFolder}) {
        if (!isFolder(*folder)) {
            std::cerr << "sandrel: " << *folder << ": no such folder\n";
            return kError;
        }
    }
    const auto firstPages = siblings::listPattern(pattern);
    if (firstPages.empty()) {
        std::cerr << "sandrel: " << pattern << ": no page files match\n";
        return kError;
    }

    bool failed = false;
    bool differ = false;
    std::vector<std::string> firstNames;
    for (const auto& first : firstPages) {
        const std::string name = siblings::nameOf(first);
        firstNames.push_back(name);
        const std::string second = secondFolder + name;
        const bool partnered = isFile(second);
        if (!partnered) {
            std::cerr << "sandrel: " << first << ": no page " << name << " in " << secondFolder
                      << ", shown as removed\n";
        }
        const Exit status = compareFile(first, second, partnered, resultFolder + name, options);
        failed = failed || status == kError;
        differ = differ || status == kDiffer;
    }
    // Pages only the second folder has get no result: each result stands for
    // a page of the first folder. They still make the drawings differ.
    const std::string slashFree = siblings::nameOf(pattern);
    for (const auto& second : siblings::listPattern(secondFolder + slashFree)) {
        const std::string name = siblings::nameOf(second);
        if (std::find(firstNames.begin(), firstNames.end(), name) == firstNames.end()) {
            std::cerr << "sandrel: " << second << ": no page " << name
                      << " among the first pages, not compared\n";
            differ = true;
        }
    }
    return failed ? kError : differ ? kDiffer : kSame;
}
