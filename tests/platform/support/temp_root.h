// A temporary root folder for one test, with HOME and the XDG folders
// pointed into it so that nothing touches the real home folder.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace mervik::test {

class ScopedEnv {
  public:
    ScopedEnv() = default;
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void set(const std::string& name, const std::string& value) {
        remember(name);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        remember(name);
        ::unsetenv(name.c_str());
    }

  private:
    void remember(const std::string& name) {
        if (saved_.count(name) == 0) {
            const char* v = std::getenv(name.c_str());
            saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
        }
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

class TempRoot {
  public:
    TempRoot() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mervik-test-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr) {
            root_ = tmpl;
        }
        std::filesystem::create_directories(root_ + "/home/.local/share");
        std::filesystem::create_directories(root_ + "/home/.config");
        env.set("HOME", root_ + "/home");
        env.set("XDG_DATA_HOME", root_ + "/home/.local/share");
        env.set("XDG_CONFIG_HOME", root_ + "/home/.config");
        env.set("XDG_CACHE_HOME", root_ + "/home/.cache");
        env.unset("XDG_RUNTIME_DIR");
    }
    ~TempRoot() {
        std::error_code ec;
        // Read-only folders left by a test must not keep the root from going.
        for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
        }
        std::filesystem::remove_all(root_, ec);
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& path() const { return root_; }
    std::string operator/(const std::string& tail) const { return root_ + "/" + tail; }

    ScopedEnv env;

  private:
    std::string root_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace mervik::test
