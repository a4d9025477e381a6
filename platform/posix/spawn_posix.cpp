#include "platform/process_spawn.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "platform/posix/unique_fd_posix.h"

extern char** environ;

namespace mervik {

namespace {

bool isSeparator(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attr{};
    posix_spawn_file_actions_t actions{};
    bool attrOk = false;
    bool actionsOk = false;
    SpawnSetup() {
        attrOk = posix_spawnattr_init(&attr) == 0;
        actionsOk = posix_spawn_file_actions_init(&actions) == 0;
    }
    ~SpawnSetup() {
        if (actionsOk)
            posix_spawn_file_actions_destroy(&actions);
        if (attrOk)
            posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    while (i < n) {
        while (i < n && isSeparator(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !isSeparator(commandLine[i]))) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                arg += commandLine[i];
            ++i;
        }
        if (!arg.empty())
            args.push_back(std::move(arg));
    }
    return args;
}

namespace {

// Keeps the last non-blank line of a stream read in pieces, with a bounded
// buffer: a program that writes megabytes of errors costs no memory.
class LastLine {
  public:
    void add(const char* data, std::size_t n) {
        tail_.append(data, n);
        if (tail_.size() > 2 * kTailMax)
            tail_.erase(0, tail_.size() - kTailMax);
        for (std::size_t i = 0; i < n; ++i) {
            const char c = data[i];
            if (c == '\n' || c == '\r') {
                takeLine();
            } else if (current_.size() < kMax) {
                current_ += c;
            }
        }
    }
    std::string finish() {
        takeLine();
        return last_;
    }
    std::string tail() const {
        return tail_.size() > kTailMax ? tail_.substr(tail_.size() - kTailMax) : tail_;
    }

  private:
    static constexpr std::size_t kMax = 1000;
    static constexpr std::size_t kTailMax = 8192;
    std::string tail_;
    void takeLine() {
        if (current_.find_first_not_of(" \t") != std::string::npos)
            last_ = current_;
        current_.clear();
    }
    std::string current_;
    std::string last_;
};

void forward(const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(STDERR_FILENO, data, n);
        if (w <= 0) {
            if (w < 0 && errno == EINTR)
                continue;
            return;  // nobody reads our errors: the line is still kept
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

// Reads what is there without waiting; false at the end of the stream.
bool drain(int fd, LastLine& last) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            forward(buf, static_cast<std::size_t>(n));
            last.add(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Ours with the given NAME=value entries put in; the pointers live as long
// as environment and our own environment do.
std::vector<char*> environmentWith(const std::vector<std::string>& environment) {
    std::vector<char*> out;
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view name = nameOf(*e);
        const bool replaced = std::any_of(environment.begin(), environment.end(),
                                          [&](const std::string& x) { return nameOf(x) == name; });
        if (!replaced)
            out.push_back(*e);
    }
    for (const std::string& x : environment)
        out.push_back(const_cast<char*>(x.c_str()));
    out.push_back(nullptr);
    return out;
}

}  // namespace

StartedProgram::StartedProgram(StartedProgram&& other) noexcept
    : pid_(other.pid_), errorFd_(other.errorFd_) {
    other.pid_ = 0;
    other.errorFd_ = -1;
}

StartedProgram& StartedProgram::operator=(StartedProgram&& other) noexcept {
    if (this != &other) {
        end();
        pid_ = other.pid_;
        errorFd_ = other.errorFd_;
        other.pid_ = 0;
        other.errorFd_ = -1;
    }
    return *this;
}

void StartedProgram::end() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = 0;
    }
    if (errorFd_ >= 0) {
        ::close(errorFd_);
        errorFd_ = -1;
    }
}

StartedProgram startProgram(std::string_view commandLine,
                            const std::vector<std::string>& environment, SpawnResult& result) {
    result = SpawnResult{};
    StartedProgram program;
    std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty()) {
        result.startError = ENOENT;
        return program;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    int errPipe[2] = {-1, -1};
    if (!setup.attrOk || !setup.actionsOk || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        result.startError = errno != 0 ? errno : ENOMEM;
        return program;
    }
    posix::UniqueFd readEnd(errPipe[0]);
    posix::UniqueFd writeEnd(errPipe[1]);
    // The child gets default signal handling and an empty mask whatever ours are,
    // and a process group of its own: a Ctrl-C meant for us reaches it only
    // through us, and ending the group ends whatever it started too.
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setsigmask(&setup.attr, &mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawnattr_setpgroup(&setup.attr, 0);
    posix_spawnattr_setflags(
        &setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    // Its standard error comes to us, so that the reason of a failure can be told.
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDERR_FILENO);
    // Our descriptors are close-on-exec; this also catches any a library opened
    // without it, the single-instance lock above all.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

    pid_t pid = 0;
    std::vector<char*> envp = environmentWith(environment);
    const int rc =
        posix_spawn(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), envp.data());
    if (rc != 0) {
        result.startError = rc;
        return program;
    }
    result.started = true;
    ::close(writeEnd.release());
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
    program.pid_ = pid;
    program.errorFd_ = readEnd.release();
    return program;
}

SpawnResult runAndWait(std::string_view commandLine, const std::vector<std::string>& environment,
                       const SpawnLimits& limits) {
    SpawnResult result;
    StartedProgram program = startProgram(commandLine, environment, result);
    return result.started ? waitForProgram(program, limits) : result;
}

SpawnResult waitForProgram(StartedProgram& program, const SpawnLimits& limits) {
    SpawnResult result;
    if (!program.running()) {
        result.startError = ECHILD;
        return result;
    }
    result.started = true;
    const pid_t pid = program.pid_;
    const posix::UniqueFd readEnd(program.errorFd_);
    program.errorFd_ = -1;
    // The program may leave a child behind that keeps our pipe open, so its
    // end is the end of the wait, not the end of the pipe.
    const posix::UniqueFd pidFd(openPidFd(pid));
    LastLine last;
    bool pipeOpen = true;
    int status = 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        limits.timeoutSeconds > 0 ? Clock::now() + std::chrono::seconds(limits.timeoutSeconds)
                                  : Clock::time_point::max();
    // After the request to end, the group gets this long before it is killed.
    constexpr auto kGrace = std::chrono::seconds(2);
    Clock::time_point killAt = Clock::time_point::max();
    bool killed = false;
    const auto endGroup = [&] {
        ::kill(-pid, SIGTERM);
        ::kill(-pid, SIGCONT);
        killAt = Clock::now() + kGrace;
    };
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (!result.timedOut && !result.stopped && now >= deadline) {
            result.timedOut = true;
            endGroup();
        }
        if (!killed && now >= killAt) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        // Once the group was asked to end, only the kill is still to come.
        const Clock::time_point next =
            result.timedOut || result.stopped ? killAt : std::min(deadline, killAt);
        int waitMs = pidFd.valid() ? -1 : 10;
        if (next != Clock::time_point::max() && !killed) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
            waitMs = waitMs < 0
                         ? static_cast<int>(std::clamp<long long>(left, 1, 60'000))
                         : std::min<int>(waitMs, static_cast<int>(std::max<long long>(left, 1)));
        }
        const bool watchStop = limits.stopFd >= 0 && !result.stopped && !result.timedOut;
        pollfd fds[3] = {{pipeOpen ? readEnd.get() : -1, POLLIN, 0},
                         {pidFd.get(), POLLIN, 0},
                         {watchStop ? limits.stopFd : -1, POLLIN, 0}};
        ::poll(fds, 3, waitMs);
        if (pipeOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            pipeOpen = drain(readEnd.get(), last);
        if (watchStop && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            result.stopped = true;
            endGroup();
        }
    }
    program.pid_ = 0;
    // A program we ended may have left children in its group: none of them
    // may go on writing into the work folders.
    if (result.timedOut || result.stopped)
        ::kill(-pid, SIGKILL);
    if (pipeOpen)
        drain(readEnd.get(), last);
    result.lastErrorLine = last.finish();
    result.errorTail = last.tail();
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

bool spawnAndWait(std::string_view commandLine, const std::vector<std::string>& environment) {
    return runAndWait(commandLine, environment).started;
}

std::string executableFolder() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace mervik
