#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

std::vector<char*> cStringArray(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (const auto& s : strings) {
        pointers.push_back(const_cast<char*>(s.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> environmentWithout(const std::vector<std::string>& prefixes) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool drop = false;
        for (const auto& p : prefixes) {
            drop = drop || entry.rfind(p, 0) == 0;
        }
        if (!drop) {
            env.push_back(entry);
        }
    }
    return env;
}

int runAndWait(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outPath, const std::string& errPath) {
    std::vector<char*> cargv = cStringArray(argv);
    std::vector<char*> cenv = cStringArray(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    if (!errPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace testsupport
