#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/hpgl/hpgl.h"

namespace drawing::test {

struct ReadResult {
    bool ok = false;
    ReadError error;
    std::vector<Page> pages;
};

inline ReadResult readString(const std::string& data, const HpglReadOptions& options = {}) {
    ReadResult r;
    std::istringstream in(data);
    r.ok = readHpgl(
        in,
        [&](Page&& p) {
            r.pages.push_back(std::move(p));
            return true;
        },
        r.error, options);
    return r;
}

inline ReadResult readFile(const std::string& path) {
    ReadResult r;
    r.ok = readHpglFile(
        path,
        [&](Page&& p) {
            r.pages.push_back(std::move(p));
            return true;
        },
        r.error);
    return r;
}

// A private folder for one test, with HOME, XDG_DATA_HOME and XDG_CACHE_HOME
// pointing into it.
class TempRoot {
  public:
    TempRoot() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mervik-drawing-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "home" / ".local" / "share").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root_ / "home" / ".cache").c_str(), 1);
    }
    ~TempRoot() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::filesystem::path& path() const { return root_; }

  private:
    std::filesystem::path root_;
};

inline std::string esc(const std::string& s) {
    return "\x1b" + s;
}

}  // namespace drawing::test
