#include "tests/console/e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace e2e {

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

void makeFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    ASSERT_TRUE(isFolder(path)) << path;
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        text += l + "\r\n";
    }
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        text += l + "\n";
    }
    return text;
}

// ---- Child

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return;
    }
    std::vector<char*> cargv = testsupport::cStringArray(argv);
    std::vector<char*> cenv = testsupport::cStringArray(env);
    pid_ = fork();
    if (pid_ == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        // Whatever descriptor a sibling later finds open came from the program.
        close_range(3, ~0U, 0);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, O_NONBLOCK);
    fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) {
        close(outFd_);
    }
    if (errFd_ >= 0) {
        close(errFd_);
    }
}

void Child::pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) {
        if (timeoutMs > 0) {
            usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        }
        return;
    }
    if (poll(fds, 2, timeoutMs) <= 0) {
        return;
    }
    int* own[2] = {&outFd_, &errFd_};
    std::string* sink[2] = {&result_.out, &result_.err};
    for (int i = 0; i < 2; ++i) {
        if (*own[i] < 0 || fds[i].revents == 0) {
            continue;
        }
        char buf[65536];
        for (;;) {
            const ssize_t n = read(*own[i], buf, sizeof buf);
            if (n > 0) {
                sink[i]->append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0) {
                close(*own[i]);
                *own[i] = -1;
            }
            break;
        }
    }
}

bool Child::waitForOutput(const std::function<bool(const std::string&)>& pred,
                          std::chrono::milliseconds timeout) {
    return waitFor(result_.out, pred, timeout);
}

bool Child::waitForError(const std::function<bool(const std::string&)>& pred,
                         std::chrono::milliseconds timeout) {
    return waitFor(result_.err, pred, timeout);
}

bool Child::waitForStandby(std::chrono::milliseconds timeout) {
    return waitForError(
        [](const std::string& err) {
            return err.find("mervik-cli: standing by") != std::string::npos;
        },
        timeout);
}

bool Child::waitFor(const std::string& seen, const std::function<bool(const std::string&)>& pred,
                    std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred(seen)) {
        if (std::chrono::steady_clock::now() > deadline || (outFd_ < 0 && errFd_ < 0)) {
            return false;
        }
        pump(20);
    }
    return true;
}

void Child::signal(int sig) {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, sig);
    }
}

Result Child::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reaped_) {
        pump(20);
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            if (WIFEXITED(status)) {
                result_.exitCode = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                result_.signal = WTERMSIG(status);
            }
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            result_.timedOut = true;
            kill(pid_, SIGKILL);
        }
    }
    // Everything the process wrote is in the pipes now; a sibling it left
    // behind may keep them open, so do not wait for their end.
    for (int i = 0; i < 5; ++i) {
        pump(i == 0 ? 50 : 0);
    }
    return result_;
}

// ---- Sandbox

Sandbox::Sandbox(bool withBlanks, bool rawBytes) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/mervik-e2e-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        return;
    }
    root = tmpl;
    const std::string odd = !withBlanks ? ""
                            : rawBytes  ? " \xe9t\xe9 "          // Latin-1
                                        : " \xc3\xa9t\xc3\xa9 ";  // UTF-8
    home = root + "/home";
    xdg = withBlanks ? root + "/data" + odd + "home" : home + "/.local/share";
    data = xdg + "/Corvanta/Mervik";
    run = root + "/run";
    in1 = root + "/in" + odd + "1";
    in2 = root + "/in" + odd + "2";
    out = root + "/out" + odd + "put";
    bin = root + "/program" + odd + "files";
    tolvane = bin + "/tolvane";
    sandrel = bin + "/sandrel";
    log = root + "/fake.log";
    control = root + "/control.txt";
    tolvanePar = xdg + "/Corvanta/Tolvane/Tolvane.par";
    sandrelPar = xdg + "/Corvanta/Sandrel/Sandrel.par";
    for (const auto& f :
         {home, data, in1, in2, out, bin, xdg + "/Corvanta/Tolvane", xdg + "/Corvanta/Sandrel"}) {
        makeFolders(f);
    }
    mkdir(run.c_str(), 0700);
    EXPECT_EQ(symlink(fakePath().c_str(), tolvane.c_str()), 0);
    EXPECT_EQ(symlink(fakePath().c_str(), sandrel.c_str()), 0);
    writeSiblingPars();
}

Sandbox::~Sandbox() {
    if (root.empty() || std::getenv("E2E_KEEP") != nullptr) {
        return;
    }
    // Read-only folders of a test must not stop the clean-up.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(root, ec);
}

std::vector<std::string> Sandbox::parLines(const std::string& pattern) const {
    return {"Version 11.00", "hgl", "tif",   "pdf",   "emf",     "dxf", "dwg",
            "igs",           "gbr", sandrel, tolvane, out + "/", "2",   in1 + "/" + pattern,
            in2 + "/",       "0"};
}

void Sandbox::writePar(const std::vector<std::string>& lines) const {
    writeText(data + "/Mervik.par", crlf(lines));
}

std::vector<std::string> Sandbox::userTolvaneLines() {
    return {"TolvanePar 3.0", "width=420", "height=297", "color=1", "pens=8",    "units=mm",
            "scale=100",      "7",         "5",          "3",       "last=plan", "end"};
}

std::string Sandbox::userSandrelText() {
    return "SandrelPar\r\nthreshold=3\r\n";
}

void Sandbox::writeSiblingPars() const {
    writeText(tolvanePar, crlf(userTolvaneLines()));
    writeText(sandrelPar, userSandrelText());
}

void Sandbox::pair(const std::string& name, const std::string& text1,
                   const std::string& text2) const {
    writeText(in1 + "/" + name, text1);
    writeText(in2 + "/" + name, text2);
    // Written a while ago, so that the program need not wait for them to settle.
    backdate(in1 + "/" + name);
    backdate(in2 + "/" + name);
}

void backdate(const std::string& path, int seconds) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void Sandbox::setControl(const std::map<std::string, std::string>& values) const {
    std::string text;
    for (const auto& [k, v] : values) {
        text += k + "=" + v + "\n";
    }
    writeText(control, text);
}

std::vector<std::string> Sandbox::env() const {
    static const std::vector<std::string> replaced = {
        "HOME=",           "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=", "XDG_CONFIG_HOME=",
        "XDG_CACHE_HOME=", "FAKE_SIBLING_"};
    std::vector<std::string> env = testsupport::environmentWithout(replaced);
    env.push_back("HOME=" + home);
    env.push_back("XDG_DATA_HOME=" + xdg);
    env.push_back("XDG_RUNTIME_DIR=" + run);
    env.push_back("XDG_CONFIG_HOME=" + home + "/.config");
    env.push_back("XDG_CACHE_HOME=" + home + "/.cache");
    env.push_back("FAKE_SIBLING_LOG=" + log);
    env.push_back("FAKE_SIBLING_CONTROL=" + control);
    return env;
}

std::unique_ptr<Child> Sandbox::startCli(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{cliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, env());
}

Result Sandbox::runCli(const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout) const {
    auto child = startCli(args);
    Result r = child->wait(timeout);
    EXPECT_FALSE(r.timedOut) << "mervik-cli did not end; output so far:\n" << r.out << r.err;
    return r;
}

namespace {
std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}
}  // namespace

std::vector<Call> Sandbox::calls() const {
    std::vector<Call> calls;
    const auto text = readText(log);
    if (!text) {
        return calls;
    }
    for (const auto& line : splitLines(*text)) {
        if (line.rfind("call ", 0) == 0) {
            calls.push_back({line.substr(5), 0, {}, {}, std::nullopt});
        } else if (!calls.empty() && line.rfind("pid ", 0) == 0) {
            calls.back().pid = std::stoi(line.substr(4));
        } else if (calls.empty()) {
            ADD_FAILURE() << "bad fake log line: " << line;
        } else if (line.rfind("arg ", 0) == 0) {
            calls.back().args.push_back(unescape(line.substr(4)));
        } else if (line.rfind("fd ", 0) == 0) {
            calls.back().fds.push_back(unescape(line.substr(3)));
        } else if (line.rfind("par ", 0) == 0) {
            calls.back().par = unescape(line.substr(4));
        }
    }
    return calls;
}

std::vector<std::string> Sandbox::errorEntries() const {
    std::vector<std::string> entries;
    const auto text = readText(data + "/Error.txt");
    if (!text) {
        return entries;
    }
    std::size_t start = 0;
    while (start < text->size()) {
        const auto end = text->find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "Error.txt does not end in CR LF: " << text->substr(start);
            break;
        }
        const std::string line = text->substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line end: " << line;
        entries.push_back(line);
        start = end + 2;
    }
    return entries;
}

bool entryIs(const std::string& entry, const std::string& name, const std::string& message) {
    const std::string tail = " " + name + " " + message;
    if (entry.size() <= tail.size() ||
        entry.compare(entry.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    // Before the name: a date, and a time unless it is midnight.
    const std::string stamp = entry.substr(0, entry.size() - tail.size());
    return stamp.find_first_of("0123456789") != std::string::npos && stamp.front() != ' ';
}

std::vector<std::string> runHead(const std::string& name, int d, int e) {
    return {"* Start Input file : " + name,
            "1.Tolvane  Dir1\\MultiPage1File ==> Temp1\\1PageMultiFiles",
            "  Number of files in Temp1=" + std::to_string(d),
            "2.Tolvane  Dir2\\MultiPage1File ==> Temp2\\1PageMultiFiles",
            "  Number of files in Temp2=" + std::to_string(e)};
}

std::vector<std::string> step3Lines(int h) {
    return {"3.Sandrel compares Temp1 and Temp2, and outputs to Temp3",
            "  Number of files in Temp3= " + std::to_string(h)};
}

std::vector<std::string> step4Lines(int t) {
    return {"4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File ",
            "  Number of files in OutDir= " + std::to_string(t)};
}

std::vector<std::string> completeRunLines(const std::string& name, int pages, int outCount) {
    auto lines = runHead(name, pages, pages);
    for (const auto& l : step3Lines(pages)) {
        lines.push_back(l);
    }
    for (const auto& l : step4Lines(outCount)) {
        lines.push_back(l);
    }
    lines.push_back("* End");
    return lines;
}

std::string hglName(const std::string& name) {
    return baseName(name) + ".hgl";
}

std::string baseName(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::vector<std::string> splitArgs(const Sandbox& s, const std::string& folder,
                                   const std::string& temp, const std::string& name) {
    return {s.tolvane, "/h", folder + "/" + name, s.data + "/" + temp + "/" + hglName(name)};
}

std::vector<std::string> compareArgs(const Sandbox& s, const std::string& name) {
    return {s.sandrel,
            "/h",
            "/oh",
            s.data + "/Temp1/" + baseName(name) + "*.hgl",
            s.data + "/Temp2/",
            s.data + "/Temp3/"};
}

std::vector<std::string> joinArgs(const Sandbox& s, const std::string& name, const std::string& sw,
                                  const std::string& ext) {
    std::vector<std::string> args{s.tolvane};
    if (!sw.empty()) {
        args.push_back(sw);
    }
    args.push_back(s.data + "/Temp3/" + baseName(name) + "*.hgl");
    args.push_back(s.out + "/" + baseName(name) + ext);
    return args;
}

std::string switchedTolvane(const std::string& l8, const std::string& l9, const std::string& l10) {
    auto lines = Sandbox::userTolvaneLines();
    if (!l8.empty()) {
        lines[7] = l8;
    }
    if (!l9.empty()) {
        lines[8] = l9;
    }
    if (!l10.empty()) {
        lines[9] = l10;
    }
    return crlf(lines);
}

bool holdsFlock(pid_t pid) {
    const auto text = readText("/proc/locks");
    if (!text) {
        return false;
    }
    for (const auto& line : splitLines(*text)) {
        std::istringstream in(line);
        std::string id, kind, advisory, mode, owner;
        in >> id >> kind >> advisory >> mode >> owner;
        if (kind == "FLOCK" && owner == std::to_string(pid)) {
            return true;
        }
    }
    return false;
}

bool runningAsRoot() {
    return geteuid() == 0;
}

}  // namespace e2e
