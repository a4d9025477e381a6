// sandrel: compares the page files of one folder with those of the same name
// in another and writes one result page file per page file of the first.
//
//   sandrel /h /oh "<folder1>/<name pattern>" "<folder2>/" "<folder3>/"
//
// Exit status: 0 all pages the same, 1 some differ, 2 an error (on stderr).

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/allocator.h"
#include "common/files.h"
#include "drawing/hpgl/hpgl.h"
#include "drawing/render/label_font_list.h"
#include "sandrel/compare.h"
#include "sandrel/marks.h"
#include "sandrel/page_files.h"
#include "sandrel/params.h"
#include "sandrel/report.h"

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

// What the comparison of all page files found, for the first page's
// summary.
struct Totals {
    int pages = 0;
    int changedPages = 0;
    std::size_t regions = 0;
    sandrel::Report report;
};

// One page file's comparison, held until its result is written.
struct FileResult {
    std::vector<sandrel::Result> pages;
    std::string first;
    std::string resultPath;
    bool partnered = true;
    int firstPage = 1;  // running number of its first result page
    Exit status = kSame;
    int changedPages = 0;
    // Its pages for the report, numbered from 1 within the file.
    std::vector<sandrel::ReportPage> reported;
    // What went wrong, to be said when the file's turn comes.
    std::string errors;
};

bool readPages(const std::string& path, std::vector<drawing::Page>& pages, std::string& errors) {
    drawing::ReadError error;
    const bool ok = drawing::readHpglFile(
        path,
        [&](drawing::Page&& page) {
            // The path list grew by doubling: a page of tens of thousands of
            // paths would keep up to as much room again all through the
            // comparison, whose peak comes later. (A converter, whose peak
            // is the page itself, would only add the copy to it.)
            page.paths.shrink_to_fit();
            pages.push_back(std::move(page));
            return true;
        },
        error, drawing::HpglReadOptions{.foldFillEdges = true});
    if (!ok) {
        errors += "sandrel: " + path + ": byte " + std::to_string(error.offset) + ": " +
                  error.message + "\n";
        return false;
    }
    // A file without any drawing is one blank page, so that it still gets a
    // result of its own.
    if (pages.empty()) {
        pages.emplace_back();
    }
    return true;
}

// Compares one page file with its partner (or with nothing) into out:
// status kSame, kDiffer or kError.
void compareFile(const std::string& second, const sandrel::Options& options, FileResult& out) {
    std::vector<drawing::Page> a;
    std::vector<drawing::Page> b;
    if (!readPages(out.first, a, out.errors) ||
        (out.partnered && !readPages(second, b, out.errors))) {
        out.status = kError;
        return;
    }
    // A missing partner is a difference even when the page shows nothing.
    bool differ = !out.partnered;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        sandrel::Result result;
        std::string error;
        // Each page is compared once: its paths move into the result.
        if (!sandrel::comparePages(i < a.size() ? std::move(a[i]) : drawing::Page{},
                                   i < b.size() ? std::move(b[i]) : drawing::Page{}, options,
                                   result, error)) {
            out.errors +=
                "sandrel: " + out.first + ": page " + std::to_string(i + 1) + ": " + error + "\n";
            out.status = kError;
            return;
        }
        differ = differ || result.differ();
        sandrel::ReportPage page;
        page.page = static_cast<int>(out.reported.size()) + 1;
        page.file = siblings::nameOf(out.first);
        page.differ = result.differ() || !out.partnered;
        page.raster = result.raster;
        page.alignment = result.alignment;
        page.regions = result.regions;
        out.changedPages += result.differ() ? 1 : 0;
        out.reported.push_back(std::move(page));
        out.pages.push_back(std::move(result));
    }
    out.status = differ ? kDiffer : kSame;
}

// Counts a compared file's pages into the totals, numbering them on from
// those of the files before it.
void addUp(FileResult& file, Totals& totals) {
    file.firstPage = totals.pages + 1;
    for (sandrel::ReportPage& page : file.reported) {
        page.page += totals.pages;
        totals.regions += page.regions.size();
        totals.report.pages.push_back(std::move(page));
    }
    totals.pages += static_cast<int>(file.reported.size());
    totals.changedPages += file.changedPages;
    file.reported.clear();
}

// How the legend names the drawings: the files Mervik compares when it
// says so (MERVIK_DRAWING1 and 2, for drawings split into pages matching
// the pattern), else the page files themselves (empty names).
struct DrawingNames {
    std::string first;
    std::string second;
};

// A path short enough for the legend: whole, or the file with its folder,
// or the file alone.
std::string shortPath(const std::string& path) {
    constexpr std::size_t kLongest = 48;
    if (path.size() <= kLongest) {
        return path;
    }
    const std::filesystem::path p(path);
    const std::string withFolder =
        ".../" + p.parent_path().filename().string() + "/" + p.filename().string();
    return withFolder.size() <= kLongest ? withFolder : p.filename().string();
}

DrawingNames drawingNames(const std::string& pattern) {
    const char* first = std::getenv("MERVIK_DRAWING1");
    const char* second = std::getenv("MERVIK_DRAWING2");
    if (first == nullptr || second == nullptr || *first == '\0' || *second == '\0') {
        return {};
    }
    // A stale setting names some other drawing: the pages' base name
    // (before the *) must be the drawings' name without its extension.
    const std::string name = siblings::nameOf(pattern);
    const std::string base = name.substr(0, name.find_first_of("*?"));
    for (const char* drawing : {first, second}) {
        if (std::filesystem::path(drawing).stem().string() != base) {
            return {};
        }
    }
    return {shortPath(first), shortPath(second)};
}

// Adds the marks and legend to each page and writes the result file.
bool writeResult(FileResult& file, const std::string& secondName, const DrawingNames& drawings,
                 const sandrel::Options& options, const std::vector<std::string>& summary,
                 const std::vector<std::string>& notes) {
    std::vector<drawing::Page> pages;
    for (std::size_t i = 0; i < file.pages.size(); ++i) {
        auto& result = file.pages[i];
        if (options.regionGapMm > 0) {
            sandrel::LegendInfo info;
            info.firstName = drawings.first.empty() ? siblings::nameOf(file.first) : drawings.first;
            info.secondName = drawings.second.empty() ? secondName : drawings.second;
            info.page = file.firstPage + static_cast<int>(i);
            info.partnered = file.partnered;
            if (i == 0) {
                info.summary = summary;
            }
            if (i + 1 == file.pages.size()) {
                info.notes = notes;
            }
            sandrel::addMarks(result, info, options);
        }
        pages.push_back(std::move(result.page));
    }
    file.pages.clear();
    std::string error;
    // Result pages are joined next and can be made again from the pages
    // compared, which stay: no flush to disk for them.
    if (!sandrel::writePageFile(file.resultPath, pages, error, siblings::Durability::Scratch)) {
        std::cerr << "sandrel: " << file.resultPath << ": " << error << "\n";
        return false;
    }
    return true;
}

// "3, 4" for the page numbers of names that the other list lacks, by
// their place in their own list.
std::string unmatched(const std::vector<std::string>& names, const std::vector<std::string>& other,
                      int& count) {
    std::string out;
    count = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::find(other.begin(), other.end(), names[i]) == other.end()) {
            out += (out.empty() ? "" : ", ") + std::to_string(i + 1);
            ++count;
        }
    }
    return out;
}

std::vector<std::string> summary(const Totals& totals) {
    return {"Pages compared: " + std::to_string(totals.pages),
            "with changes: " + std::to_string(totals.changedPages) +
                ", regions: " + std::to_string(totals.regions)};
}

std::string morePages(int file, int count, const std::string& list, const char* what) {
    return "file " + std::to_string(file) + " has " + std::to_string(count) + " more page" +
           (count == 1 ? "" : "s") + ": " + list + ", " + what;
}

// What the command line asks for: a comparison of the page files pattern
// names with those in secondFolder, into resultFolder; or, when exit is
// set, nothing more (help, version, --init, or an error already said).
struct Arguments {
    std::optional<Exit> exit;
    std::string pattern;
    std::string secondFolder;
    std::string resultFolder;
};

// What an installer does: leave a parameter file with the defaults, so that
// the first comparison already runs with a file to back up.
Exit initParameters() {
    const std::string parFile = sandrel::parameterFilePath();
    sandrel::Options options;
    std::vector<std::string> warnings;
    std::string error;
    if (parFile.empty() || !sandrel::loadParameters(parFile, options, warnings, error)) {
        std::cerr << "sandrel: " << (parFile.empty() ? "no local application-data folder" : error)
                  << "\n";
        return kError;
    }
    std::cout << parFile << "\n";
    return kSame;
}

Arguments parseArguments(const std::vector<std::string>& args) {
    Arguments parsed;
    for (const auto& arg : args) {
        if (arg == "--help") {
            std::cout << kUsage;
            parsed.exit = kSame;
            return parsed;
        }
        if (arg == "--version") {
            std::cout << "sandrel " << SANDREL_VERSION << "\n";
            parsed.exit = kSame;
            return parsed;
        }
    }
    if (args.size() == 1 && args[0] == "--init") {
        parsed.exit = initParameters();
        return parsed;
    }
    parsed.exit = kError;
    if (args.size() != 5) {
        std::cerr << "sandrel: expected 5 arguments, got " << args.size()
                  << " (sandrel --help tells more)\n";
        return parsed;
    }
    if (args[0] != "/h") {
        std::cerr << "sandrel: input format switch " << args[0]
                  << " not supported: only /h (HPGL) is read\n";
        return parsed;
    }
    if (args[1] != "/oh") {
        std::cerr << "sandrel: output format switch " << args[1]
                  << " not supported: only /oh (HPGL) is written\n";
        return parsed;
    }
    parsed.exit.reset();
    parsed.pattern = args[2];
    parsed.secondFolder = withSlash(args[3]);
    parsed.resultFolder = withSlash(args[4]);
    return parsed;
}

// The comparison the arguments describe: its parameters, the page files of
// both folders, and the notes on those without a partner.
struct Job {
    std::string pattern;
    std::string secondFolder;
    std::string resultFolder;
    sandrel::Options options;
    std::vector<std::string> firstPages;
    std::vector<std::string> firstNames;
    std::vector<std::string> notes;
    DrawingNames drawings;
    bool onlySecond = false;  // the second folder has pages the first lacks
    bool together = false;    // page files compared two at a time
};

// From pages of this size in their files on (a page of a million points;
// an A4 schematic's is a tenth of it) the two sides of a comparison draw
// from the one heap: their own heaps' fresh memory, a trap a 4 KiB page,
// cost more than the allocator's lock they then share. (On the A4 sheet
// whose text is glyph outlines, 4.8 MB a page, 13,500 page traps became
// 4,400 and the comparison 6-11% faster; on the A4 schematic as drawn the
// lock made it 8% slower.)
constexpr std::uintmax_t kOneHeapFrom = std::uintmax_t{1} << 20;

std::uintmax_t largestFile(const std::vector<std::string>& paths) {
    std::uintmax_t largest = 0;
    for (const auto& path : paths) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        largest = std::max(largest, ec ? 0 : size);
    }
    return largest;
}

bool loadOptions(sandrel::Options& options) {
    const std::string parFile = sandrel::parameterFilePath();
    if (parFile.empty()) {
        std::cerr << "sandrel: no local application-data folder: set HOME or XDG_DATA_HOME\n";
        return false;
    }
    std::vector<std::string> warnings;
    std::string error;
    if (!sandrel::loadParameters(parFile, options, warnings, error)) {
        std::cerr << "sandrel: " << error << "\n";
        return false;
    }
    for (const auto& warning : warnings) {
        std::cerr << "sandrel: " << warning << "\n";
    }
    return true;
}

// Pages only the second folder has get no result: each result stands for a
// page of the first folder. They still make the drawings differ, and the
// last result page names them.
void matchPages(Job& job) {
    const std::string slashFree = siblings::nameOf(job.pattern);
    std::vector<std::string> secondNames;
    for (const auto& second : siblings::listPattern(job.secondFolder + slashFree)) {
        const std::string name = siblings::nameOf(second);
        secondNames.push_back(name);
        if (std::find(job.firstNames.begin(), job.firstNames.end(), name) == job.firstNames.end()) {
            std::cerr << "sandrel: " << second << ": no page " << name
                      << " among the first pages, not compared\n";
            job.onlySecond = true;
        }
    }
    int count = 0;
    const std::string onlySecond = unmatched(secondNames, job.firstNames, count);
    if (count > 0) {
        job.notes.push_back(morePages(2, count, onlySecond, "not compared"));
    }
    const std::string onlyFirst = unmatched(job.firstNames, secondNames, count);
    if (count > 0) {
        job.notes.push_back(morePages(1, count, onlyFirst, "all removed"));
    }
}

bool describeJob(const Arguments& args, Job& job) {
    job.pattern = args.pattern;
    job.secondFolder = args.secondFolder;
    job.resultFolder = args.resultFolder;
    if (!loadOptions(job.options)) {
        return false;
    }
    for (const auto* folder : {&job.secondFolder, &job.resultFolder}) {
        if (!isFolder(*folder)) {
            std::cerr << "sandrel: " << *folder << ": no such folder\n";
            return false;
        }
    }
    job.firstPages = siblings::listPattern(job.pattern);
    if (job.firstPages.empty()) {
        std::cerr << "sandrel: " << job.pattern << ": no page files match\n";
        return false;
    }
    for (const auto& first : job.firstPages) {
        job.firstNames.push_back(siblings::nameOf(first));
    }
    matchPages(job);
    job.drawings = drawingNames(job.pattern);
    return true;
}

// For scripts: the caller names the file (never among the results, which
// it counts). A report that cannot be written is said, but the comparison
// itself stands.
void writeReport(Totals& totals, const sandrel::Options& options, bool differ, bool failed) {
    const char* reportPath = std::getenv("MERVIK_COMPARISON_REPORT");
    if (reportPath == nullptr || *reportPath == '\0') {
        return;
    }
    totals.report.differ = differ;
    totals.report.failed = failed;
    const std::string json = sandrel::reportJson(totals.report, options);
    std::string why;
    const bool written = siblings::writeFileAtomically(
        reportPath,
        [&](std::ostream& out) {
            out << json << "\n";
            return static_cast<bool>(out);
        },
        why, siblings::Durability::Scratch);
    if (!written) {
        std::cerr << "sandrel: " << reportPath << ": " << why << "\n";
    }
}

// Compares the page files, two at a time when they are several and small
// (a large page's comparison has a second thread of its own, and two large
// pages at once would take twice the memory). Their results are taken in
// the files' order all the same: the first waits for the summary of all,
// the others are written as soon as their turn comes.
Exit runJob(Job& job) {
    const std::size_t n = job.firstPages.size();
    std::vector<FileResult> files(n);
    std::vector<std::string> seconds(n);
    for (std::size_t k = 0; k < n; ++k) {
        seconds[k] = job.secondFolder + job.firstNames[k];
        files[k].first = job.firstPages[k];
        files[k].resultPath = job.resultFolder + job.firstNames[k];
        files[k].partnered = isFile(seconds[k]);
    }
    sandrel::Options options = job.options;
    options.threads = options.threads && !job.together;

    std::mutex mutex;
    std::condition_variable compared;
    std::vector<char> done(n, 0);
    std::size_t untaken = 0;
    const auto compareNext = [&](std::unique_lock<std::mutex>& lock) {
        const std::size_t k = untaken++;
        lock.unlock();
        compareFile(seconds[k], options, files[k]);
        lock.lock();
        done[k] = 1;
        compared.notify_all();
    };
    std::thread helper;
    if (job.together) {
        helper = std::thread([&] {
            std::unique_lock lock(mutex);
            while (untaken < n) {
                compareNext(lock);
            }
        });
    }

    bool failed = false;
    bool differ = job.onlySecond;
    std::optional<FileResult> held;
    bool firstDone = false;
    Totals totals;
    for (std::size_t k = 0; k < n; ++k) {
        {
            // Files of its own for this thread while file k is not ready.
            std::unique_lock lock(mutex);
            while (done[k] == 0 && untaken < n) {
                compareNext(lock);
            }
            compared.wait(lock, [&] { return done[k] != 0; });
        }
        FileResult file = std::move(files[k]);
        const std::string& name = job.firstNames[k];
        if (!file.partnered) {
            std::cerr << "sandrel: " << file.first << ": no page " << name << " in "
                      << job.secondFolder << ", shown as removed\n";
        }
        std::cerr << file.errors;
        addUp(file, totals);
        failed = failed || file.status == kError;
        differ = differ || file.status == kDiffer;
        if (file.status == kError) {
            continue;
        }
        const bool last = k + 1 == n;
        if (!firstDone) {
            firstDone = true;
            if (!last) {
                held = std::move(file);
                continue;
            }
        }
        if (!writeResult(file, name, job.drawings, job.options,
                         held ? std::vector<std::string>{} : summary(totals),
                         last ? job.notes : std::vector<std::string>{})) {
            failed = true;
        }
    }
    if (helper.joinable()) {
        helper.join();
    }
    if (held && !writeResult(*held, siblings::nameOf(held->first), job.drawings, job.options,
                             summary(totals), {})) {
        failed = true;
    }
    writeReport(totals, job.options, differ, failed);
    return failed ? kError : differ ? kDiffer : kSame;
}

}  // namespace

int main(int argc, char** argv) {
    siblings::keepFreedBlocksForReuse();
    drawing::enableLabelFontCache();
    const Arguments args = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (args.exit) {
        return *args.exit;
    }
    Job job;
    if (!describeJob(args, job)) {
        return kError;
    }
    const std::uintmax_t largest = largestFile(job.firstPages);
    if (largest >= kOneHeapFrom) {
        siblings::shareOneHeapAcrossThreads();
    }
    job.together = job.firstPages.size() > 1 && largest < kOneHeapFrom &&
                   std::thread::hardware_concurrency() > 1;
    return runJob(job);
}
