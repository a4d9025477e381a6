#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "text_file.h"

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

using testsupport::readText;
using testsupport::writeText;

inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The page count pdfinfo reports, or -1 when it cannot tell.
inline int pdfPages(const std::string& path) {
    const std::string cmd = "pdfinfo '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> p(popen(cmd.c_str(), "r"), pclose);
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p.get()) != nullptr) {
        int n = 0;
        if (std::sscanf(buf, "Pages: %d", &n) == 1) {
            return n;
        }
    }
    return -1;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with HOME, XDG_DATA_HOME and XDG_CACHE_HOME set into home, capturing its
// standard output and error through files in that folder.
inline RunResult run(const std::vector<std::string>& args, const std::string& home) {
    RunResult r;
    const std::string outPath = home + "/.stdout", errPath = home + "/.stderr";
    std::vector<std::string> env =
        testsupport::environmentWithout({"HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME="});
    env.push_back("HOME=" + home);
    env.push_back("XDG_DATA_HOME=" + home + "/.local/share");
    env.push_back("XDG_CACHE_HOME=" + home + "/.local/cache");
    r.status = testsupport::runAndWait(args, env, outPath, errPath);
    r.out = readText(outPath);
    r.err = readText(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
}

}  // namespace tolvane::test
