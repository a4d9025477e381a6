#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tolvane::test {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed at the end.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "tolvane-test-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string samplePath(const std::string& relative) {
    return std::string(MERVIK_SAMPLES_DIR) + "/" + relative;
}

// Samples are read-only and shared: tests work on copies.
inline std::string copySample(const std::string& relative, const std::string& folder,
                              const std::string& name = {}) {
    const fs::path src = samplePath(relative);
    const std::string dst = folder + "/" + (name.empty() ? src.filename().string() : name);
    fs::copy_file(src, dst, fs::copy_options::overwrite_existing);
    fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write);
    return dst;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with HOME and XDG_DATA_HOME set to home, capturing its
// standard output and error through files in that folder.
inline RunResult run(const std::vector<std::string>& args, const std::string& home) {
    RunResult r;
    const std::string outPath = home + "/.stdout", errPath = home + "/.stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string v = *e;
        if (v.rfind("HOME=", 0) != 0 && v.rfind("XDG_DATA_HOME=", 0) != 0) {
            env.push_back(v);
        }
    }
    env.push_back("HOME=" + home);
    env.push_back("XDG_DATA_HOME=" + home + "/.local/share");
    std::vector<char*> argv, envp;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    for (const auto& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            r.status = WEXITSTATUS(status);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = readText(outPath);
    r.err = readText(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
}

}  // namespace tolvane::test
