// A stand-in for the converter and the comparison program, for tests only.
//
// It acts as the converter or the comparison program by its own file name
// ("tolvane" or "sandrel" in it, any case), else by its arguments:
//   split:   /h IN OUT.hgl          writes pages B-001.hgl ... into OUT's folder
//   compare: /h /oh PATTERN F2/ F3/  writes one result page per page of PATTERN into F3
//   join:    S PATTERN OUT          writes OUT when PATTERN finds pages
//
// Every call is appended to the file named by FAKE_SIBLING_LOG as one record
// (see appendRecord). FAKE_SIBLING_CONTROL names an optional control file of
// "key=value" lines, read at every call:
//   split.pages=N           pages per split (default 2; an input whose first
//                           line is "pages=N" overrides it)
//   compare.pages=N         result pages to write (default: one per page)
//   ROLE.mode=MODE          ROLE is split, compare or join; MODE one of
//     ok | exit (no output, status 0) | fail (no output, status 1) |
//     abort | segv | sleep:MS (then work) | stall:MS (sleep, then exit
//     without output) | linger:MS (work, then leave a child behind that
//     keeps the inherited descriptors and the output open for MS) |
//     hang (never ends: ignores SIGTERM and leaves a child in its process
//     group that does the same; the child's pid goes to hang.pid beside the
//     log) | complain (writes "fake: ARG: not a plot" for each argument to
//     standard error and exits with status 2)
//   join.mode=hang also leaves ".OUT.1234.part" beside the output first
//   split.mode@PATH=MODE    the same for the split of one input path only
//   sandrel.par=TEXT        the comparison program appends TEXT and CR LF to
//                           its own parameter file, as a real one may do
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/files.h"

namespace {

using siblings::folderOf;
using siblings::nameOf;

// Names only, as the pages are looked up again in the other folders.
std::vector<std::string> listPattern(const std::string& pattern) {
    std::vector<std::string> names = siblings::listPattern(pattern);
    for (auto& name : names) {
        name = nameOf(name);
    }
    return names;
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Descriptors beyond 0 to 2 that this process was started with.
std::vector<std::string> inheritedDescriptors() {
    std::vector<std::string> fds;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return fds;
    }
    const int own = dirfd(dir);
    while (dirent* e = readdir(dir)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") {
            continue;
        }
        const int fd = std::atoi(n.c_str());
        if (fd <= 2 || fd == own) {
            continue;
        }
        char target[4096] = {};
        const ssize_t len = readlink(("/proc/self/fd/" + n).c_str(), target, sizeof target - 1);
        fds.push_back(n + " " + std::string(target, len > 0 ? static_cast<std::size_t>(len) : 0));
    }
    closedir(dir);
    return fds;
}

std::map<std::string, std::string> readControl() {
    std::map<std::string, std::string> control;
    const char* path = std::getenv("FAKE_SIBLING_CONTROL");
    std::string text;
    if (path == nullptr || !readFile(path, text)) {
        return control;
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            control[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return control;
}

// One record, written with a single write() so that records of siblings that
// run at the same time do not interleave:
//   call <role>\n  pid <n>\n  arg <escaped>\n ...  fd <n> <target>\n ...
//   par <escaped content> | par-missing\n   (converter only)   end\n
void appendRecord(const std::string& role, int argc, char** argv,
                  const std::vector<std::string>& fds) {
    const char* logPath = std::getenv("FAKE_SIBLING_LOG");
    if (logPath == nullptr) {
        return;
    }
    std::string rec = "call " + role + "\npid " + std::to_string(getpid()) + "\n";
    for (int i = 0; i < argc; ++i) {
        rec += "arg " + escape(argv[i]) + "\n";
    }
    for (const auto& fd : fds) {
        rec += "fd " + escape(fd) + "\n";
    }
    if (role != "compare") {
        std::string par;
        if (readFile(siblings::localAppDataDir() + "/Corvanta/Tolvane/Tolvane.par", par)) {
            rec += "par " + escape(par) + "\n";
        } else {
            rec += "par-missing\n";
        }
    }
    rec += "end\n";
    const int fd = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = write(fd, rec.data(), rec.size());
        close(fd);
    }
}

void sleepMs(long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Mode {
    std::string kind = "ok";
    long ms = 0;
};

Mode parseMode(const std::string& text) {
    Mode m;
    const auto colon = text.find(':');
    m.kind = text.substr(0, colon);
    if (colon != std::string::npos) {
        m.ms = std::atol(text.c_str() + colon + 1);
    }
    return m;
}

[[noreturn]] void hangForEver() {
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    const pid_t child = fork();
    if (child > 0) {
        if (const char* logPath = std::getenv("FAKE_SIBLING_LOG")) {
            writeFile(folderOf(logPath) + "hang.pid", std::to_string(child));
        }
    }
    for (;;) {
        pause();
    }
}

// Handles the modes that act before any output; returns false when the call
// must end now without output.
bool beforeWork(const Mode& m, const std::vector<std::string>& args = {}) {
    if (m.kind == "hang") {
        hangForEver();
    }
    if (m.kind == "complain") {
        for (const std::string& a : args) {
            std::fprintf(stderr, "fake: %s: not a plot\n", a.c_str());
        }
        std::exit(2);
    }
    if (m.kind == "exit") {
        std::exit(0);
    }
    if (m.kind == "fail") {
        std::exit(1);
    }
    if (m.kind == "abort") {
        std::abort();
    }
    if (m.kind == "segv") {
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
    }
    if (m.kind == "sleep") {
        sleepMs(m.ms);
    }
    if (m.kind == "stall") {
        sleepMs(m.ms);
        return false;
    }
    return true;
}

void afterWork(const Mode& m, const std::string& output) {
    if (m.kind != "linger") {
        return;
    }
    const pid_t pid = fork();
    if (pid > 0) {
        // Beside the log, so that a test can find and end the child.
        if (const char* logPath = std::getenv("FAKE_SIBLING_LOG")) {
            writeFile(folderOf(logPath) + "linger.pid", std::to_string(pid));
        }
    }
    if (pid == 0) {
        // The child keeps every inherited descriptor and the output open.
        [[maybe_unused]] const int fd = open(output.c_str(), O_WRONLY | O_APPEND);
        setsid();
        sleepMs(m.ms);
        _exit(0);
    }
}

std::string pageText(const std::string& what, int page) {
    return "IN;SP1;PU0,0;PD" + std::to_string(100 * page) + ",100;PU;\n% " + what + "\n";
}

int split(const std::string& input, const std::string& output,
          const std::map<std::string, std::string>& control) {
    Mode mode;
    if (auto it = control.find("split.mode@" + input); it != control.end()) {
        mode = parseMode(it->second);
    } else if (auto it2 = control.find("split.mode"); it2 != control.end()) {
        mode = parseMode(it2->second);
    }
    if (!beforeWork(mode, {input})) {
        return 0;
    }
    std::string content;
    if (!readFile(input, content)) {
        return 2;  // like a converter that cannot read its input
    }
    int pages = 2;
    if (auto it = control.find("split.pages"); it != control.end()) {
        pages = std::atoi(it->second.c_str());
    }
    if (content.rfind("pages=", 0) == 0) {
        pages = std::atoi(content.c_str() + 6);
    }
    const std::string folder = folderOf(output);
    const std::string base = siblings::baseNameOf(output);
    std::string last;
    for (int i = 1; i <= pages; ++i) {
        char num[16];
        std::snprintf(num, sizeof num, "-%03d", i);
        last = folder + base + num + ".hgl";
        if (!writeFile(last, pageText(input, i))) {
            return 3;
        }
    }
    afterWork(mode, last);
    return 0;
}

int compare(const std::string& pattern, const std::string& folder2, const std::string& folder3,
            const std::map<std::string, std::string>& control) {
    if (auto it = control.find("sandrel.par"); it != control.end()) {
        const std::string par = siblings::localAppDataDir() + "/Corvanta/Sandrel/Sandrel.par";
        std::ofstream(par, std::ios::binary | std::ios::app) << it->second << "\r\n";
    }
    Mode mode;
    if (auto it = control.find("compare.mode"); it != control.end()) {
        mode = parseMode(it->second);
    }
    if (!beforeWork(mode)) {
        return 0;
    }
    const std::vector<std::string> pages = listPattern(pattern);
    std::size_t want = pages.size();
    if (auto it = control.find("compare.pages"); it != control.end()) {
        want = static_cast<std::size_t>(std::atoi(it->second.c_str()));
    }
    // Extra pages are named so that the same pattern finds them.
    const std::string mask = nameOf(pattern);
    const std::string prefix = mask.substr(0, mask.find_first_of("*?"));
    std::string last;
    for (std::size_t i = 0; i < want; ++i) {
        const std::string name =
            i < pages.size() ? pages[i] : prefix + "-extra" + std::to_string(i) + ".hgl";
        std::string other;
        const bool paired = readFile(folder2 + name, other);
        last = folder3 + name;
        if (!writeFile(last, pageText(paired ? "compared" : "unpaired", static_cast<int>(i)))) {
            return 3;
        }
    }
    afterWork(mode, last);
    return 0;
}

int join(const std::string& sw, const std::string& pattern, const std::string& output,
         const std::map<std::string, std::string>& control) {
    Mode mode;
    if (auto it = control.find("join.mode"); it != control.end()) {
        mode = parseMode(it->second);
    }
    if (mode.kind == "hang") {
        writeFile(folderOf(output) + "." + nameOf(output) + ".1234.part", "half a result\n");
    }
    if (!beforeWork(mode, {output})) {
        return 0;
    }
    const std::vector<std::string> pages = listPattern(pattern);
    if (pages.empty()) {
        return 2;
    }
    // Content that differs from any earlier result of the same name.
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    std::string text = "joined " + std::to_string(pages.size()) + " pages, switch '" + sw +
                       "', pid " + std::to_string(getpid()) + ", at " + std::to_string(now) + "\n";
    if (!writeFile(output, text)) {
        return 3;
    }
    afterWork(mode, output);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Taken first: the log and control files opened below are our own.
    const std::vector<std::string> fds = inheritedDescriptors();
    const std::map<std::string, std::string> control = readControl();
    const std::string self = siblings::lowerAscii(nameOf(argv[0]));
    std::vector<std::string> args(argv + 1, argv + argc);

    std::string role;
    if (self.find("sandrel") != std::string::npos) {
        role = "compare";
    } else if (args.size() == 5 && args[1] == "/oh") {
        role = "compare";
    }
    if (role.empty()) {
        // The join's pattern carries a wildcard; the split's input does not.
        const bool joinLike =
            args.size() == 2 ||
            (args.size() == 3 && args[1].find_first_of("*?") != std::string::npos);
        role = joinLike ? "join" : (args.size() == 3 && args[0] == "/h" ? "split" : "unknown");
    }
    appendRecord(role, argc, argv, fds);

    if (role == "compare" && args.size() == 5) {
        return compare(args[2], args[3], args[4], control);
    }
    if (role == "split") {
        return split(args[1], args[2], control);
    }
    if (role == "join") {
        return args.size() == 2 ? join("", args[0], args[1], control)
                                : join(args[0], args[1], args[2], control);
    }
    return 4;
}
