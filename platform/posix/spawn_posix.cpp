#include "process_spawn.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "unique_fd_posix.h"

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

  private:
    static constexpr std::size_t kMax = 1000;
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

SpawnResult runAndWait(std::string_view commandLine, const std::vector<std::string>& environment) {
    SpawnResult result;
    std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty()) {
        result.startError = ENOENT;
        return result;
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
        return result;
    }
    posix::UniqueFd readEnd(errPipe[0]);
    posix::UniqueFd writeEnd(errPipe[1]);

    // The child gets default signal handling and an empty mask whatever ours are,
    // and a process group of its own: a Ctrl-C meant for us must not kill a step
    // that is to be finished first.
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
        return result;
    }
    result.started = true;
    ::close(writeEnd.release());
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);

    // The program may leave a child behind that keeps our pipe open, so its
    // end is the end of the wait, not the end of the pipe.
    const posix::UniqueFd pidFd(openPidFd(pid));
    LastLine last;
    bool pipeOpen = true;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        pollfd fds[2] = {{pipeOpen ? readEnd.get() : -1, POLLIN, 0}, {pidFd.get(), POLLIN, 0}};
        // Without a process descriptor the end is looked for every few milliseconds.
        ::poll(fds, 2, pidFd.valid() ? -1 : 10);
        if (pipeOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            pipeOpen = drain(readEnd.get(), last);
    }
    if (pipeOpen)
        drain(readEnd.get(), last);
    result.lastErrorLine = last.finish();
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
