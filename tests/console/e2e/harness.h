// Runs mervik-cli as a separate process in a home folder of its own, with the
// fake sibling programs in place of the real ones.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

std::string cliPath();
std::string fakePath();

// Files
bool exists(const std::string& path);
bool isFolder(const std::string& path);
std::optional<std::string> readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);
void makeFolders(const std::string& path);
std::vector<std::string> listFolder(const std::string& folder);  // names, sorted
std::string crlf(const std::vector<std::string>& lines);
std::vector<std::string> splitLines(
    const std::string& text);  // at "\n", the last one dropped when empty
std::string joinLines(const std::vector<std::string>& lines);  // each line + "\n"
// Sets the file's times to seconds ago.
void backdate(const std::string& path, int seconds = 10);

struct Result {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

// One started process with its standard output and error captured.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Reads output until pred(stdout so far) holds; false on time-out or end.
    bool waitForOutput(const std::function<bool(const std::string&)>& pred,
                       std::chrono::milliseconds timeout);
    // The same for standard error.
    bool waitForError(const std::function<bool(const std::string&)>& pred,
                      std::chrono::milliseconds timeout);
    // Until mervik-cli says it stands by: its locks are held and its start
    // checks have passed.
    bool waitForStandby(std::chrono::milliseconds timeout);
    void signal(int sig);
    Result wait(std::chrono::milliseconds timeout);

  private:
    void pump(int timeoutMs);
    bool waitFor(const std::string& seen, const std::function<bool(const std::string&)>& pred,
                 std::chrono::milliseconds timeout);
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    Result result_;
    bool reaped_ = false;
};

// One call of the fake sibling as its log records it.
struct Call {
    std::string role;  // split, compare, join
    int pid = 0;
    std::vector<std::string> args;   // argv, program first
    std::vector<std::string> fds;    // inherited descriptors beyond 0 to 2
    std::optional<std::string> par;  // the converter's parameter file as it saw it
};

// A temporary root standing for one user's machine.
class Sandbox {
  public:
    // withBlanks: every folder of the run has a blank and a non-ASCII letter in
    // its name; rawBytes: that letter is a byte that is no UTF-8.
    explicit Sandbox(bool withBlanks = false, bool rawBytes = false);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::string root, home, xdg, data, run, in1, in2, out, bin, tolvane, sandrel, log, control;
    std::string tolvanePar, sandrelPar;  // the siblings' own parameter files

    // The 16 lines of a parameter file naming this sandbox's folders.
    std::vector<std::string> parLines(const std::string& pattern = "*.hgl") const;
    void writePar(const std::vector<std::string>& lines) const;
    void writePar() const { writePar(parLines()); }
    // The siblings' own parameter files, as a user left them.
    static std::vector<std::string> userTolvaneLines();
    void writeSiblingPars() const;
    static std::string userSandrelText();

    void pair(const std::string& name, const std::string& text1 = "pages=2\n",
              const std::string& text2 = "pages=2\n") const;
    void setControl(const std::map<std::string, std::string>& values) const;

    std::vector<std::string> env() const;
    Result runCli(const std::vector<std::string>& args,
                  std::chrono::milliseconds timeout = std::chrono::seconds(120)) const;
    std::unique_ptr<Child> startCli(const std::vector<std::string>& args) const;

    std::vector<Call> calls() const;
    // Lines of Error.txt without CR LF, each with its date and time removed;
    // fails the test when a line is not "<date> <time> <rest>" with CR LF.
    std::vector<std::string> errorEntries() const;
};

// An error-log entry "<date> <time> <name> <message>" with any date and time.
bool entryIs(const std::string& entry, const std::string& name, const std::string& message);

// Run-log lines as the program must print them.
std::vector<std::string> runHead(const std::string& name, int d, int e);  // start to Temp2 count
std::vector<std::string> step3Lines(int h);
std::vector<std::string> step4Lines(int t);
std::vector<std::string> completeRunLines(const std::string& name, int pages, int outCount);

// The argument lists each sibling must receive, program first.
std::vector<std::string> splitArgs(const Sandbox& s, const std::string& folder,
                                   const std::string& temp, const std::string& name);
std::vector<std::string> compareArgs(const Sandbox& s, const std::string& name);
std::vector<std::string> joinArgs(const Sandbox& s, const std::string& name, const std::string& sw,
                                  const std::string& ext);
std::string hglName(const std::string& name);  // extension replaced by .hgl
std::string baseName(const std::string& name);
// The converter's parameter file with lines 8 to 10 replaced (empty: unchanged).
std::string switchedTolvane(const std::string& l8, const std::string& l9, const std::string& l10);

// True when the kernel lists a flock held by pid.
bool holdsFlock(pid_t pid);
bool runningAsRoot();

}  // namespace e2e
