#include "process_spawn.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

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

bool spawnAndWait(std::string_view commandLine) {
    std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty())
        return false;
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.attrOk || !setup.actionsOk)
        return false;

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
    // Our descriptors are close-on-exec; this also catches any a library opened
    // without it, the single-instance lock above all.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), environ) != 0)
        return false;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            break;
    }
    return true;
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
