#include "common/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace siblings {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Iterative glob match with backtracking to the last star: linear in
// practice, never exponential.
bool globMatch(const std::string& p, const std::string& s) {
    std::size_t pi = 0, si = 0, star = std::string::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || (p[pi] != '*' && lower(p[pi]) == lower(s[si])))) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

}  // namespace

bool matchPattern(const std::string& pattern, const std::string& name) {
    if (globMatch(pattern, name)) {
        return true;
    }
    // "x.*" also stands for "x" without any extension.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return globMatch(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

std::vector<std::string> listPattern(const std::string& patternPath) {
    const std::string prefix = folderOf(patternPath);
    const std::string pattern = nameOf(patternPath);
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(prefix.empty() ? "." : prefix, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (it->is_regular_file(typeError) && matchPattern(pattern, name)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& name : names) {
        paths.push_back(prefix + name);
    }
    return paths;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string baseNameOf(const std::string& path) {
    const std::string name = nameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string lowerAscii(std::string s) {
    for (char& c : s) {
        c = lower(c);
    }
    return s;
}

std::string localAppDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/share";
    }
    return {};
}

std::string tempNamePrefix(const std::string& targetName) {
    // "." + name + "." + up to ten digits + ".part"
    constexpr std::size_t kNameMax = 255 - 17;
    std::string name = targetName;
    if (name.size() > kNameMax) {
        std::size_t cut = kNameMax;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    return "." + name + ".";
}

TempFile::TempFile(const std::string& target) : target_(target) {
    std::random_device rd;
    temp_ = folderOf(target) + tempNamePrefix(nameOf(target)) + std::to_string(rd()) + ".part";
}

TempFile::~TempFile() {
    if (!committed_) {
        std::remove(temp_.c_str());
    }
}

bool TempFile::commit(std::string& error, Durability durability) {
    if (durability == Durability::Durable) {
        // Make the data durable before the name points at it.
        const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            error = "cannot write " + temp_ + ": " + std::strerror(errno);
            if (fd >= 0) {
                ::close(fd);
            }
            return false;
        }
        ::close(fd);
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot rename " + temp_ + " to " + target_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write,
                         std::string& error, Durability durability) {
    TempFile temp(path);
    bool ok = false;
    {
        std::ofstream out(temp.path(), std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot create " + temp.path() + ": " + std::strerror(errno);
            return false;
        }
        ok = write(out);
        out.flush();
        if (ok && !out) {
            error = "cannot write " + temp.path();
            ok = false;
        }
    }
    ok = ok && temp.commit(error, durability);
    if (!ok && error.empty()) {
        error = "cannot write " + path;
    }
    return ok;
}

}  // namespace siblings
