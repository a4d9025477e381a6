#include "platform/dir_search.h"

namespace mervik {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Greedy match that backtracks only to the last star: linear in practice,
// never exponential on patterns with many stars.
bool globMatch(std::string_view p, std::string_view s) {
    std::size_t pi = 0;
    std::size_t si = 0;
    std::size_t star = std::string_view::npos;
    std::size_t mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (pi < p.size() && (p[pi] == '?' || lowerAscii(p[pi]) == lowerAscii(s[si]))) {
            ++pi;
            ++si;
        } else if (star != std::string_view::npos) {
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

bool matchesPattern(const std::string& pattern, const std::string& name) {
    if (globMatch(pattern, name)) {
        return true;
    }
    const std::string_view p(pattern);
    if (p.size() >= 2 && p.substr(p.size() - 2) == ".*" && name.find('.') == std::string::npos) {
        return globMatch(p.substr(0, p.size() - 2), name);
    }
    return false;
}

}  // namespace mervik
